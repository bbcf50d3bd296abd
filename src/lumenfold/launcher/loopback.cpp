#include "lumenfold/launcher/loopback.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/json.h"

namespace lumenfold::launcher {

namespace {

constexpr char kLoopbackAddress[] = "127.0.0.1";
// A healthy server answers within milliseconds; one that takes longer is
// busy or stuck, and the launcher must not hang the user on it.
constexpr std::chrono::milliseconds kHealthTimeout{1000};

httplib::Client loopback_client(int port, std::chrono::milliseconds timeout) {
  httplib::Client client(kLoopbackAddress, port);
  client.set_connection_timeout(timeout);
  client.set_read_timeout(timeout);
  client.set_write_timeout(timeout);
  return client;
}

std::optional<HttpAnswer> answer_of(const httplib::Result& result) {
  if (!result) return std::nullopt;
  return HttpAnswer{result->status, result->body};
}

}  // namespace

std::optional<HttpAnswer> http_get(int port, const std::string& path, std::chrono::milliseconds timeout) {
  httplib::Client client = loopback_client(port, timeout);
  return answer_of(client.Get(path));
}

std::optional<HttpAnswer> http_post_json(int port, const std::string& path, const std::string& json,
                                         std::chrono::milliseconds timeout) {
  httplib::Client client = loopback_client(port, timeout);
  return answer_of(client.Post(path, json, "application/json"));
}

std::optional<ServerHealth> query_health(int port) {
  std::optional<HttpAnswer> answer = http_get(port, "/health", kHealthTimeout);
  if (!answer || answer->status != 200) return std::nullopt;
  std::optional<common::Json> doc = common::parse_json(answer->body);
  if (!doc || !doc->is_object() || !common::is_truthy(common::member_or_null(*doc, "ok"))) return std::nullopt;
  std::optional<int64_t> pid = common::as_integer(common::member_or_null(*doc, "pid"));
  if (!pid || *pid <= 0) return std::nullopt;
  return ServerHealth{common::get_text(*doc, "root"), common::get_text(*doc, "version"), *pid};
}

}  // namespace lumenfold::launcher
