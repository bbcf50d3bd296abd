#include "lumenfold/common/dynamic.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace lumenfold::common {
namespace {

TEST(TruthyTest, EmptyAndZeroValuesAreFalse) {
  for (const Json& v : {Json(nullptr), Json(false), Json(0), Json(0.0), Json(""), Json::array(), Json::object()}) {
    EXPECT_FALSE(is_truthy(v)) << v.dump();
  }
  for (const Json& v : {Json(true), Json(-1), Json(0.5), Json(" "), Json::array({0}), Json::object({{"a", nullptr}})}) {
    EXPECT_TRUE(is_truthy(v)) << v.dump();
  }
}

TEST(AsIntegerTest, NumbersTruncateTextParsesOthersFail) {
  EXPECT_EQ(as_integer(Json(3.7)), 3);
  EXPECT_EQ(as_integer(Json(-3.7)), -3);
  EXPECT_EQ(as_integer(Json(12)), 12);
  EXPECT_EQ(as_integer(Json(true)), 1);
  EXPECT_EQ(as_integer(Json("12")), 12);
  EXPECT_EQ(as_integer(Json("  -7 \n")), -7);
  EXPECT_EQ(as_integer(Json("+1_000")), 1000);
  EXPECT_EQ(as_integer(Json("-9223372036854775808")), INT64_MIN);
  for (const Json& bad : {Json("1.5"), Json("12a"), Json(""), Json("_1"), Json("1__0"), Json("1_"),
                          Json("9223372036854775808"), Json(nullptr), Json::array(), Json(1e300)}) {
    EXPECT_FALSE(as_integer(bad).has_value()) << bad.dump();
  }
}

TEST(MadeTextTest, GivesTheValuesTextualForm) {
  EXPECT_EQ(made_text(Json("abc")), "abc");
  EXPECT_EQ(made_text(Json(nullptr)), "None");
  EXPECT_EQ(made_text(Json(true)), "True");
  EXPECT_EQ(made_text(Json(42)), "42");
  EXPECT_EQ(made_text(Json(1.0)), "1.0");
  EXPECT_EQ(made_text(Json(0.25)), "0.25");
  EXPECT_EQ(made_text(Json::array({"a", 1, nullptr, false})), "['a', 1, None, False]");
  EXPECT_EQ(made_text(Json::object({{"k", "it's"}})), "{'k': \"it's\"}");
  EXPECT_EQ(made_text(Json("a\nb")), "a\nb");
  EXPECT_EQ(made_text(Json::array({"a\nb"})), "['a\\nb']");
}

TEST(GetTextTest, FallsBackForMissingOrNonText) {
  Json obj = Json::object({{"a", "x"}, {"b", 3}});
  EXPECT_EQ(get_text(obj, "a"), "x");
  EXPECT_EQ(get_text(obj, "b", "d"), "d");
  EXPECT_EQ(get_text(obj, "c", "d"), "d");
  EXPECT_EQ(get_text(Json::array(), "a", "d"), "d");
  EXPECT_EQ(text_view(obj, "a"), "x");
  EXPECT_EQ(text_view(obj, "b"), "");
  EXPECT_EQ(text_view(Json("a"), "a"), "");
}

}  // namespace
}  // namespace lumenfold::common
