#include "lumenfold/common/utf8.h"

#include <gtest/gtest.h>

namespace lumenfold::common {
namespace {

TEST(Utf8Test, DropsIllFormedBytesOnly) {
  EXPECT_EQ(drop_invalid_utf8("a\xFF"
                              "b\xC3\xA9"
                              "c"),
            "ab\xC3\xA9"
            "c");
  EXPECT_EQ(drop_invalid_utf8("\xE2\x82"
                              "A"),
            "A");  // truncated sequence
  EXPECT_EQ(drop_invalid_utf8("\xC0\xAF"
                              "x"),
            "x");  // overlong
  EXPECT_EQ(drop_invalid_utf8("\xED\xA0\x80"
                              "y"),
            "y");  // surrogate
  EXPECT_EQ(drop_invalid_utf8("\xF4\x90\x80\x80"
                              "z"),
            "z");  // above U+10FFFF
  EXPECT_EQ(drop_invalid_utf8("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(drop_invalid_utf8("\xEF\xBB\xBF"
                              "bom"),
            "\xEF\xBB\xBF"
            "bom");  // a BOM is text
}

TEST(Utf8Test, NormalizesLineEndings) { EXPECT_EQ(normalize_newlines("a\r\nb\rc\n\r\n"), "a\nb\nc\n\n"); }

TEST(Utf8Test, CountsAndCutsCodePoints) {
  std::string text = "h\xC3\xA9llo\xF0\x9F\x98\x80!";
  EXPECT_EQ(code_point_count(text), 7u);
  EXPECT_EQ(cut_code_points(text, 2), "h\xC3\xA9");
  EXPECT_EQ(cut_code_points(text, 6), "h\xC3\xA9llo\xF0\x9F\x98\x80");
  EXPECT_EQ(cut_code_points(text, 100), text);
  EXPECT_EQ(cut_code_points(text, 0), "");
  EXPECT_EQ(byte_offset_of(text, 2), 3u);
}

TEST(Utf8Test, SplitsLinesAtEveryUnicodeBoundary) {
  auto lines = split_lines("a\nb\r\nc\rd\ve\ff\x1cg\x1dh\x1ei\xC2\x85j\xE2\x80\xA8k\xE2\x80\xA9l\n");
  std::vector<std::string_view> expected = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"};
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(split_lines("").empty());
  EXPECT_EQ(split_lines("\n"), std::vector<std::string_view>{""});
  EXPECT_EQ(split_lines("x\n\ny"), (std::vector<std::string_view>{"x", "", "y"}));
  // U+2027 is not a boundary even though it shares the lead bytes.
  EXPECT_EQ(split_lines("a\xE2\x80\xA7"
                        "b")
                .size(),
            1u);
}

TEST(Utf8Test, TrimsAndSplitsUnicodeWhitespace) {
  EXPECT_EQ(trim(" \t\xC2\xA0x y\xE3\x80\x80\n"), "x y");
  EXPECT_EQ(trim_left("  x "), "x ");
  EXPECT_EQ(trim("   "), "");
  EXPECT_EQ(split_whitespace(" a  b\xE2\x80\x83"
                             "c "),
            (std::vector<std::string_view>{"a", "b", "c"}));
}

TEST(Utf8Test, EncodesAndDecodesRoundTrip) {
  for (char32_t cp : {U'a', U'\u00e9', U'\u4e2d', U'\U0001F600'}) {
    std::string s;
    append_utf8(s, cp);
    size_t pos = 0;
    EXPECT_EQ(decode_at(s, pos), cp);
    EXPECT_EQ(pos, s.size());
  }
  size_t pos = 0;
  EXPECT_EQ(decode_at("\xFF", pos), U'\uFFFD');
  EXPECT_EQ(pos, 1u);
}

}  // namespace
}  // namespace lumenfold::common
