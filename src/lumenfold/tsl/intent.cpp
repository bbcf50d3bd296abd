#include "lumenfold/tsl/intent.h"

#include "lumenfold/common/regex.h"

namespace lumenfold::tsl {
namespace {

// Openings of a request to understand code. "(?:can|could) you" and
// "please" may come first.
constexpr const char* kExploreOpening =
    R"(^\s*(?:(?:can|could|would)\s+you\s+|please\s+)?)"
    R"((?:how\s+(?:does|do|is|are|can|should|would)\b|what\s+(?:is|are|does|do|happens)\b|)"
    R"(where\s+(?:is|are|does|do)\b|which\s+(?:file|files|module|modules|class|function)\b|)"
    R"(explain\b|describe\b|summari[sz]e\b|walk\s+me\s+through\b|show\s+me\s+how\b|tell\s+me\s+about\b|)"
    R"(give\s+(?:me\s+)?(?:an?\s+)?(?:overview|tour|summary)\b|help\s+me\s+understand\b|i\s+want\s+to\s+understand\b))";

// Words of a failure report; exception names (TypeError, KeyError) count.
constexpr const char* kFailure =
    R"(\w*(?:error|exception)s?\b|\b(?:traceback|crash(?:es|ed|ing)?|bug|bugs|fails?|failed|failing|failure|)"
    R"(broken|regression|segfault|panic|doesn't\s+work|does\s+not\s+work|not\s+working|wrong|incorrect|)"
    R"(unexpected(?:ly)?|raises?)\b)";

// Openings of a request to change code.
constexpr const char* kEditOpening =
    R"(^\s*(?:(?:can|could|would)\s+you\s+|please\s+)?)"
    R"((?:add|implement|change|fix|refactor|rename|remove|delete|update|create|make|support|allow|replace|)"
    R"(move|extract|convert|migrate|introduce|write|use|set|drop|improve|optimi[sz]e|enable|disable)\b)";

// A request to survey, anywhere in the text.
constexpr const char* kExploreAnywhere =
    R"(\b(?:overview|architecture|walk\s+me\s+through|walkthrough|high[-\s]level|code\s*base\s+structure|)"
    R"(how\s+\w+(?:\s+\w+)?\s+works?)\b)";

}  // namespace

std::string classify_intent(std::string_view query) {
  static const common::Regex explore_opening(kExploreOpening, common::kRegexCaseless);
  static const common::Regex failure(kFailure, common::kRegexCaseless);
  static const common::Regex edit_opening(kEditOpening, common::kRegexCaseless);
  static const common::Regex explore_anywhere(kExploreAnywhere, common::kRegexCaseless);
  if (explore_opening.search(query)) return "explore";
  if (failure.search(query)) return "debug";
  if (edit_opening.search(query)) return "edit";
  if (explore_anywhere.search(query)) return "explore";
  return "general";
}

}  // namespace lumenfold::tsl
