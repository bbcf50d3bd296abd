#include "lumenfold/common/text_case.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace lumenfold::common {

std::string to_lower(std::string_view text) {
  bool ascii = true;
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  }
  std::string out;
  if (ascii) {
    out.assign(text);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  // The root locale gives the language-neutral full mapping (final sigma,
  // "İ" to "i̇"), not a Turkish or Lithuanian one.
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  u.toLower(icu::Locale::getRoot());
  u.toUTF8String(out);
  return out;
}

bool is_upper(char32_t cp) { return u_isUUppercase(static_cast<UChar32>(cp)); }

}  // namespace lumenfold::common
