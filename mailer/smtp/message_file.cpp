#include "mailer/smtp/message_file.h"

namespace verdanpost {

MessageFile::~MessageFile() { Close(); }

bool MessageFile::Open(const std::string& path) {
  Close();
  // The C library would stop at a NUL and open another file than the one named.
  if (path.find('\0') != std::string::npos) return false;
  file_ = std::fopen(path.c_str(), "rb");
  position_ = 0;
  failed_ = false;
  return file_ != nullptr;
}

bool MessageFile::OpenBytes(std::string_view bytes) {
  Close();
  static char empty = '\0';
  // fmemopen only reads in mode "r", whatever the pointer's constness says.
  char* data = bytes.empty() ? &empty : const_cast<char*>(bytes.data());
  file_ = ::fmemopen(data, bytes.size(), "r");
  position_ = 0;
  failed_ = false;
  return file_ != nullptr;
}

size_t MessageFile::Read(char* buffer, size_t size) {
  if (file_ == nullptr || failed_ || size == 0) return 0;
  size_t got = std::fread(buffer, 1, size, file_);
  if (got < size && std::ferror(file_)) failed_ = true;
  position_ += got;
  return got;
}

bool MessageFile::ReadByte(char* byte) { return Read(byte, 1) == 1; }

bool MessageFile::PeekByte(char* byte) {
  if (file_ == nullptr || failed_) return false;
  int c = std::getc(file_);
  if (c == EOF) {
    if (std::ferror(file_)) failed_ = true;
    return false;
  }
  std::ungetc(c, file_);
  *byte = static_cast<char>(c);
  return true;
}

bool MessageFile::Rewind() {
  if (file_ == nullptr || std::fseek(file_, 0, SEEK_SET) != 0) return false;
  std::clearerr(file_);
  position_ = 0;
  failed_ = false;
  return true;
}

void MessageFile::Close() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

}  // namespace verdanpost
