#include "mailer/smtp/mailer.h"

#include <array>
#include <vector>

#include "mailer/smtp/header_builder.h"
#include "mailer/smtp/message_file.h"
#include "mailer/smtp/raw_header_scanner.h"
#include "mailer/smtp/smtp_session.h"

namespace verdanpost {
namespace {

constexpr size_t kChunkSize = 1024;
constexpr char kDefaultServerName[] = "mailhost";

// Sends the rest of `file` in chunks of up to 1024 bytes. A read failure ends
// the call before the end-of-data marker, so the server drops the partial
// message instead of delivering it as if complete.
Outcome SendFileContent(MessageFile* file, SmtpSession* session) {
  std::array<char, kChunkSize> buffer;
  for (;;) {
    size_t got = file->Read(buffer.data(), buffer.size());
    if (got == 0) return file->failed() ? Outcome::CannotOpenFile() : Outcome::Fine();
    Outcome sent = session->SendContent(std::string_view(buffer.data(), got));
    if (!sent.ok()) return sent;
  }
}

// Copies `file` from its start to the server, leaving out every Bcc range
// (in file order, not overlapping). A chunk never crosses the start of a
// range; a range is read and dropped.
Outcome SendRawFileContent(MessageFile* file, const std::vector<BccRange>& left_out,
                           SmtpSession* session) {
  std::array<char, kChunkSize> buffer;
  uint64_t position = 0;
  size_t next = 0;        // the first range not yet passed
  char last_sent = '\n';  // the last byte that went to the encoder
  for (;;) {
    while (next < left_out.size() && left_out[next].end <= position) ++next;
    if (next < left_out.size() && left_out[next].start <= position) {
      uint64_t to_skip = left_out[next].end - position;
      while (to_skip > 0) {
        size_t step = file->Read(buffer.data(), to_skip < kChunkSize ? to_skip : kChunkSize);
        if (step == 0) return file->failed() ? Outcome::CannotOpenFile() : Outcome::Fine();
        to_skip -= step;
        position += step;
      }
      // A range starts on a line start; when the line before it ended with
      // a CR alone, a LF after the range would join that CR into one line
      // end and take the header's empty line with it. A LF sent now is the
      // one the CR's line end waits for, so what follows starts afresh.
      if (last_sent == '\r') {
        Outcome sent = session->SendContent("\n");
        if (!sent.ok()) return sent;
        last_sent = '\n';
      }
      continue;
    }
    size_t wanted = kChunkSize;
    if (next < left_out.size() && left_out[next].start - position < kChunkSize) {
      wanted = static_cast<size_t>(left_out[next].start - position);
    }
    size_t got = file->Read(buffer.data(), wanted);
    if (got == 0) return file->failed() ? Outcome::CannotOpenFile() : Outcome::Fine();
    Outcome sent = session->SendContent(std::string_view(buffer.data(), got));
    if (!sent.ok()) return sent;
    last_sent = buffer[got - 1];
    position += got;
  }
}

Outcome Finish(SmtpSession* session) {
  Outcome outcome = session->EndData();
  if (outcome.ok()) outcome = session->Quit();
  if (outcome.ok()) outcome = Outcome::Sent();
  return outcome;
}

}  // namespace

Mailer::Mailer() : server_name_(kDefaultServerName) {}

void Mailer::SendMessage(const std::string& from, const std::string& to, const std::string& cc,
                         const std::string& bcc, const std::string& subject,
                         const std::string& message) {
  PreparedMessage prepared;
  SmtpSession session(timeouts_);
  Outcome outcome = BuildHeader({from, to, cc, bcc, subject}, ignore_to_ != 0, &prepared);
  if (outcome.ok()) outcome = session.Open(server_name_);
  if (outcome.ok()) outcome = session.Helo();
  if (outcome.ok()) outcome = session.SendEnvelope(from, prepared.recipients);
  if (outcome.ok()) outcome = session.Data();
  // Header and text pass the encoder one after the other, never joined: a
  // long text is not copied.
  if (outcome.ok()) outcome = session.SendContent(prepared.header);
  if (outcome.ok()) outcome = session.SendContent(message);
  if (outcome.ok()) outcome = Finish(&session);
  outcome_ = outcome;
}

void Mailer::SendMessageFromFile(const std::string& from, const std::string& to,
                                 const std::string& cc, const std::string& bcc,
                                 const std::string& subject, const std::string& file_name) {
  PreparedMessage prepared;
  MessageFile file;
  SmtpSession session(timeouts_);
  Outcome outcome = BuildHeader({from, to, cc, bcc, subject}, ignore_to_ != 0, &prepared);
  if (outcome.ok() && !file.Open(file_name)) outcome = Outcome::CannotOpenFile();
  if (outcome.ok()) outcome = session.Open(server_name_);
  if (outcome.ok()) outcome = session.Helo();
  if (outcome.ok()) outcome = session.SendEnvelope(from, prepared.recipients);
  if (outcome.ok()) outcome = session.Data();
  if (outcome.ok()) outcome = session.SendContent(prepared.header);
  if (outcome.ok()) outcome = SendFileContent(&file, &session);
  if (outcome.ok()) outcome = Finish(&session);
  outcome_ = outcome;
}

void Mailer::SendRawMessageFromFile(const std::string& file_name) {
  MessageFile file;
  RawHeader header;
  SmtpSession session(timeouts_);
  Outcome outcome = Outcome::Fine();
  if (!file.Open(file_name)) outcome = Outcome::CannotOpenFile();
  if (outcome.ok()) outcome = session.Open(server_name_);
  if (outcome.ok()) outcome = session.Helo();
  if (outcome.ok()) outcome = ScanRawHeader(&file, ignore_to_ != 0, &header);
  if (outcome.ok()) outcome = CheckEnvelopeAddresses(header.sender, header.recipients);
  if (outcome.ok()) outcome = session.SendEnvelope(header.sender, header.recipients);
  if (outcome.ok() && !file.Rewind()) outcome = Outcome::CannotOpenFile();
  if (outcome.ok()) outcome = session.Data();
  if (outcome.ok()) outcome = SendRawFileContent(&file, header.bcc, &session);
  if (outcome.ok()) outcome = Finish(&session);
  outcome_ = outcome;
}

void Mailer::SendRawMessage(const std::string&) { outcome_ = Outcome::RawMessageNotImplemented(); }

}  // namespace verdanpost
