#include "mailer/smtp/mailer.h"

#include <array>
#include <vector>

#include "mailer/smtp/address_list.h"
#include "mailer/smtp/extra_headers.h"
#include "mailer/smtp/header_builder.h"
#include "mailer/smtp/message_file.h"
#include "mailer/smtp/quoted_printable.h"
#include "mailer/smtp/raw_header_scanner.h"
#include "mailer/smtp/server_settings.h"
#include "mailer/smtp/smtp_session.h"

namespace verdanpost {
namespace {

constexpr size_t kChunkSize = 1024;
constexpr char kDefaultServerName[] = "mailhost";
// The most of a text encoded as quoted-printable at once.
constexpr size_t kQuotedPiece = 64 * 1024;

using ContentOut = std::function<Outcome(std::string_view)>;

// Hands the rest of `file` to `out` in chunks of up to 1024 bytes. A read
// failure ends the call before the end-of-data marker, so the server drops
// the partial message instead of delivering it as if complete.
Outcome SendFileContent(MessageFile* file, const ContentOut& out) {
  std::array<char, kChunkSize> buffer;
  for (;;) {
    size_t got = file->Read(buffer.data(), buffer.size());
    if (got == 0) return file->failed() ? Outcome::CannotOpenFile() : Outcome::Fine();
    Outcome sent = out(std::string_view(buffer.data(), got));
    if (!sent.ok()) return sent;
  }
}

// Reads `file` through to tell the kind and line lengths of its text, then
// puts it back at its start. A file that cannot be read is refused before
// connecting.
Outcome ScanText(MessageFile* file, TextKindScanner* scanner) {
  std::array<char, 64 * kChunkSize> buffer;
  while (size_t got = file->Read(buffer.data(), buffer.size())) {
    scanner->Add(std::string_view(buffer.data(), got));
  }
  if (file->failed() || !file->Rewind()) return Outcome::CannotOpenFile();
  return Outcome::Fine();
}

// Hands `file` from its start to `out`, leaving out every Bcc range (in
// file order, not overlapping). A chunk never crosses the start of a range;
// a range is read and dropped.
Outcome SendRawFileContent(MessageFile* file, const std::vector<BccRange>& left_out,
                           const ContentOut& out) {
  if (!file->Rewind()) return Outcome::CannotOpenFile();
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
        Outcome sent = out("\n");
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
    Outcome sent = out(std::string_view(buffer.data(), got));
    if (!sent.ok()) return sent;
    last_sent = buffer[got - 1];
    position += got;
  }
}

// `out` behind a quoted-printable encoder: call the result with the text's
// pieces, then with an empty view to end the text.
ContentOut QuotedPrintableTo(const ContentOut& out) {
  auto encoder = std::make_shared<QuotedPrintableEncoder>();
  return [encoder, out](std::string_view piece) {
    std::string encoded;
    if (piece.empty()) {
      encoder->Finish(&encoded);
      return out(encoded);
    }
    while (!piece.empty()) {
      std::string_view slice = piece.substr(0, kQuotedPiece);
      piece.remove_prefix(slice.size());
      encoded.clear();
      encoder->Encode(slice, &encoded);
      Outcome sent = out(encoded);
      if (!sent.ok()) return sent;
    }
    return Outcome::Fine();
  };
}

// How the body of a built message goes: quoted-printable when a line is too
// long for mail, or when it holds 8-bit bytes that a server spoken to with
// EHLO did not offer to take.
BodyEncoding ChooseEncoding(const TextKindScanner& body, const SmtpSession& session) {
  if (body.has_long_line()) return BodyEncoding::kQuotedPrintable;
  if (body.kind() != TextKind::kAscii && session.speaks_ehlo() &&
      !session.extensions().eight_bit_mime) {
    return BodyEncoding::kQuotedPrintable;
  }
  return BodyEncoding::kAsIs;
}

// The header of a built message, made once the session shows what the
// server offers: the body's encoding decides its MIME fields, and whether
// the content as sent is 8-bit. Everything it points to must outlive it.
struct BuiltHeader {
  std::string text;
  BodyEncoding encoding = BodyEncoding::kAsIs;
  bool eight_bit = false;

