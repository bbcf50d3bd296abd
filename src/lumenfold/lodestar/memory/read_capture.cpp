#include "lumenfold/lodestar/memory/read_capture.h"

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumenfold/common/dynamic.h"
#include "lumenfold/common/utf8.h"
#include "lumenfold/lodestar/actions/action_evidence.h"
#include "lumenfold/lodestar/memory/entry_fields.h"
#include "lumenfold/lodestar/memory/epoch_time.h"
#include "lumenfold/lodestar/memory/memory_entry.h"
#include "lumenfold/lodestar/memory/memory_kind.h"
#include "lumenfold/lodestar/memory/new_memory.h"
#include "lumenfold/lodestar/memory/upsert.h"

namespace lumenfold::lodestar {

using common::Json;

namespace {

// A file read this often within the read-context window is part of the
// current work, so what is read beside it is worth remembering.
constexpr int64_t kPatternMinReads = 2;
constexpr std::string_view kReadSource = "graph_read";

Json text_list(const std::vector<std::string>& texts) {
  Json out = Json::array();
  for (const std::string& t : texts) out.push_back(t);
  return out;
}

std::string joined(const Json& list, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i > 0) out += separator;
    out += common::made_text(list[i]);
  }
  return out;
}

Json read_memory(MemoryKind kind, std::string content, const std::string& ref, const MemoryAnchor& anchor,
                 const std::vector<std::string>& qterms, Json observed_queries, Json evidence, double now_epoch) {
  return new_memory_entry({kind, std::move(content), text_list(qterms), Json::array({ref}), std::move(observed_queries),
                           std::move(evidence)},
                          anchor, now_epoch);
}

Json list_member(const Json& object, std::string_view key) {
  const Json& v = common::member_or_null(object, key);
  return v.is_array() ? v : Json::array();
}

}  // namespace

void capture_read_memory(const MemoryScope& scope, std::span<const LoggedAction> actions, std::string_view file,
                         std::string_view file_base, std::string_view query, const std::vector<std::string>& qterms) {
  std::string ref(file.find("::") != std::string_view::npos ? file : file_base);
  MemoryAnchor anchor = memory_anchor_for_ref(ref, scope.symbols);
  if (anchor.path.empty()) anchor.path = std::string(file_base);

  // Both memories go to the store in one write.
  std::vector<Json> memories;
  std::string q(common::trim(query));
  if (!q.empty()) {
    Json evidence = {{"source", kReadSource},
                     {"anchor_mode", anchor.symbol_id.empty() ? "file" : "symbol"},
                     {"session_epoch", scope.session_start_epoch}};
    memories.push_back(read_memory(MemoryKind::kQueryAssociation, "Queried during: " + q, ref, anchor, qterms,
                                   Json::array({q}), std::move(evidence), scope.now_epoch));
  }

  int64_t now_seconds = whole_seconds(scope.now_epoch);
  Json context = recent_read_context(actions, ref, now_seconds);
  int64_t read_count = field_integer(context, "read_count");
  if (read_count >= kPatternMinReads) {
    Json co = list_member(context, "co_visited");
    std::string content =
        co.empty() ? std::string("Repeatedly visited during recent work") : "Frequently read with: " + joined(co, ", ");
    Json evidence = {{"source", kReadSource}, {"read_count", read_count}, {"co_visited", co}};
    memories.push_back(read_memory(MemoryKind::kInteractionPattern, std::move(content), ref, anchor, qterms,
                                   list_member(context, "queries"), std::move(evidence), scope.now_epoch));
  }
  upsert_context_memories(scope.store, memories, scope.symbols, scope.now_epoch);
}

}  // namespace lumenfold::lodestar
