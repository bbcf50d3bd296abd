#include "lumenfold/common/hash.h"

#include <gtest/gtest.h>

namespace lumenfold::common {
namespace {

TEST(HashTest, ShortHashIsFirstEightMd5Digits) {
  EXPECT_EQ(md5_hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(short_hash(""), "d41d8cd9");
  EXPECT_EQ(short_hash("hello"), "5d41402a");
  EXPECT_EQ(short_hash("\xC3\xA9"), md5_hex("\xC3\xA9").substr(0, 8));
}

}  // namespace
}  // namespace lumenfold::common
