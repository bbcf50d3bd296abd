#include "lumenfold/lodestar/graph/httplib_transport.h"

#include <mutex>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

namespace lumenfold::lodestar {
namespace {

// A real server on a free loopback port, answering every request with what
// the test set and remembering what it received.
class LoopbackServer {
 public:
  LoopbackServer() {
    auto handler = [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mutex_);
      method_ = req.method;
      target_ = req.target;
      body_ = req.body;
      content_type_ = req.get_header_value("Content-Type");
      authorization_ = req.get_header_value("Authorization");
      has_authorization_ = req.has_header("Authorization");
      res.status = status_;
      res.set_content(answer_, "application/json");
    };
    server_.Get(".*", handler);
    server_.Post(".*", handler);
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~LoopbackServer() {
    server_.stop();
    thread_.join();
  }

  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  int status_ = 200;
  std::string answer_ = "{}";
  std::string method_, target_, body_, content_type_, authorization_;
  bool has_authorization_ = false;
};

TEST(HttplibTransportTest, PostsTheTargetExactlyAsWritten) {
  LoopbackServer server;
  server.answer_ = R"({"ok": true})";
  HttplibTransport transport;
  HttpRequest request;
  request.method = HttpRequest::Method::kPost;
  request.url = server.base() + "//api/chat-fix";
  request.headers = {{"content-type", "application/json"}, {"authorization", "Bearer tok"}};
  request.body = R"({"query": "x"})";
  common::Result<HttpResponse> response = transport.send(request);
  ASSERT_TRUE(response.ok()) << response.error();
  EXPECT_EQ(response->status, 200);
  EXPECT_EQ(response->body, R"({"ok": true})");
  EXPECT_EQ(server.method_, "POST");
  EXPECT_EQ(server.target_, "//api/chat-fix");
  EXPECT_EQ(server.body_, R"({"query": "x"})");
  EXPECT_EQ(server.content_type_, "application/json");
  EXPECT_EQ(server.authorization_, "Bearer tok");
}

TEST(HttplibTransportTest, GetsWithQueryAndNoExtraHeaders) {
  LoopbackServer server;
  server.status_ = 503;
  server.answer_ = "busy";
  HttplibTransport transport;
  HttpRequest request;
  request.url = server.base() + "/api/info-graph?full=1";
  common::Result<HttpResponse> response = transport.send(request);
  ASSERT_TRUE(response.ok()) << response.error();
  EXPECT_EQ(response->status, 503);
  EXPECT_EQ(response->body, "busy");
  EXPECT_EQ(server.method_, "GET");
  EXPECT_EQ(server.target_, "/api/info-graph?full=1");
  EXPECT_FALSE(server.has_authorization_);
}

TEST(HttplibTransportTest, RefusedConnectionIsAnError) {
  int closed_port = 0;
  {
    LoopbackServer server;
    closed_port = server.port_;
  }
  HttplibTransport transport(std::chrono::seconds(5));
  HttpRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(closed_port) + "/api/info-graph?full=1";
  common::Result<HttpResponse> response = transport.send(request);
  ASSERT_FALSE(response.ok());
  EXPECT_EQ(response.error(), "request to " + request.url + " failed: Connection");
}

TEST(HttplibTransportTest, RefusesAddressesWithoutHttpScheme) {
  HttplibTransport transport;
  for (const char* url : {"127.0.0.1:8787/api", "ftp://h/x", "http:///x", ""}) {
    HttpRequest request;
    request.url = url;
    common::Result<HttpResponse> response = transport.send(request);
    ASSERT_FALSE(response.ok()) << url;
    EXPECT_EQ(response.error(), std::string("unsupported address ") + url);
  }
}

}  // namespace
}  // namespace lumenfold::lodestar
