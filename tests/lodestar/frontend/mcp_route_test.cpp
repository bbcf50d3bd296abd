#include "lumenfold/lodestar/frontend/mcp_route.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "lumenfold/common/unique_fd.h"
#include "lumenfold/lodestar/frontend/serial_routes.h"

namespace lumenfold::lodestar {
namespace {

using common::Json;

constexpr char kPing[] = R"({"jsonrpc":"2.0","id":1,"method":"ping"})";
constexpr char kPong[] = R"({"jsonrpc":"2.0","id":1,"result":{}})";
constexpr char kForbidden[] =
    R"({"jsonrpc":"2.0","id":null,"error":{"code":-32000,"message":"Forbidden: Origin is not a loopback address"}})";

McpServer make_server() {
  ToolRegistry tools;
  tools.add({.name = "echo",
             .description = "Echoes its text.",
             .params = {required_param("text", ParamType::kString)},
             .handler = [](const Json& args) {
               Json out = Json::object();
               out["text"] = args["text"];
               return out;
             }});
  return McpServer({.name = "tessel-mcp", .version = "0.1.0"}, std::move(tools));
}

enum class Sending { kKeepOpen, kClose };

// Sends `bytes` on a fresh connection and returns everything the server
// answers until it closes. kClose shuts the sending side right away.
std::string raw_exchange(int port, const std::string& bytes, Sending sending) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  EXPECT_EQ(send(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  if (sending == Sending::kClose) shutdown(fd, SHUT_WR);
  std::string answer;
  char buffer[4096];
  ssize_t n;
  while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, static_cast<size_t>(n));
  close(fd);
  return answer;
}

// Runs `server` on a loopback port until destroyed.
class Serving {
 public:
  explicit Serving(httplib::Server& server) : server_(server), port_(server.bind_to_any_port("127.0.0.1")) {
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~Serving() {
    server_.stop();
    thread_.join();
  }
  int port() const { return port_; }

 private:
  httplib::Server& server_;
  int port_;
  std::thread thread_;
};

void answer_pong(const httplib::Request&, httplib::Response& response) { response.set_content("pong", "text/plain"); }

constexpr char kTruncatedPost[] =
    "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nConnection: close\r\n"
    "Content-Length: 100\r\n\r\n{\"jsonrpc\":";

class McpRouteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    serve_mcp(routes_, mcp_);
    // Reports the client's port, so a test can see whether two requests
    // shared one connection.
    routes_.get("/whoami", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content(std::to_string(request.remote_port), "text/plain");
    });
    routes_.refuse_other_methods("/whoami", {"GET"});
    // A stalled request body fails after one second instead of five.
    server_.set_read_timeout(1);
    port_ = server_.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port_, 0);
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }

  void TearDown() override {
    server_.stop();
    thread_.join();
  }

  httplib::Client client() {
    httplib::Client c("127.0.0.1", port_);
    c.set_keep_alive(true);
    c.set_tcp_nodelay(true);
    return c;
  }

  httplib::Server server_;
  SerialRoutes routes_{server_};
  McpServer mcp_ = make_server();
  int port_ = 0;
  std::thread thread_;
};

TEST_F(McpRouteTest, ServesASessionOverOneKeepAliveConnection) {
  httplib::Client c = client();
  auto first = c.Get("/whoami");
  ASSERT_TRUE(first);

  auto init = c.Post("/mcp",
                     R"({"method":"initialize","params":{"protocolVersion":"2025-11-25","capabilities":{},)"
                     R"("clientInfo":{"name":"t","version":"0"}},"jsonrpc":"2.0","id":0})",
                     "application/json");
  ASSERT_TRUE(init);
  EXPECT_EQ(init->status, 200);
  EXPECT_EQ(init->get_header_value("Content-Type"), "application/json");
  EXPECT_EQ(init->body, R"({"jsonrpc":"2.0","id":0,"result":{"protocolVersion":"2025-11-25","capabilities":{"tools":)"
                        R"({"listChanged":false}},"serverInfo":{"name":"tessel-mcp","version":"0.1.0"}}})");

  httplib::Headers version = {{"MCP-Protocol-Version", "2025-11-25"}};
  auto initialized =
      c.Post("/mcp", version, R"({"method":"notifications/initialized","jsonrpc":"2.0"})", "application/json");
  ASSERT_TRUE(initialized);
  EXPECT_EQ(initialized->status, 202);
  EXPECT_EQ(initialized->body, "");
  EXPECT_EQ(initialized->get_header_value("Content-Length"), "0");

  auto called = c.Post("/mcp", version,
                       R"({"method":"tools/call","params":{"name":"echo","arguments":{"text":"hé"}},)"
                       R"("jsonrpc":"2.0","id":1})",
                       "application/json");
  ASSERT_TRUE(called);
  EXPECT_EQ(called->status, 200);
  EXPECT_EQ(called->body,
            R"({"jsonrpc":"2.0","id":1,"result":{"content":[{"type":"text","text":"{\n  \"text\": \"hé\"\n}"}],)"
            R"("isError":false}})");

  auto last = c.Get("/whoami");
  ASSERT_TRUE(last);
  EXPECT_EQ(last->body, first->body);
}

