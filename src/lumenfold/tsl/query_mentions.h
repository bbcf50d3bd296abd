#pragma once
// What a query names in code form: file paths (alone or in stack-trace
// frames), dotted module or attribute names, and identifiers, each with how
// surely it is meant as code.

#include <string>
#include <string_view>
#include <vector>

namespace lumenfold::tsl {

struct PathMention {
  std::string path;       // as written, e.g. "/site/x/django/forms/widgets.py"
  std::string function;   // the frame's function ("in func"), or empty
  bool in_title = false;  // written on the query's first line
};

struct NameMention {
  std::string name;
  // 1 when the name is written as code (a_b, camelCase, CamelCase with two
  // capitals, a call, an attribute, in backticks), 0.5 when it only stands
  // in a line of code, 0 otherwise.
  double code_weight = 0;
  int count = 0;  // occurrences in the query
};

struct QueryMentions {
  std::vector<PathMention> paths;   // in order of appearance, repeats kept
  std::vector<std::string> dotted;  // a.b.c names that are not file names, distinct
  std::vector<NameMention> names;   // distinct identifiers, in order of first appearance
};

// Finds the mentions of `query`. A path is a run of path characters ending
// in a source or text file extension ("x/y.py", "C:\x\y.py", "y.py:12");
// the function of a stack-trace frame is taken from a following
// ", line N, in NAME" or " in NAME". Lines inside ``` fences, indented
// lines, interpreter prompts and lines with code punctuation count as code.
QueryMentions find_mentions(std::string_view query);

}  // namespace lumenfold::tsl
