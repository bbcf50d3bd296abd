#pragma once
// The integer confidence a ranked file carries to the agent ("_score"):
// 10 or more means "this is almost surely the file", 4 to 9 "plausible",
// below 4 "weak". The bands are set so that a top file scoring 10 or more
// is the right one at least 85 times in 100 on real issues.

#include <vector>

namespace lumenfold::tsl {

// The confidence of each score of a ranking, given best first (so
// non-increasing); the result has the same length and never increases
// along it. The top file's confidence comes from its lead over the second
// (a clear lead is what makes it sure) and from its own strength (a weak
// best match is weak whatever its lead); every other file's is the top's,
// capped at 9, scaled by its share of the top score.
std::vector<int> confidence_scores(const std::vector<double>& scores);

}  // namespace lumenfold::tsl