TEST_F(McpRouteTest, RefusesGetAndDeleteWithAllowPost) {
  httplib::Client c = client();
  httplib::Result results[] = {c.Get("/mcp", {{"Accept", "text/event-stream"}}), c.Delete("/mcp")};
  for (const httplib::Result& result : results) {
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 405);
    EXPECT_EQ(result->get_header_value("Allow"), "POST");
    EXPECT_EQ(result->body, R"({"jsonrpc":"2.0","id":null,"error":{"code":-32000,"message":"Method not allowed."}})");
  }
}

TEST_F(McpRouteTest, RefusesForeignOriginsOnEveryRoute) {
  httplib::Client c = client();
  httplib::Headers foreign = {{"Origin", "http://evil.example"}};
  auto mcp = c.Post("/mcp", foreign, kPing, "application/json");
  ASSERT_TRUE(mcp);
  EXPECT_EQ(mcp->status, 403);
  EXPECT_EQ(mcp->body, kForbidden);

  auto route = c.Get("/whoami", foreign);
  ASSERT_TRUE(route);
  EXPECT_EQ(route->status, 403);
  EXPECT_EQ(route->body, kForbidden);

  auto local = c.Post("/mcp", {{"Origin", "http://127.0.0.1:3000"}}, kPing, "application/json");
  ASSERT_TRUE(local);
  EXPECT_EQ(local->status, 200);
  EXPECT_EQ(local->body, kPong);
}

TEST_F(McpRouteTest, AnswersOtherMethodsOfAPlainRouteWith405) {
  httplib::Client c = client();
  auto result = c.Post("/whoami", "{}", "application/json");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 405);
  EXPECT_EQ(result->get_header_value("Allow"), "GET");
  EXPECT_EQ(result->body, "Method Not Allowed");
}

TEST_F(McpRouteTest, RefusesAHugeBodyAndKeepsServing) {
  httplib::Client c = client();
  std::string huge = std::string(kPing) + std::string(kMaxMcpBodyBytes, ' ');
  auto refused = c.Post("/mcp", huge, "application/json");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 413);
  EXPECT_EQ(refused->body, R"({"jsonrpc":"2.0","id":null,"error":{"code":-32000,"message":"Payload Too Large"}})");

  auto next = c.Post("/mcp", kPing, "application/json");
  ASSERT_TRUE(next);
  EXPECT_EQ(next->status, 200);
  EXPECT_EQ(next->body, kPong);
}

// A client that stops sending mid-body gets 400 once the read times out.
TEST_F(McpRouteTest, AnswersAStalledBodyWith400) {
  std::string answer = raw_exchange(port_, kTruncatedPost, Sending::kKeepOpen);
  EXPECT_EQ(answer.substr(0, answer.find("\r\n")), "HTTP/1.1 400 Bad Request");
  EXPECT_EQ(answer.substr(answer.find("\r\n\r\n") + 4),
            R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,)"
            R"("message":"Parse error: the body ended before its announced length"}})");
}

// A client that hangs up mid-body cannot be answered; the server only has
// to stay up.
TEST_F(McpRouteTest, SurvivesAClientHangingUpMidBody) {
  EXPECT_EQ(raw_exchange(port_, kTruncatedPost, Sending::kClose), "");

  httplib::Client c = client();
  auto next = c.Post("/mcp", kPing, "application/json");
  ASSERT_TRUE(next);
  EXPECT_EQ(next->body, kPong);
}

TEST_F(McpRouteTest, AnswersMalformedJsonWith400) {
  httplib::Client c = client();
  auto result = c.Post("/mcp", "{nope", "application/json");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 400);
  EXPECT_EQ(result->body, R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"Parse error"}})");
}

