#include "lumenfold/lodestar/actions/slim_payload.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace lumenfold::lodestar {
namespace {

using common::Json;

TEST(SlimPayloadTest, KeepsListedMembersInListOrder) {
  Json payload = Json::parse(R"({"max_chars": 500, "content": "long text", "query": "login", "file": "src/a.py"})");
  EXPECT_EQ(slim_payload("read", payload).dump(), R"({"kind":"read","file":"src/a.py","query":"login"})");
}

TEST(SlimPayloadTest, KeepsValuesUnchanged) {
  Json payload = Json::parse(
      R"({"overlap": [1, 2], "response_chars": 12, "pattern": null, "mode": {"m": 1}, "query": "q", "file": 3})");
  EXPECT_EQ(slim_payload("rg", payload).dump(),
            R"({"kind":"rg","file":3,"query":"q","mode":{"m":1},"pattern":null,"response_chars":12,"overlap":[1,2]})");
}

TEST(SlimPayloadTest, PayloadWithoutListedMembersGivesKindAlone) {
  const Json cases[] = {Json::parse(R"({"content": "x", "files": ["a"]})"), Json::object(),
                        Json::parse(R"(["file", "query"])"), Json("file"), Json()};
  for (const Json& payload : cases) {
    EXPECT_EQ(slim_payload("retrieve", payload).dump(), R"({"kind":"retrieve"})") << payload.dump();
  }
}

}  // namespace
}  // namespace lumenfold::lodestar
