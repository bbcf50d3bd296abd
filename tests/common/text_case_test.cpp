#include "lumenfold/common/text_case.h"

#include <gtest/gtest.h>

namespace lumenfold::common {
namespace {

TEST(TextCaseTest, LowerCasesWithFullUnicodeMapping) {
  EXPECT_EQ(to_lower("HeLLo_World42"), "hello_world42");
  EXPECT_EQ(to_lower("\xC3\x9C"
                     "BER"),
            "\xC3\xBC"
            "ber");                                             // Ü
  EXPECT_EQ(to_lower("\xC4\xB0"), "i\xCC\x87");                 // İ -> i + combining dot
  EXPECT_EQ(to_lower("\xCE\x9F\xCE\xA3"), "\xCE\xBF\xCF\x82");  // ΟΣ -> ος (final sigma)
  EXPECT_EQ(to_lower(""), "");
}

TEST(TextCaseTest, KnowsUpperCaseLetters) {
  EXPECT_TRUE(is_upper(U'A'));
  EXPECT_TRUE(is_upper(U'\u00DC'));
  EXPECT_FALSE(is_upper(U'a'));
  EXPECT_FALSE(is_upper(U'1'));
  EXPECT_FALSE(is_upper(U'_'));
}

}  // namespace
}  // namespace lumenfold::common
