#include "mailer/smtp/content_encoder.h"

#include <algorithm>
#include <cstring>

namespace verdanpost {
namespace {

// The position of the first `c` in `piece` at or after `from`; piece.size()
// when there is none.
size_t Next(std::string_view piece, size_t from, char c) {
  if (from >= piece.size()) return piece.size();
  const void* found = std::memchr(piece.data() + from, c, piece.size() - from);
  return found == nullptr ? piece.size() : static_cast<const char*>(found) - piece.data();
}

}  // namespace

void ContentEncoder::Encode(std::string_view piece, std::string* out) {
  out->reserve(out->size() + piece.size() + piece.size() / 16 + 4);
  size_t i = 0;
  if (after_cr_ && !piece.empty()) {
    after_cr_ = false;
    if (piece[0] == '\n') i = 1;  // the LF of a CR LF that went out with the CR
  }
  // The next CR and LF at or after i; each is searched again only once passed.
  size_t next_cr = Next(piece, i, '\r');
  size_t next_lf = Next(piece, i, '\n');
  while (i < piece.size()) {
    if (at_line_start_ && piece[i] == '.') out->push_back('.');
    // Copy the run up to the next line end as it stands.
    if (next_cr < i) next_cr = Next(piece, i, '\r');
    if (next_lf < i) next_lf = Next(piece, i, '\n');
    size_t end = std::min(next_cr, next_lf);
    if (end > i) {
      out->append(piece.data() + i, end - i);
      at_line_start_ = false;
    }
    if (end == piece.size()) break;
    out->append("\r\n");
    at_line_start_ = true;
    i = end + 1;
    if (piece[end] == '\r') {
      if (i == piece.size()) {
        after_cr_ = true;  // its LF, if any, comes with the next piece
      } else if (piece[i] == '\n') {
        ++i;
      }
    }
  }
}

}  // namespace verdanpost
