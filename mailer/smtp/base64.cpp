#include "mailer/smtp/base64.h"

#include <openssl/evp.h>

namespace verdanpost {

std::string Base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                               reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<int>(bytes.size()));
  out.resize(static_cast<size_t>(length));
  return out;
}

}  // namespace verdanpost
