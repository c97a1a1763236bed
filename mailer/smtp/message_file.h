#ifndef VERDANPOST_MAILER_SMTP_MESSAGE_FILE_H_
#define VERDANPOST_MAILER_SMTP_MESSAGE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace verdanpost {

// A message file opened for reading only; owns the stream and closes it.
// Reads report failures (as on a directory) apart from the end of the file.
class MessageFile {
 public:
  MessageFile() = default;
  ~MessageFile();
  MessageFile(const MessageFile&) = delete;
  MessageFile& operator=(const MessageFile&) = delete;

  // False when the file cannot be opened for reading, or `path` holds a NUL.
  bool Open(const std::string& path);
  // Reads `bytes` as the content of a file, without a file on disk (for the
  // fuzz targets); `bytes` must outlive the open file.
  bool OpenBytes(std::string_view bytes);
  bool is_open() const { return file_ != nullptr; }

  // Reads up to `size` bytes into `buffer`; 0 at the end of the file or on a
  // failure, which failed() then tells apart.
  size_t Read(char* buffer, size_t size);
  // Reads one byte; false at the end of the file or on a failure.
  bool ReadByte(char* byte);
  // Tells the next byte without reading it; false at the end or on a failure.
  bool PeekByte(char* byte);
  bool failed() const { return failed_; }

  // Bytes read since the start of the file (or the last Rewind).
  uint64_t position() const { return position_; }
  bool Rewind();
  void Close();

 private:
  std::FILE* file_ = nullptr;
  uint64_t position_ = 0;
  bool failed_ = false;
};

}  // namespace verdanpost

#endif  // VERDANPOST_MAILER_SMTP_MESSAGE_FILE_H_
