#include "lumenfold/tsl/symbol_match.h"

#include <gtest/gtest.h>

#include "lumenfold/tsl/term_index.h"

namespace lumenfold::tsl {
namespace {

class SymbolMatchTest : public ::testing::Test {
 protected:
  SymbolMatchTest() : index_(default_bm25_params()) {
    // "media" is rarer than "widget", so it weighs more.
    const std::vector<std::vector<std::string>> docs = {{"widget", "media"}, {"widget"}, {"widget"}, {"other"}};
    for (const auto& terms : docs) {
      index_.begin_doc();
      for (const std::string& t : terms) index_.add(kTextField, t);
      index_.end_doc();
    }
    index_.finish();
  }
  TermIndex index_;
  const std::vector<std::string> symbols_ = {"w.py::Widget", "w.py::MediaWidget", "w.py::render_media", "w.py::Other",
                                             "w.py::Media"};
};

TEST_F(SymbolMatchTest, ExactNamesFirstThenTheRarestSharedTerms) {
  QueryWords q;
  q.terms = {"widget", "media"};
  q.names = {"Widget"};
  EXPECT_EQ(best_symbols(symbols_, q, index_, 3),
            (std::vector<std::string>{"w.py::Widget", "w.py::MediaWidget", "w.py::render_media"}));
}

TEST_F(SymbolMatchTest, LeavesOutSymbolsThatMatchNothing) {
  QueryWords q;
  q.terms = {"media"};
  EXPECT_EQ(best_symbols(symbols_, q, index_, 5),
            (std::vector<std::string>{"w.py::MediaWidget", "w.py::render_media", "w.py::Media"}));
  EXPECT_TRUE(best_symbols(symbols_, QueryWords{}, index_, 3).empty());
  EXPECT_TRUE(best_symbols({}, q, index_, 3).empty());
}

}  // namespace
}  // namespace lumenfold::tsl
