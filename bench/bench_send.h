#ifndef VERDANPOST_BENCH_BENCH_SEND_H_
#define VERDANPOST_BENCH_BENCH_SEND_H_

// What the benches of a bulk send share: the mailer of this build
// registered for them, their message, and a progress nobody watches. For
// targets that define VERDANPOST_BUILD_DIR.

#include <cstdlib>
#include <string>

#include <QString>

#include "console/dispatch/console_operations.h"
#include "console/dispatch/send_progress.h"

namespace verdanpost::bench {

// Registers the mailer library of this build in a registry in `dir` and
// makes the automation runtime use it; false when autoreg failed.
inline bool RegisterMailerIn(const std::string& dir) {
  setenv("AUTOMATION_REGISTRY", (dir + "/classes-root.reg").c_str(), 1);
  const std::string build = VERDANPOST_BUILD_DIR;
  const std::string command = build + "/bin/autoreg " + build + "/lib/libverdanpost.so";
  return std::system(command.c_str()) == 0;
}

// A line of text under the subject "Bench" from the list desk, through
// `server`, without the owner's copy.
inline SendInputs BenchMessage(const QString& server) {
  SendInputs inputs;
  inputs.message.UseFile = false;
  inputs.message.UseText = true;
  inputs.message.Subject = "Bench";
  inputs.message.MessageText = "Hello\r\n";
  inputs.setup.FromName = "List Desk";
  inputs.setup.FromEmail = "sender@example.org";
  inputs.setup.ToName = "List Owner";
  inputs.setup.ToEmail = "list@example.org";
  inputs.setup.SMTPServer = server;
  inputs.setup.CopyMessages = kUnchecked;
  return inputs;
}

// Never cancelled, shows nothing.
class QuietProgress : public SendProgress {
 public:
  void MessageStarting(int, int, int64_t) override {}
  bool CancelRequested() override { return false; }
};

}  // namespace verdanpost::bench

#endif  // VERDANPOST_BENCH_BENCH_SEND_H_