  Outcome Prepare(const MessageArguments& args, const TextKindScanner& body,
                  const std::string& extra_lines, const SmtpSession& session) {
    encoding = ChooseEncoding(body, session);
    text =
        BuildHeader(args, body.kind(), StampNow(AddressOfEntry(args.from)), encoding, extra_lines);
    eight_bit = encoding == BodyEncoding::kAsIs && body.kind() != TextKind::kAscii;
    return Outcome::Fine();
  }
};

// One line of RefusedRecipients; tabs and line breaks in its parts become
// blanks so that the line stays one line of three fields.
std::string RefusalLine(const std::string& address, int32_t code, const std::string& text) {
  auto flat = [](std::string part) {
    for (char& c : part) {
      if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return part;
  };
  return flat(address) + "\t" + std::to_string(code) + "\t" + flat(text) + "\n";
}

// Whether two reads of a server's settings would open the same session.
bool SameSettings(const ServerSettings& a, const ServerSettings& b) {
  return a.security == b.security && a.greeting == b.greeting && a.user == b.user &&
         a.password == b.password && a.has_password == b.has_password &&
         a.password_command == b.password_command && a.ca_file == b.ca_file;
}

}  // namespace

struct Mailer::Job {
  std::string sender;  // as written; the address is taken out of it
  std::vector<std::string> recipients;
  // Those the mailer itself refuses (code 54), by index; empty: none.
  std::vector<bool> invalid;
  // After the greeting, before the envelope: builds the header or scans
  // the file, and may fill the fields above.
  std::function<Outcome(const SmtpSession&)> prepare;
  // The whole content, from its start, each time it is called.
  std::function<Outcome(const ContentOut&)> content;
  bool eight_bit = false;  // the content as sent holds bytes above 127
};

Mailer::Mailer() : server_name_(kDefaultServerName) {}

Mailer::~Mailer() { Disconnect(); }

void Mailer::set_server_name(std::string name) {
  if (name != server_name_) Disconnect();
  server_name_ = std::move(name);
}

void Mailer::set_keep_connection(bool on) {
  if (!on) Disconnect();
  keep_connection_ = on;
}

void Mailer::Disconnect() {
  if (session_ == nullptr) return;
  session_->QuitQuietly();
  session_.reset();
}

void Mailer::SendMessage(const std::string& from, const std::string& to, const std::string& cc,
                         const std::string& bcc, const std::string& subject,
                         const std::string& message) {
  SendMessage(from, to, cc, bcc, subject, Utf8MessageText(message));
}

struct Mailer::BodySource {
  // Reads the body once to learn its kind; a failure ends the call.
  std::function<Outcome(TextKindScanner*)> scan;
  // The body, from its start, each time it is called.
  std::function<Outcome(const ContentOut&)> pieces;
  // Before each sending: back to the start; false when that failed.
  std::function<bool()> rewind;
};

void Mailer::SendComposed(const MessageArguments& args, const BodySource& source) {
  refused_recipients_.clear();
  std::string extra_lines;
  Job job;
  job.sender = args.from;
  Outcome outcome =
      CheckArguments(args, ignore_to_ != 0, &job.recipients, &job.invalid, partial_delivery_);
  if (outcome.ok()) outcome = CheckExtraHeaders(extra_headers_, &extra_lines);
  TextKindScanner body;
  if (outcome.ok()) outcome = source.scan(&body);
  if (!outcome.ok()) {
    outcome_ = std::move(outcome);  // refused before any connection: a kept one stays as it is
    return;
  }
  BuiltHeader header;
  job.prepare = [&](const SmtpSession& session) {
    Outcome prepared = header.Prepare(args, body, extra_lines, session);
    job.eight_bit = header.eight_bit;
    return prepared;
  };
  // Header and body pass the encoder one after the other, never joined: a
  // long body is not copied.
  job.content = [&](const ContentOut& out) {
    if (source.rewind && !source.rewind()) return Outcome::CannotOpenFile();
    Outcome sent = out(header.text);
    if (!sent.ok()) return sent;
    if (header.encoding == BodyEncoding::kAsIs) return source.pieces(out);
    ContentOut quoted = QuotedPrintableTo(out);
    sent = source.pieces(quoted);
    return sent.ok() ? quoted(std::string_view()) : sent;
  };
  Run(&job);
}

void Mailer::SendMessage(const std::string& from, const std::string& to, const std::string& cc,
                         const std::string& bcc, const std::string& subject,
                         const MessageText& message) {
  SendComposed({from, to, cc, bcc, subject},
               {.scan =
                    [&message](TextKindScanner* body) {
                      return message.ForEachPiece([body](std::string_view piece) {
                        body->Add(piece);
                        return Outcome::Fine();
                      });
                    },
                .pieces = [&message](const ContentOut& out) { return message.ForEachPiece(out); },
                .rewind = nullptr});
}

void Mailer::SendMessageFromFile(const std::string& from, const std::string& to,
                                 const std::string& cc, const std::string& bcc,
                                 const std::string& subject, const std::string& file_name) {
  MessageFile file;
  SendComposed({from, to, cc, bcc, subject},
               {.scan =
                    [&](TextKindScanner* body) {
                      if (!file.Open(file_name)) return Outcome::CannotOpenFile();
                      return ScanText(&file, body);
                    },
                .pieces = [&file](const ContentOut& out) { return SendFileContent(&file, out); },
                .rewind = [&file] { return file.Rewind(); }});
}

void Mailer::SendRawMessageFromFile(const std::string& file_name) {
  refused_recipients_.clear();
  MessageFile file;
  RawHeader header;
  Job job;
  if (!file.Open(file_name)) {
    outcome_ = Outcome::CannotOpenFile();
    return;
  }
  job.prepare = [&](const SmtpSession& session) {
    // Scanned again on a new connection: the file is read from its start.
    if (!file.Rewind()) return Outcome::CannotOpenFile();
    header = RawHeader();
    Outcome scanned = ScanRawHeader(&file, ignore_to_ != 0, &header);
    if (!scanned.ok()) return scanned;
    job.sender = header.sender;
    job.recipients = header.recipients;
    if (partial_delivery_) {
      scanned = CheckEnvelopeAddresses(header.sender, {});
      if (scanned.ok()) scanned = SortRecipients(job.recipients, &job.invalid);
    } else {
      scanned = CheckEnvelopeAddresses(header.sender, header.recipients);
    }
    if (!scanned.ok()) return scanned;
    job.eight_bit = false;
    if (session.speaks_ehlo() && session.extensions().eight_bit_mime) {
      if (!file.Rewind()) return Outcome::CannotOpenFile();
      TextKindScanner scanner;
      std::array<char, 64 * kChunkSize> buffer;
      while (size_t got = file.Read(buffer.data(), buffer.size())) {
        scanner.Add(std::string_view(buffer.data(), got));
      }
      if (file.failed()) return Outcome::CannotOpenFile();
      job.eight_bit = scanner.kind() != TextKind::kAscii;
    }
    return Outcome::Fine();
  };
  job.content = [&](const ContentOut& out) { return SendRawFileContent(&file, header.bcc, out); };
  Run(&job);
}

void Mailer::SendRawMessage(const std::string&) {
  refused_recipients_.clear();
  outcome_ = Outcome::RawMessageNotImplemented();
}

void Mailer::Run(Job* job) {
  Outcome outcome = Outcome::Fine();
  // A kept connection the server dropped or closed (421) before any of the
  // message went is replaced once; after that, the message is never sent
  // again.
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool reused = false;
    bool committed = false;
    refused_recipients_.clear();
    outcome = Acquire(&reused);
    if (outcome.ok()) outcome = job->prepare(*session_);
    if (outcome.ok()) outcome = Transact(job, &committed);
    if (outcome.ok() || !reused || committed || !session_->lost()) break;
    session_.reset();
  }
  Conclude(std::move(outcome));
}

