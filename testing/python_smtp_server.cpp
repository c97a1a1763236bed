#include "testing/python_smtp_server.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace verdanpost {

bool PythonSmtpServer::Available() {
  return ::access(kDebianPython, X_OK) == 0 &&
         std::system("/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null") == 0;
}

bool PythonSmtpServer::Start(const std::string& script, const std::vector<std::string>& args,
                             std::string* err) {
  Stop();
  // Everything the child needs is made before the fork.
  const std::string path = std::string(VERDANPOST_SOURCE_DIR) + "/testing/" + script;
  // -B: importing the scripts' shared module must not write into the sources.
  std::vector<char*> argv{const_cast<char*>(kDebianPython), const_cast<char*>("-B"),
                          const_cast<char*>(path.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  int out[2];
  if (::pipe(out) != 0) {
    *err = "pipe failed";
    return false;
  }
  pid_ = ::fork();
  if (pid_ < 0) {
    ::close(out[0]);
    ::close(out[1]);
    *err = "fork failed";
    return false;
  }
  if (pid_ == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    ::execv(kDebianPython, argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  FILE* from_server = ::fdopen(out[0], "r");
  const bool got_port = std::fscanf(from_server, "%d", &port_) == 1;
  std::fclose(from_server);
  if (!got_port) {
    Stop();
    *err = "the SMTP server " + script + " did not start";
    return false;
  }
  return true;
}

void PythonSmtpServer::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
  port_ = 0;
}

}  // namespace verdanpost
