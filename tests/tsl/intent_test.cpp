#include "lumenfold/tsl/intent.h"

#include <gtest/gtest.h>

namespace lumenfold::tsl {
namespace {

TEST(ClassifyIntentTest, LabelsRequests) {
  const std::pair<const char*, const char*> cases[] = {
      {"How does the retrieval cache decide an entry is stale?", "explore"},
      {"Explain the scan driver", "explore"},
      {"where is the port file written", "explore"},
      {"Walk me through the read gate", "explore"},
      {"Can you give me an overview of the memory store?", "explore"},
      {"what does graph_continue return for a cold start", "explore"},
      {"I'd like a high-level picture of the architecture", "explore"},
      {"Tell me how the ranking works", "explore"},
      {"How does error handling work in the parser?", "explore"},
      {"TypeError: cannot pickle 'dict_keys' object when using Q", "debug"},
      {"Login page crashes after upgrade", "debug"},
      {"The export doesn't work with unicode names", "debug"},
      {"Add a --verbose flag to the scanner", "edit"},
      {"please rename Ledger to Journal", "edit"},
      {"Fix the typo in the README", "edit"},
      {"Support YAML config files", "edit"},
      {"ledger totals", "general"},
      {"", "general"},
  };
  for (const auto& [query, label] : cases) EXPECT_EQ(classify_intent(query), label) << query;
}

}  // namespace
}  // namespace lumenfold::tsl