Outcome Mailer::Acquire(bool* reused) {
  *reused = false;
  if (session_ != nullptr) {
    ServerSettings now;
    bool same = keep_connection_ && session_server_ == server_name_ &&
                ReadServerSettings(ServerSettingsPath(), server_name_, &now).ok() &&
                SameSettings(now, session_->settings()) &&
                std::chrono::steady_clock::now() - last_used_ < idle_limit_;
    if (same && session_->LooksIdle()) {
      *reused = true;
      return Outcome::Fine();
    }
    // Idle too long or other settings: a polite end. Closed or closing
    // (421): nothing more to say.
    if (session_->LooksIdle()) session_->QuitQuietly();
    session_.reset();
  }
  session_ = std::make_unique<SmtpSession>(timeouts_);
  recipient_limit_ = 0;  // a new session learns the server's limit afresh
  session_->set_stay_in_step(modern());
  session_server_ = server_name_;
  Outcome outcome = session_->Open(server_name_);
  server_address_ = session_->address();
  if (outcome.ok()) outcome = session_->Helo();
  return outcome;
}

Outcome Mailer::MailParameters(Job* job, std::string* parameters) {
  parameters->clear();
  if (!session_->speaks_ehlo()) return Outcome::Fine();
  const ServerExtensions& offered = session_->extensions();
  if (offered.size) {
    // The size as it goes on the wire, line ends and doubled dots included.
    uint64_t size = 0;
    ContentEncoder encoder;
    std::string encoded;
    Outcome counted = job->content([&](std::string_view piece) {
      while (!piece.empty()) {
        std::string_view slice = piece.substr(0, kQuotedPiece);
        piece.remove_prefix(slice.size());
        encoded.clear();
        encoder.Encode(slice, &encoded);
        size += encoded.size();
      }
      return Outcome::Fine();
    });
    if (!counted.ok()) return counted;
    if (offered.size_limit > 0 && size > offered.size_limit) {
      return Outcome::MessageTooLarge(size, offered.size_limit);
    }
    *parameters += " SIZE=" + std::to_string(size);
  }
  if (offered.eight_bit_mime && job->eight_bit) *parameters += " BODY=8BITMIME";
  return Outcome::Fine();
}

