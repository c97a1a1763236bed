#ifndef VERDANPOST_CONSOLE_DISPATCH_WRITE_ALL_H_
#define VERDANPOST_CONSOLE_DISPATCH_WRITE_ALL_H_

#include <QByteArray>
#include <QFile>
#include <QString>

namespace verdanpost {

// Writes every byte of |data| to the open |file| through its descriptor, so
// that each row is with the system when it returns, and a full disk or a
// file size limit reads as the system's reason ("No space left on device")
// where QFile reports a short write as "Unknown error". false with *why.
// Whatever |file| holds must be written this way only.
bool WriteAll(QFile& file, const QByteArray& data, QString* why);

}  // namespace verdanpost

#endif  // VERDANPOST_CONSOLE_DISPATCH_WRITE_ALL_H_
