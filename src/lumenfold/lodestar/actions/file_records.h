#pragma once
// The "files" member of the action graph (action_graph.h): one record per
// file reference that a read or an edit touched. A read stores
// {"query_terms", "cached_content", "cached_chars", "cached_tokens_est",
// "last_action", "last_ts"}; an edit keeps the rest and sets "last_action",
// "last_ts" and "edited_count". Hand-edited documents are read leniently:
// a record that is not an object reads as {}.
//
// The one rule for "a record shares a query term" lives here: a term is
// shared when it stands whole, as a text, among the record's
// "query_terms".

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lumenfold/common/json.h"

namespace lumenfold::lodestar {

// The graph's "files" object; {} when it has none or it is no object.
const common::Json& file_records(const common::Json& graph);

// How many of `terms` (distinct, as query_terms gives them) stand among
// `record`'s "query_terms"; 0 for a record that is not an object or has no
// such list.
int64_t shared_term_count(const common::Json& record, std::span<const std::string> terms);

// One file record with the number of query terms it shares.
struct FileOverlap {
  const std::string& file;
  const common::Json& record;  // {} for a record that is not an object
  int64_t overlap;
};

// Every record of the graph's "files", in stored order, with its
// shared_term_count for `terms`. The references point into `graph`.
std::vector<FileOverlap> file_overlaps(const common::Json& graph, std::span<const std::string> terms);

// The sum of the records' "edited_count" (as integers).
int64_t total_edit_count(const common::Json& graph);

// Sets graph["files"][ref] to `record`, replacing any earlier one (which
// keeps its place); creates or repairs "files". REQUIRES: graph is an
// object.
void put_file_record(common::Json& graph, std::string_view ref, common::Json record);

// Marks the record of `ref` edited: "last_action" "edited", "last_ts"
// `last_ts` and "edited_count" one more than it was (a record that is not
// an object starts over as {}). REQUIRES: graph["files"] is an object.
void mark_file_edited(common::Json& graph, const std::string& ref, const std::string& last_ts);

}  // namespace lumenfold::lodestar