Outcome Mailer::Transact(Job* job, bool* committed) {
  std::string parameters;
  Outcome outcome = MailParameters(job, &parameters);
  if (!outcome.ok()) return outcome;
  // With no recipient to sort, the server's answer to DATA decides.
  if (partial_delivery_ && !job->recipients.empty()) {
    return TransactPartially(job, parameters, committed);
  }
  ContentOut send = [this](std::string_view piece) { return session_->SendContent(piece); };
  outcome = session_->SendEnvelope(job->sender, job->recipients, parameters);
  if (outcome.ok()) outcome = session_->Data();
  *committed = outcome.ok();
  if (outcome.ok()) outcome = job->content(send);
  if (outcome.ok()) outcome = session_->EndData();
  return outcome;
}

Outcome Mailer::TransactPartially(Job* job, const std::string& parameters, bool* committed) {
  const size_t count = job->recipients.size();
  std::vector<std::string> lines(count);  // RefusedRecipients, by index
  std::vector<size_t> pending;
  for (size_t i = 0; i < count; ++i) {
    if (!job->invalid.empty() && job->invalid[i]) {
      Outcome refused = Outcome::AddressNotValid();
      lines[i] = RefusalLine(job->recipients[i], refused.code(), refused.message());
    } else {
      pending.push_back(i);
    }
  }
  ContentOut send = [this](std::string_view piece) { return session_->SendContent(piece); };
  Outcome delivered = Outcome::Fine();  // the reply to the last end of data that went
  bool delivered_any = false;
  Outcome failure = Outcome::Fine();  // what the call ends with when nothing went
  // Lists `indexes` as refused with `outcome`'s reply, or its own words.
  auto refuse_all = [&](const std::vector<size_t>& indexes, const Outcome& outcome) {
    const std::string& text =
        outcome.server_reply().empty() ? outcome.message() : outcome.server_reply();
    for (size_t i : indexes) lines[i] = RefusalLine(job->recipients[i], outcome.code(), text);
  };
  // Once the server has said how many recipients a transaction may have,
  // later transactions (of this call and of later calls in the session) ask
  // for no more, instead of offering every remaining recipient only to have
  // the excess deferred again.
  size_t limit = recipient_limit_ > 0 ? static_cast<size_t>(recipient_limit_) : count;
  while (!pending.empty()) {
    std::vector<size_t> later;
    if (pending.size() > limit) {
      later.assign(pending.begin() + static_cast<std::ptrdiff_t>(limit), pending.end());
      pending.resize(limit);
    }
    std::vector<std::string> addresses;
    for (size_t i : pending) addresses.push_back(job->recipients[i]);
    std::vector<RecipientReply> replies;
    Outcome outcome = session_->SendEnvelope(job->sender, addresses, parameters, &replies);
    if (!outcome.ok()) {
      failure = outcome;
      pending.insert(pending.end(), later.begin(), later.end());
      if (delivered_any) refuse_all(pending, outcome);
      break;
    }
    std::vector<size_t> accepted;
    std::vector<size_t> deferred;
    for (size_t n = 0; n < pending.size(); ++n) {
      const RecipientReply& reply = replies[n];
      switch (reply.verdict) {
        case RecipientReply::Verdict::kAccepted:
          accepted.push_back(pending[n]);
          break;
        case RecipientReply::Verdict::kRefused:
          lines[pending[n]] = RefusalLine(addresses[n], reply.code, reply.reply);
          failure = Outcome::ServerRefused(SmtpCommand::kRcptTo, reply.code).WithReply(reply.reply);
          break;
        case RecipientReply::Verdict::kDeferred:
        case RecipientReply::Verdict::kNotTried:
          deferred.push_back(pending[n]);
          break;
      }
    }
    if (!deferred.empty() && !accepted.empty() && accepted.size() < limit) {
      limit = accepted.size();
      recipient_limit_ = static_cast<int32_t>(limit);
    }
    deferred.insert(deferred.end(), later.begin(), later.end());
    pending = std::move(deferred);
    if (accepted.empty()) {
      // The server holds a transaction with no recipient: RSET ends it.
      session_->ResetBeforeNextEnvelope();
      if (session_->ready()) continue;
      break;
    }
    outcome = session_->Data();
    *committed = *committed || outcome.ok();
    if (outcome.ok()) outcome = job->content(send);
    if (outcome.ok()) outcome = session_->EndData();
    if (outcome.ok()) {
      delivered = outcome;
      delivered_any = true;
      continue;
    }
    failure = outcome;
    refuse_all(accepted, outcome);
    if (!session_->ready()) {
      refuse_all(pending, outcome);
      break;
    }
    session_->ResetBeforeNextEnvelope();
  }
  for (const std::string& line : lines) refused_recipients_ += line;
  if (!delivered_any) return failure;
  return delivered;
}

void Mailer::Conclude(Outcome outcome) {
  if (session_ != nullptr) {
    if (!modern()) {
      // As a send call always ended: QUIT after a message that went, its
      // reply deciding; after a failure, the connection just closes.
      if (outcome.ok()) {
        std::string accepted = outcome.server_reply();
        Outcome quit = session_->Quit();
        outcome = quit.ok() ? Outcome::Sent().WithReply(std::move(accepted)) : std::move(quit);
      }
      session_.reset();
    } else if (keep_connection_ && session_->ready()) {
      if (!outcome.ok()) session_->ResetBeforeNextEnvelope();
      last_used_ = std::chrono::steady_clock::now();
    } else {
      session_->QuitQuietly();
      session_.reset();
    }
  }
  if (outcome.ok()) outcome = Outcome::Sent().WithReply(outcome.server_reply());
  outcome_ = std::move(outcome);
}

}  // namespace verdanpost
