#include "lumenfold/common/hash.h"

#include <stdexcept>

#include <openssl/evp.h>

namespace lumenfold::common {

namespace {
// Digits of the short hash: enough to notice a change, small in documents.
constexpr size_t kShortHashDigits = 8;
}  // namespace

std::string md5_hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &len, EVP_md5(), nullptr) != 1) {
    throw std::runtime_error("MD5 digest failed");
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(len * 2);
  for (unsigned int i = 0; i < len; ++i) {
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 0xF];
  }
  return out;
}

std::string short_hash(std::string_view bytes) { return md5_hex(bytes).substr(0, kShortHashDigits); }

}  // namespace lumenfold::common
