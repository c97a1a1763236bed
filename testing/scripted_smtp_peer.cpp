#include "testing/scripted_smtp_peer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>

namespace verdanpost::testing_support {
namespace {

constexpr auto kPacketPause = std::chrono::milliseconds(20);
constexpr auto kIdleWait = std::chrono::seconds(10);
constexpr auto kStopReadingFor = std::chrono::seconds(30);
constexpr auto kSlowPause = std::chrono::milliseconds(100);
constexpr size_t kSlowPiece = 1 << 20;

std::string Verb(const std::string& line) {
  std::string verb;
  for (size_t i = 0; i < line.size() && i < 4; ++i) {
    verb.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(line[i]))));
  }
  return verb;
}

}  // namespace

ScriptedSmtpPeer::ScriptedSmtpPeer(const std::string& address, uint16_t port)
    : listener_("peer", address, port) {
  replies_[SmtpStep::kGreeting] = PeerReply::Text("220 peer.test ready\r\n");
  replies_[SmtpStep::kHelo] = PeerReply::Text("250 peer.test\r\n");
  replies_[SmtpStep::kMailFrom] = PeerReply::Text("250 Sender ok\r\n");
  replies_[SmtpStep::kRcptTo] = PeerReply::Text("250 Recipient ok\r\n");
  replies_[SmtpStep::kData] = PeerReply::Text("354 Send data, end with .\r\n");
  replies_[SmtpStep::kEndOfData] = PeerReply::Text("250 Queued\r\n");
  replies_[SmtpStep::kQuit] = PeerReply::Text("221 Bye\r\n");
  replies_[SmtpStep::kStartTls] = PeerReply::Text("500 Command not recognised\r\n");
  replies_[SmtpStep::kAuth] = PeerReply::Text("500 Command not recognised\r\n");

  thread_ = std::thread([this] { Serve(); });
}

ScriptedSmtpPeer::~ScriptedSmtpPeer() {
  listener_.Stop();
  thread_.join();
}

std::string ScriptedSmtpPeer::server_name() const {
  return (listener_.ipv6() ? "[::1]:" : "127.0.0.1:") + std::to_string(listener_.port());
}

void ScriptedSmtpPeer::SetReply(SmtpStep step, PeerReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (step == SmtpStep::kData) data_scripted_ = true;
  replies_[step] = std::move(reply);
}

void ScriptedSmtpPeer::SetRcptReply(size_t index, PeerReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  rcpt_replies_[index] = std::move(reply);
}

void ScriptedSmtpPeer::SetRcptReplyFor(const std::string& address, PeerReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  rcpt_address_replies_["<" + address + ">"] = std::move(reply);
}

void ScriptedSmtpPeer::SetNthReply(SmtpStep step, size_t index, PeerReply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  nth_replies_[{step, index}] = std::move(reply);
}

std::string ScriptedSmtpPeer::transcript() {
  WaitUntilIdle();
  std::lock_guard<std::mutex> lock(mutex_);
  return transcript_;
}

std::vector<std::string> ScriptedSmtpPeer::commands() {
  WaitUntilIdle();
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

std::vector<std::string> ScriptedSmtpPeer::received_messages() {
  WaitUntilIdle();
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

std::vector<int> ScriptedSmtpPeer::round_trips() {
  WaitUntilIdle();
  std::lock_guard<std::mutex> lock(mutex_);
  return round_trips_;
}

int ScriptedSmtpPeer::connections() {
  WaitUntilIdle();
  std::lock_guard<std::mutex> lock(mutex_);
  return accepted_;
}

bool ScriptedSmtpPeer::WaitForMessages(size_t count, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_for(lock, limit, [this, count] { return messages_.size() >= count; });
}

void ScriptedSmtpPeer::WaitUntilIdle() {
  auto give_up = std::chrono::steady_clock::now() + kIdleWait;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // A connection still waiting in the backlog counts as busy: the serving
    // thread raises accepted_ under the lock before it takes one.
    bool pending = listener_.HasWaitingConnection();
    if ((accepted_ == finished_ && !pending) || std::chrono::steady_clock::now() > give_up) return;
    idle_.wait_for(lock, std::chrono::milliseconds(10));
  }
}

void ScriptedSmtpPeer::Serve() {
  while (listener_.WaitForConnection()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++accepted_;
    }
    int fd = listener_.TakeConnection();
    if (fd >= 0) {
      ServeConnection(fd);
      ::close(fd);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++finished_;
    idle_.notify_all();
  }
}

PeerReply ScriptedSmtpPeer::ReplyFor(SmtpStep step, size_t rcpt_index, const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto nth = nth_replies_.find({step, step_counts_[step]++});
  if (nth != nth_replies_.end()) return nth->second;
  if (step == SmtpStep::kRcptTo) {
    for (const auto& [address, reply] : rcpt_address_replies_) {
      if (line.find(address) != std::string::npos) return reply;
    }
    auto it = rcpt_replies_.find(rcpt_index);
    if (it != rcpt_replies_.end()) return it->second;
  }
  return replies_[step];
}

bool ScriptedSmtpPeer::DataScripted() {
  std::lock_guard<std::mutex> lock(mutex_);
  return data_scripted_;
}

void ScriptedSmtpPeer::Record(const char* data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  transcript_.append(data, size);
}

bool ScriptedSmtpPeer::Play(int fd, const PeerReply& reply) {
  if (reply.hold.count() > 0 && listener_.WaitForStop(reply.hold)) return false;
  for (size_t i = 0; i < reply.packets.size(); ++i) {
    if (i > 0) std::this_thread::sleep_for(kPacketPause);
    if (i + 1 == reply.packets.size() && reply.action == PeerReply::Action::kDisconnect) {
      // Held back until the close, which sends it with the FIN: the client
      // cannot answer before the connection is gone.
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &one, sizeof(one));
    }
    SendAll(fd, reply.packets[i]);
  }
  switch (reply.action) {
    case PeerReply::Action::kSend:
    case PeerReply::Action::kReadSlowly:
      return true;
    case PeerReply::Action::kDisconnect:
      return false;
    case PeerReply::Action::kReset: {
      linger abort{1, 0};  // closing now sends a reset
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
      return false;
    }
    case PeerReply::Action::kStopReading:
      if (listener_.WaitForStop(kStopReadingFor)) return false;
      break;
    case PeerReply::Action::kStall:
      break;
  }
  // Stalled: keep recording until the client gives up or the peer stops.
  char buffer[4096];
  for (;;) {
    if (!listener_.WaitReadable(fd)) return false;
    ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
    if (got <= 0) return false;
    Record(buffer, static_cast<size_t>(got));
  }
}

