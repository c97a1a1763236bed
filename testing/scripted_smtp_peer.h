#ifndef VERDANPOST_TESTING_SCRIPTED_SMTP_PEER_H_
#define VERDANPOST_TESTING_SCRIPTED_SMTP_PEER_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "testing/loopback_listener.h"

namespace verdanpost::testing_support {

// The steps of an SMTP dialogue at which the peer answers.
// kHelo stands for HELO and EHLO; STARTTLS and AUTH are refused with 500
// unless scripted.
enum class SmtpStep {
  kGreeting,
  kHelo,
  kMailFrom,
  kRcptTo,
  kData,
  kEndOfData,
  kQuit,
  kStartTls,
  kAuth
};

// What the peer does at one step.
struct PeerReply {
  enum class Action {
    kSend,         // send `packets`, then go on
    kDisconnect,   // send `packets` (may be none), closing the connection with
                   // the last of them, so the client cannot answer before
    kReset,        // send `packets`, then abort the connection (TCP reset)
    kStall,        // send `packets`, then never answer again on this connection
    kStopReading,  // send `packets`, then neither read nor answer for 30 s or
                   // until the peer is destroyed, so that the client's sends
                   // back up and time out (accessors wait for it up to 10 s)
    kReadSlowly,   // send `packets`, then go on, but from then on take what
                   // arrives in pieces of at most 1 MiB with a pause of
                   // 100 ms before each: slow, yet never stalled for long
  };

  // One reply sent in one packet, e.g. "250 Ok\r\n" or a multi-line text.
  static PeerReply Text(std::string text) { return {Action::kSend, {std::move(text)}}; }
  // One reply split over packets, sent with a short pause between them.
  static PeerReply Packets(std::vector<std::string> packets) {
    return {Action::kSend, std::move(packets)};
  }
  static PeerReply Disconnect(std::string text = "") {
    return {Action::kDisconnect, text.empty() ? std::vector<std::string>{} : std::vector{text}};
  }
  static PeerReply Reset(std::string text = "") {
    return {Action::kReset, text.empty() ? std::vector<std::string>{} : std::vector{text}};
  }
  static PeerReply Stall() { return {Action::kStall, {}}; }
  static PeerReply StopReading(std::string text) { return {Action::kStopReading, {text}}; }
  static PeerReply ReadSlowly(std::string text) { return {Action::kReadSlowly, {text}}; }
  // One reply, sent after holding the client for `hold` (a slow server).
  static PeerReply After(std::chrono::milliseconds hold, std::string text) {
    return {Action::kSend, {std::move(text)}, hold};
  }

  Action action = Action::kSend;
  std::vector<std::string> packets;
  std::chrono::milliseconds hold{0};  // waited before the first packet
};

// An SMTP server for tests, on a loopback socket in its own thread. It
// serves connections one after another with a script: by default that of a
// well-behaved server (220, 250, 250, 250 per RCPT TO, 354, 250, 221), with
// per-step overrides. After a 354 to DATA it takes content until CR LF "."
// CR LF. It records every byte it receives; the accessors wait until the
// client has closed its connection, so call them after the client is done.
class ScriptedSmtpPeer {
 public:
  // Listens on `address` ("127.0.0.1", "::1", ...) at `port` (0: any free one).
  explicit ScriptedSmtpPeer(const std::string& address = "127.0.0.1", uint16_t port = 0);
  ~ScriptedSmtpPeer();
  ScriptedSmtpPeer(const ScriptedSmtpPeer&) = delete;
  ScriptedSmtpPeer& operator=(const ScriptedSmtpPeer&) = delete;

  uint16_t port() const { return listener_.port(); }
  // The ServerName that reaches this peer: "127.0.0.1:PORT" or "[::1]:PORT".
  std::string server_name() const;

  // Replaces the reply at `step` (for kRcptTo: at every RCPT TO without a
  // reply of its own). Set the script before the client connects.
  void SetReply(SmtpStep step, PeerReply reply);
  // Replaces the reply to the `index`th RCPT TO (from 0) of a transaction.
  void SetRcptReply(size_t index, PeerReply reply);
  // Replaces the reply to every RCPT TO of `address` (as in "<address>");
  // wins over the two above.
  void SetRcptReplyFor(const std::string& address, PeerReply reply);
  // Replaces the reply to the `index`th command (from 0) of `step` over all
  // connections, e.g. the second MAIL FROM; wins over all of the above.
  void SetNthReply(SmtpStep step, size_t index, PeerReply reply);

  // Every byte received, over all connections, in order.
  std::string transcript();
  // The command lines received (without CR LF), over all connections.
  std::vector<std::string> commands();
  // The content of each DATA phase as it came over the wire (leading dots
  // still doubled), without the end-of-data marker CR LF "." CR LF.
  std::vector<std::string> received_messages();
  // The number of connections accepted so far.
  int connections();
  // Waits until the content of `count` messages has come in, without
  // waiting for the client to close; false when it did not within `limit`.
  bool WaitForMessages(size_t count, std::chrono::milliseconds limit);
  // For each message received: how many times the client waited for the
  // peer's answer from the greeting (or, for a later message on the same
  // connection, from the reply to the one before) up to the end of the
  // data (the peer
  // had answered everything it had been sent and then had to wait for
  // more). A client that sends one command per reply waits once per
  // command; a pipelining one, once per write.
  std::vector<int> round_trips();

 private:
  void Serve();
  void ServeConnection(int fd);
  bool Play(int fd, const PeerReply& reply);  // false: connection is over
  PeerReply ReplyFor(SmtpStep step, size_t rcpt_index, const std::string& line = "");
  void Record(const char* data, size_t size);
  bool DataScripted();
  void WaitUntilIdle();

  LoopbackListener listener_;  // stopped on destruction to end the thread
  std::thread thread_;

  std::mutex mutex_;
  std::condition_variable idle_;
  std::map<SmtpStep, PeerReply> replies_;
  bool data_scripted_ = false;  // SetReply(kData, ...) was called
  std::map<size_t, PeerReply> rcpt_replies_;
  std::map<std::string, PeerReply> rcpt_address_replies_;  // by "<address>"
  std::map<std::pair<SmtpStep, size_t>, PeerReply> nth_replies_;
  std::map<SmtpStep, size_t> step_counts_;  // commands of each step so far
  std::string transcript_;
  std::vector<std::string> commands_;
  std::vector<std::string> messages_;
  std::vector<int> round_trips_;
  int accepted_ = 0;
  int finished_ = 0;
};

}  // namespace verdanpost::testing_support

#endif  // VERDANPOST_TESTING_SCRIPTED_SMTP_PEER_H_
