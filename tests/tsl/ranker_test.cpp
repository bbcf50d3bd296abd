#include "lumenfold/tsl/ranker.h"

#include <gtest/gtest.h>

#include "tsl_project.h"

namespace lumenfold::tsl {
namespace {

std::vector<std::string> ids(const ProjectIndex& index, const std::vector<RankedFile>& ranked) {
  std::vector<std::string> out;
  for (const RankedFile& r : ranked) out.push_back(index.files()[r.doc].id);
  return out;
}

const std::vector<std::pair<std::string, std::string>> kShop = {
    {"shop/billing/invoice.py",
     "class Invoice:\n    def total(self):\n        return sum(line.amount for line in self.lines)\n"},
    {"shop/reports/summary.py",
     "# invoice report: lists every invoice, invoice totals and invoice dates\n"
     "def monthly(invoices):\n    return [i.total() for i in invoices]\n"},
    {"shop/fmt/render.py", "def render(value):\n    return format(value, '.2f')\n"},
    {"shop/fmt/currency.py", "def to_cents(amount):\n    return round(amount * 100)\n"},
    {"shop/billing/tests/test_invoice.py",
     "from shop.billing.invoice import Invoice\n"
     "def test_invoice_total_rounding():\n    invoice = Invoice()\n    assert invoice.total() == 0\n"
     "def test_invoice_total_empty():\n    assert Invoice().total() == 0\n"},
};

TEST(RankFilesTest, DefinitionsAndNamesOutweighRepeatedWords) {
  TslProject project(kShop);
  ProjectIndex index = project.index();
  std::vector<RankedFile> ranked = rank_files(index, "Invoice.total() is wrong when a line has no amount");
  ASSERT_GE(ranked.size(), 2u);
  EXPECT_EQ(ids(index, ranked)[0], "shop/billing/invoice.py");
  EXPECT_GT(ranked[0].defs, 0.0);
}

TEST(RankFilesTest, TheInnermostStackFrameComesFirst) {
  TslProject project(kShop);
  ProjectIndex index = project.index();
  std::vector<RankedFile> ranked = rank_files(index,
                                              "Report crashes for invoices\n"
                                              "Traceback (most recent call last):\n"
                                              "  File \"/srv/app/shop/reports/summary.py\", line 3, in monthly\n"
                                              "  File \"/srv/app/shop/fmt/currency.py\", line 2, in to_cents\n"
                                              "TypeError: unsupported operand\n");
  EXPECT_EQ(ids(index, ranked)[0], "shop/fmt/currency.py");
  EXPECT_GT(ranked[0].path, ranked[1].path);
}

TEST(RankFilesTest, AnExactPathWinsOverSharedWords) {
  TslProject project(kShop);
  ProjectIndex index = project.index();
  std::vector<RankedFile> ranked = rank_files(index, "Invoice totals print with two decimals, see shop/fmt/render.py");
  EXPECT_EQ(ids(index, ranked)[0], "shop/fmt/render.py");
}

TEST(RankFilesTest, TestFilesStayBehindUnlessTheQueryIsAboutTests) {
  TslProject project(kShop);
  ProjectIndex index = project.index();
  std::vector<std::string> plain = ids(index, rank_files(index, "invoice total rounding"));
  ASSERT_GE(plain.size(), 2u);
  EXPECT_EQ(plain[0], "shop/billing/invoice.py");
  EXPECT_NE(plain[1], "shop/billing/tests/test_invoice.py");

  std::vector<RankedFile> about = rank_files(index, "add a test for invoice total rounding");
  std::vector<RankedFile> neutral = rank_files(index, "invoice total rounding");
  auto score_of = [&](const std::vector<RankedFile>& r, const std::string& id) {
    for (const RankedFile& f : r) {
      if (index.files()[f.doc].id == id) return f.score;
    }
    return 0.0;
  };
  const std::string test_file = "shop/billing/tests/test_invoice.py";
  EXPECT_GT(score_of(about, test_file), score_of(neutral, test_file) * 2);
  std::vector<RankedFile> named = rank_files(index, "shop/billing/tests/test_invoice.py is flaky");
  EXPECT_EQ(ids(index, named)[0], test_file);
}

TEST(RankFilesTest, NothingMatchesNothing) {
  TslProject project(kShop);
  ProjectIndex index = project.index();
  EXPECT_TRUE(rank_files(index, "zebra quokka").empty());
  EXPECT_TRUE(rank_files(index, "").empty());
}

TEST(WeighQueryTermsTest, RepeatsCountLogarithmically) {
  std::vector<WeightedTerm> terms = weigh_query_terms("ledger ledger ledger balance");
  ASSERT_EQ(terms.size(), 2u);
  EXPECT_EQ(terms[0].term, "balance");
  EXPECT_DOUBLE_EQ(terms[0].weight, 1.0);
  EXPECT_EQ(terms[1].term, "ledger");
  EXPECT_DOUBLE_EQ(terms[1].weight, 1.0 + std::log(3.0));
}

}  // namespace
}  // namespace lumenfold::tsl