void ScriptedSmtpPeer::ServeConnection(int fd) {
  std::string pending;  // received, not yet taken as a line or content
  bool slow = false;    // set by a kReadSlowly reply
  // Large enough for any one write of a client on loopback, so that a
  // write counts as one round trip however long it is.
  std::vector<char> buffer(64 * 1024);
  bool answered = false;  // replies went out since the client last sent
  int waits = 0;
  // Receives more bytes into `pending`; false at the end of the connection.
  auto receive = [&]() {
    if (answered) ++waits;
    answered = false;
    if (slow && listener_.WaitForStop(kSlowPause)) return false;
    if (!listener_.WaitReadable(fd)) return false;
    ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (got <= 0) return false;
    Record(buffer.data(), static_cast<size_t>(got));
    pending.append(buffer.data(), static_cast<size_t>(got));
    return true;
  };

  if (!Play(fd, ReplyFor(SmtpStep::kGreeting, 0))) return;
  answered = true;
  size_t rcpt_index = 0;     // RCPT TO commands in this transaction
  size_t rcpt_accepted = 0;  // of them, answered 25x
  for (;;) {
    size_t end;
    while ((end = pending.find('\n')) == std::string::npos) {
      if (!receive()) return;
    }
    std::string line = pending.substr(0, end);
    pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      commands_.push_back(line);
    }
    std::string verb = Verb(line);
    SmtpStep step;
    if (verb == "HELO" || verb == "EHLO") {
      step = SmtpStep::kHelo;
    } else if (verb == "MAIL") {
      step = SmtpStep::kMailFrom;
    } else if (verb == "RCPT") {
      step = SmtpStep::kRcptTo;
    } else if (verb == "DATA") {
      step = SmtpStep::kData;
    } else if (verb == "QUIT") {
      step = SmtpStep::kQuit;
    } else if (verb == "STAR") {
      step = SmtpStep::kStartTls;
    } else if (verb == "AUTH") {
      step = SmtpStep::kAuth;
    } else if (verb == "RSET") {
      rcpt_index = 0;
      rcpt_accepted = 0;
      SendAll(fd, "250 Reset\r\n");
      answered = true;
      continue;
    } else {
      SendAll(fd, "500 Command not recognised\r\n");
      answered = true;
      continue;
    }
    if (step == SmtpStep::kMailFrom) rcpt_index = rcpt_accepted = 0;  // per transaction
    PeerReply reply = ReplyFor(step, rcpt_index, line);
    if (step == SmtpStep::kRcptTo) {
      ++rcpt_index;
      if (!reply.packets.empty() && reply.packets[0].rfind("25", 0) == 0) ++rcpt_accepted;
    }
    if (step == SmtpStep::kData && rcpt_index > 0 && rcpt_accepted == 0 && !DataScripted()) {
      // As a server does when every recipient was refused.
      reply = PeerReply::Text("554 5.5.1 Error: no valid recipients\r\n");
    }
    if (!Play(fd, reply)) return;
    answered = true;
    if (reply.action == PeerReply::Action::kReadSlowly) {
      slow = true;
      buffer.resize(kSlowPiece);
    }
    if (step == SmtpStep::kQuit) return;
    if (step != SmtpStep::kData || reply.packets.empty() || reply.packets[0].rfind("354", 0) != 0) {
      continue;
    }
    // Content up to CR LF "." CR LF, or "." CR LF right at its start.
    size_t marker;
    for (;;) {
      if (pending.rfind(".\r\n", 0) == 0) {
        marker = 0;
        pending.erase(0, 3);
        break;
      }
      if ((marker = pending.find("\r\n.\r\n")) != std::string::npos) {
        pending.erase(marker, 5);
        break;
      }
      if (!receive()) return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      messages_.push_back(pending.substr(0, marker));
      round_trips_.push_back(waits);
    }
    idle_.notify_all();
    waits = 0;  // a next message on this connection counts its own
    pending.erase(0, marker);
    if (!Play(fd, ReplyFor(SmtpStep::kEndOfData, 0))) return;
    answered = true;
  }
}

}  // namespace verdanpost::testing_support
