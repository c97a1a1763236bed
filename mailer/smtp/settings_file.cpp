#include "mailer/smtp/settings_file.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/ascii.h"

namespace verdanpost {

SettingsFileText::~SettingsFileText() { OPENSSL_cleanse(text.data(), text.size()); }

SettingsFileRead ReadSettingsFile(const std::string& path, SettingsFileText* file,
                                  std::string* err) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) return SettingsFileRead::kMissing;
  if (fd < 0) {
    *err = "cannot read " + path + " (" + std::strerror(errno) + ")";
    return SettingsFileRead::kFailed;
  }
  std::unique_ptr<int, void (*)(int*)> closer(&fd, [](int* open) { ::close(*open); });
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *err = path + " is not a file";
    return SettingsFileRead::kFailed;
  }
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    *err = path + " can be changed by other users; make it private with chmod 600 " + path;
    return SettingsFileRead::kFailed;
  }
  // The bytes may hold passwords: read into room that never moves, so that
  // the wipe reaches every copy.
  file->text.reserve(static_cast<size_t>(info.st_size) + 1);
  char buffer[4096];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *err = "cannot read " + path + " (" + std::strerror(errno) + ")";
      OPENSSL_cleanse(buffer, sizeof(buffer));
      return SettingsFileRead::kFailed;
    }
    if (got == 0) break;
    file->text.append(buffer, static_cast<size_t>(got));
  }
  OPENSSL_cleanse(buffer, sizeof(buffer));
  file->others_can_read = (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
  return SettingsFileRead::kRead;
}

bool IsSecretSettingsKey(std::string_view key) {
  return EqualsIgnoreAsciiCase(key, "User") || EqualsIgnoreAsciiCase(key, "Password") ||
         EqualsIgnoreAsciiCase(key, "PasswordCommand");
}

}  // namespace verdanpost
