#pragma once

#include <string>
#include <string_view>

namespace lumenfold::common {

// The first 8 lower-case hexadecimal digits of the MD5 digest of `bytes`:
// the short hash used for file and symbol-body hashes.
std::string short_hash(std::string_view bytes);

// The full 32-digit lower-case hexadecimal MD5 digest.
std::string md5_hex(std::string_view bytes);

}  // namespace lumenfold::common
