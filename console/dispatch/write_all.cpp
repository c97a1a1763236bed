#include "console/dispatch/write_all.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace verdanpost {

bool WriteAll(QFile& file, const QByteArray& data, QString* why) {
  const int fd = file.handle();
  if (fd < 0) {
    *why = QStringLiteral("the file is not open");
    return false;
  }
  const char* next = data.constData();
  size_t left = static_cast<size_t>(data.size());
  while (left > 0) {
    const ssize_t written = ::write(fd, next, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      // A write that takes nothing without an error has met a full disk.
      *why = QString::fromLocal8Bit(std::strerror(written < 0 ? errno : ENOSPC));
      return false;
    }
    next += written;
    left -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace verdanpost
