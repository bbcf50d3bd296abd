#include "lumenfold/tsl/score_bands.h"

#include <algorithm>
#include <cmath>

namespace lumenfold::tsl {
namespace {

// A lead of this much over the second file (about one clear mention of
// the file that the second lacks) makes the top file "almost sure".
constexpr double kSureLead = 1.0;
// Each further half lead adds one point above 10, up to 20.
constexpr double kLeadPerPoint = 0.5;
constexpr int kSure = 10;
constexpr int kMaxScore = 20;
// Below this the best file only shares words with the query: no name,
// path or definition backs it.
constexpr double kWeakTopScore = 1.2;
constexpr int kPlausible = 4;
constexpr int kMaxPlausible = 9;

int top_confidence(double top, double second) {
  double lead = top - second;
  if (lead >= kSureLead) {
    return std::min(kMaxScore, kSure + static_cast<int>(std::floor((lead - kSureLead) / kLeadPerPoint)));
  }
  if (top < kWeakTopScore) {
    return std::clamp(static_cast<int>(std::floor(kPlausible * top / kWeakTopScore)), 0, kPlausible - 1);
  }
  int span = kMaxPlausible - kPlausible + 1;
  return std::min(kMaxPlausible, kPlausible + static_cast<int>(std::floor(span * lead / kSureLead)));
}

}  // namespace

std::vector<int> confidence_scores(const std::vector<double>& scores) {
  std::vector<int> out;
  if (scores.empty()) return out;
  double top = scores.front();
  double second = scores.size() > 1 ? scores[1] : 0.0;
  int first = top_confidence(top, second);
  out.push_back(first);
  double cap = std::min(first, kMaxPlausible);
  for (size_t i = 1; i < scores.size(); ++i) {
    double share = top > 0 ? std::max(0.0, scores[i]) / top : 0.0;
    int value = static_cast<int>(std::floor(cap * share));
    out.push_back(std::min(value, out.back()));
  }
  return out;
}

}  // namespace lumenfold::tsl
