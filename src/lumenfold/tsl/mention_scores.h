#pragma once
// Evidence from what a query names, per file: a path that ends in the
// file's id, a dotted module name that is the file, and code names that
// the file defines. Each signal is on its own scale, 0 when absent, about 1
// for one clear piece of evidence.

#include <cstdint>
#include <vector>

#include "lumenfold/tsl/def_index.h"
#include "lumenfold/tsl/path_index.h"
#include "lumenfold/tsl/query_mentions.h"

namespace lumenfold::tsl {

struct MentionSignals {
  std::vector<double> path;    // named by a written path or stack-trace frame
  std::vector<double> module;  // named by a dotted module name, or defines what one names
  std::vector<double> defs;    // defines code names of the query
  std::vector<bool> named;     // a path or module names the file itself
};

// How strongly each kind of mention counts.
struct MentionWeights {
  // A path of two or more components rarely ends more than one file id; a
  // bare file name ("widgets.py") may name any of several.
  double full_path = 1.0;
  double bare_name = 0.5;
  // The first line of an issue is its summary: a file it names is the
  // subject.
  double title_bonus = 0.5;
  // Each further frame or mention of the same file adds a little.
  double repeat_bonus = 0.1;
  double max_repeat_bonus = 0.3;
  // A frame whose function the file defines confirms the path.
  double frame_function_bonus = 0.1;
  // The innermost frame inside the project is where the failure surfaced,
  // and most often where it is fixed.
  double innermost_frame_bonus = 0.4;
  // A dotted name that is a module, or whose attribute a package's file
  // defines.
  double module = 0.8;
  double package_init_share = 0.25;
  // A package named in full: the modules its __init__ imports share this
  // part of its signal (the code is in them, not in the __init__).
  double package_member_share = 0.6;
  double attribute_bonus = 0.25;
  // How much each kind of definition says about a file.
  double class_def = 1.0;
  double function_def = 0.85;
  double assignment_def = 0.6;
  // A name defined in more than this share of the files is generic
  // (__init__, save, get) and tells nothing.
  double max_definer_share = 0.05;
  // Owner.member written in the query and defined just so.
  double member = 1.2;
};

// The signals of `mentions` for each of the `doc_count` files.
// `imports[d]` are the files doc d imports: a package named in the query
// passes part of its signal to the modules its __init__ imports.
MentionSignals score_mentions(const QueryMentions& mentions, const PathIndex& paths, const DefIndex& defs,
                              const std::vector<std::vector<uint32_t>>& imports, size_t doc_count,
                              const MentionWeights& weights = {});

}  // namespace lumenfold::tsl
