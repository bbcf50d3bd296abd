#include "lumenfold/lodestar/graph/remote_api.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "lumenfold/lodestar/graph/http_transport.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;
using Headers = std::vector<std::pair<std::string, std::string>>;

class FakeTransport : public HttpTransport {
 public:
  common::Result<HttpResponse> send(const HttpRequest& request) override {
    sent.push_back(request);
    if (fail) return common::Error{"connection refused"};
    return answer;
  }
  std::vector<HttpRequest> sent;
  HttpResponse answer{200, "{}"};
  bool fail = false;
};

TEST(RemoteGraphApiTest, PostJoinsTheAddressAndSendsSpacedJson) {
  FakeTransport transport;
  RemoteGraphApi api("http://h:8787/", "tok", transport);
  Json payload = Json::object();
  payload["query"] = "caf\xC3\xA9";
  payload["top_files"] = 5;
  payload["top_edges"] = 12;
  payload["max_grep_hits"] = 0;
  ASSERT_TRUE(api.post(kChatFixPath, payload).ok());
  ASSERT_EQ(transport.sent.size(), 1u);
  const HttpRequest& r = transport.sent[0];
  EXPECT_EQ(r.method, HttpRequest::Method::kPost);
  EXPECT_EQ(r.url, "http://h:8787//api/chat-fix");
  EXPECT_EQ(r.headers, (Headers{{"content-type", "application/json"}, {"authorization", "Bearer tok"}}));
  EXPECT_EQ(r.body, R"({"query": "caf\u00e9", "top_files": 5, "top_edges": 12, "max_grep_hits": 0})");
}

TEST(RemoteGraphApiTest, GetSendsOnlyTheTokenHeader) {
  FakeTransport transport;
  RemoteGraphApi with_token("http://h:1", "t", transport);
  ASSERT_TRUE(with_token.get(kFullInfoGraphPath).ok());
  RemoteGraphApi without_token("http://h:1", "", transport);
  ASSERT_TRUE(without_token.get(kFullInfoGraphPath).ok());
  ASSERT_TRUE(without_token.post("/x", Json::object()).ok());
  ASSERT_EQ(transport.sent.size(), 3u);
  EXPECT_EQ(transport.sent[0].method, HttpRequest::Method::kGet);
  EXPECT_EQ(transport.sent[0].url, "http://h:1/api/info-graph?full=1");
  EXPECT_EQ(transport.sent[0].headers, (Headers{{"authorization", "Bearer t"}}));
  EXPECT_EQ(transport.sent[0].body, "");
  EXPECT_EQ(transport.sent[1].headers, Headers{});
  EXPECT_EQ(transport.sent[2].headers, (Headers{{"content-type", "application/json"}}));
}

TEST(RemoteGraphApiTest, AcceptsObjectOrNullAnswers) {
  FakeTransport transport;
  RemoteGraphApi api("http://h", "", transport);
  transport.answer = {200, R"({"ok": true, "graph_files": []})"};
  common::Result<Json> object = api.get("/a");
  ASSERT_TRUE(object.ok());
  EXPECT_EQ(object->dump(), R"({"ok":true,"graph_files":[]})");
  transport.answer = {201, " null "};
  common::Result<Json> null = api.get("/a");
  ASSERT_TRUE(null.ok());
  EXPECT_TRUE(null->is_null());
}

TEST(RemoteGraphApiTest, OtherAnswersAreErrors) {
  struct Case {
    int status;
    const char* body;
    const char* error;
  };
  const std::vector<Case> cases = {
      {200, "[1]", "remote graph API (GET http://h/a) answered with a list, not an object"},
      {200, "\"x\"", "remote graph API (GET http://h/a) answered with a string, not an object"},
      {200, "3", "remote graph API (GET http://h/a) answered with a number, not an object"},
      {200, "{", "remote graph API (GET http://h/a) answered with a body that is not UTF-8 JSON"},
      {200, "\"\xFF\"", "remote graph API (GET http://h/a) answered with a body that is not UTF-8 JSON"},
      {200, "\xEF\xBB\xBF{}", "remote graph API (GET http://h/a) answered with a body that is not UTF-8 JSON"},
      {500, "{}", "remote graph API (GET http://h/a) answered with status 500"},
      {404, "null", "remote graph API (GET http://h/a) answered with status 404"},
  };
  for (const Case& c : cases) {
    FakeTransport transport;
    transport.answer = {c.status, c.body};
    RemoteGraphApi api("http://h", "", transport);
    common::Result<Json> result = api.get("/a");
    ASSERT_FALSE(result.ok()) << c.body;
    EXPECT_EQ(result.error(), c.error);
  }
}

TEST(RemoteGraphApiTest, TransportFailureIsAnError) {
  FakeTransport transport;
  transport.fail = true;
  RemoteGraphApi api("http://h", "", transport);
  common::Result<Json> result = api.post("/api/chat-fix", Json::object());
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error(), "remote graph API (POST http://h/api/chat-fix): connection refused");
}

}  // namespace
}  // namespace lumenfold::lodestar