// Nothing of a refused body is kept, and the connection stays usable.
TEST_F(McpRouteTest, RefusesBeforeTheBodyAndStaysInStep) {
  httplib::Client c = client();
  std::string big = std::string(kPing) + std::string(size_t{3} << 20, ' ');
  struct Case {
    httplib::Headers headers;
    int status;
  };
  const Case cases[] = {
      {{{"Host", "attacker.example:80"}}, 403},
      {{{"Origin", "http://evil.example"}}, 403},
  };
  for (const Case& refused : cases) {
    auto result = c.Post("/mcp", refused.headers, big, "application/json");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, refused.status);
    auto next = c.Post("/mcp", kPing, "application/json");
    ASSERT_TRUE(next);
    EXPECT_EQ(next->body, kPong);
  }
  auto unknown = c.Post("/nowhere", big, "application/json");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 404);
  auto other_method = c.Put("/whoami", big, "text/plain");
  ASSERT_TRUE(other_method);
  EXPECT_EQ(other_method->status, 405);
  auto next = c.Get("/whoami");
  ASSERT_TRUE(next);
  EXPECT_EQ(next->status, 200);
}

TEST_F(McpRouteTest, RefusesBodiesNobodyReads) {
  // cpp-httplib would keep a GET's body whole; a chunked body has no
  // announced length and is counted as it comes.
  std::string get_with_body =
      "GET /whoami HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello";
  std::string chunked =
      "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
      "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
  std::string chunk(size_t{1} << 20, ' ');
  for (int i = 0; i < 5; ++i) chunked += "100000\r\n" + chunk + "\r\n";
  chunked += "0\r\n\r\n";
  for (const std::string& request : {get_with_body, chunked}) {
    std::string answer = raw_exchange(port_, request, Sending::kKeepOpen);
    EXPECT_EQ(answer.substr(0, answer.find("\r\n")), "HTTP/1.1 413 Payload Too Large");
  }
}

// Each connection holds a thread while a client dawdles over its request;
// twenty such clients must not keep anyone else waiting for a thread.
TEST(SerialRoutesTest, SlowClientsDoNotStarveOthers) {
  httplib::Server server;
  SerialRoutes routes(server);
  routes.get("/ping", answer_pong);
  Serving serving(server);
  int port = serving.port();

  std::vector<common::UniqueFd> slow;
  for (int i = 0; i < 20; ++i) {
    common::UniqueFd fd(socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const char partial[] = "GET /ping HTTP/1.1\r\n";
    ASSERT_EQ(send(fd.get(), partial, sizeof partial - 1, 0), static_cast<ssize_t>(sizeof partial - 1));
    slow.push_back(std::move(fd));
  }
  httplib::Client c("127.0.0.1", port);
  // Well under the server's read time-out, which is what a queued request
  // would wait for.
  c.set_read_timeout(kSocketTimeoutSeconds / 2, 0);
  auto result = c.Get("/ping");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->body, "pong");
}

TEST(SerialRoutesTest, ATokenLetsOtherHostsIn) {
  httplib::Server server;
  SerialRoutes routes({&server}, RequestGate("s3cret"));
  routes.get("/ping", answer_pong);
  Serving serving(server);

  httplib::Client c("127.0.0.1", serving.port());
  httplib::Headers remote_name = {{"Host", "build-box:8080"}};
  auto refused = c.Get("/ping", remote_name);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 401);
  remote_name.emplace("Authorization", "Bearer s3cret");
  auto admitted = c.Get("/ping", remote_name);
  ASSERT_TRUE(admitted);
  EXPECT_EQ(admitted->body, "pong");
}

// Handlers registered through SerialRoutes never overlap, whatever the
// number of clients.
TEST(SerialRoutesTest, RunsOneHandlerAtATime) {
  httplib::Server server;
  SerialRoutes routes(server);
  std::atomic<int> active = 0;
  std::atomic<int> most_active = 0;
  routes.get("/work", [&](const httplib::Request&, httplib::Response& response) {
    int now = ++active;
    most_active = std::max(most_active.load(), now);
    for (int i = 0; i < 1000; ++i) std::this_thread::yield();
    --active;
    response.set_content("done", "text/plain");
  });
  Serving serving(server);
  int port = serving.port();

  std::vector<std::thread> clients;
  std::atomic<int> done = 0;
  for (int i = 0; i < 8; ++i) {
    clients.emplace_back([&] {
      httplib::Client c("127.0.0.1", port);
      // The handlers run one at a time, so on a loaded machine a client
      // can wait long for its turn: only overlap may fail this test.
      c.set_connection_timeout(60, 0);
      c.set_read_timeout(120, 0);
      for (int j = 0; j < 5; ++j) {
        auto result = c.Get("/work");
        if (result && result->body == "done") ++done;
      }
    });
  }
  for (std::thread& t : clients) t.join();

  EXPECT_EQ(done, 40);
  EXPECT_EQ(most_active, 1);
}

}  // namespace
}  // namespace lumenfold::lodestar
