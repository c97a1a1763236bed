#ifndef VERDANPOST_TESTING_PYTHON_SMTP_SERVER_H_
#define VERDANPOST_TESTING_PYTHON_SMTP_SERVER_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace verdanpost {

// Debian's interpreter, which has Debian's Python modules (aiosmtpd); the
// python3 first on the PATH may be another one.
inline constexpr char kDebianPython[] = "/usr/bin/python3";

// One of the real SMTP servers in testing/ (smtp_sink_server.py,
// smtp_secure_server.py, on aiosmtpd), run as a child process from Start
// until Stop or the end of this object. The script prints the port it
// listens on, then serves until it is terminated.
class PythonSmtpServer {
 public:
  PythonSmtpServer() = default;
  PythonSmtpServer(const PythonSmtpServer&) = delete;
  PythonSmtpServer& operator=(const PythonSmtpServer&) = delete;
  ~PythonSmtpServer() { Stop(); }

  // Whether Debian's python3 with aiosmtpd is installed.
  static bool Available();

  // Stops a server that runs, then starts testing/`script` with `args` and
  // reads its port. false with *err when it did not start.
  bool Start(const std::string& script, const std::vector<std::string>& args, std::string* err);
  void Stop();

  int port() const { return port_; }

 private:
  pid_t pid_ = -1;  // -1 while no server runs
  int port_ = 0;
};

}  // namespace verdanpost

#endif  // VERDANPOST_TESTING_PYTHON_SMTP_SERVER_H_
