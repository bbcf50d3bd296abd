#include "lumenfold/tsl/mention_scores.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

namespace lumenfold::tsl {
namespace {

double kind_strength(DefKind kind, const MentionWeights& w) {
  switch (kind) {
    case DefKind::kClass:
      return w.class_def;
    case DefKind::kFunction:
      return w.function_def;
    case DefKind::kAssignment:
      return w.assignment_def;
  }
  return w.assignment_def;
}

// A dotted name needs this many components naming a module to count: one
// alone ("forms", "utils") fits too many modules.
constexpr size_t kMinModuleComponents = 2;
// In a small project a name defined in a few files still tells them apart.
constexpr double kMinDefinerCap = 4.0;

// 1 for a name only one file defines, falling towards 0 as more do.
double specificity(size_t definers, size_t doc_count) {
  double n = static_cast<double>(std::max<size_t>(doc_count, 2));
  return std::log(1.0 + n / static_cast<double>(definers)) / std::log(1.0 + n);
}

std::vector<std::string_view> split_dots(std::string_view text) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('.', start);
    if (end == std::string_view::npos) end = text.size();
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool has_directory(std::string_view path) {
  return path.find('/') != std::string_view::npos || path.find('\\') != std::string_view::npos;
}

// Whether directory `dir` is `package` or lies below it.
bool is_inside(std::string_view dir, std::string_view package) {
  if (package.empty()) return true;
  return dir == package || (dir.starts_with(package) && dir.size() > package.size() && dir[package.size()] == '/');
}

bool defines(const DefIndex& defs, std::string_view name, uint32_t doc) {
  for (const DefHit& h : defs.definers(name)) {
    if (h.doc == doc) return true;
  }
  return false;
}

class SignalBuilder {
 public:
  SignalBuilder(const PathIndex& paths, const DefIndex& defs, const std::vector<std::vector<uint32_t>>& imports,
                size_t doc_count, const MentionWeights& weights)
      : paths_(paths), defs_(defs), imports_(imports), doc_count_(doc_count), w_(weights) {
    s_.path.assign(doc_count, 0);
    s_.module.assign(doc_count, 0);
    s_.defs.assign(doc_count, 0);
    s_.named.assign(doc_count, false);
    path_hits_.assign(doc_count, 0);
    in_title_.assign(doc_count, false);
  }

  void add_path(const PathMention& p) {
    PathMatch m = paths_.match_path(p.path);
    // "theirpkg/logging.py" names the user's file, not our logging.py: a
    // path with directories must match at least one of them.
    if (m.docs.empty() || (m.components == 1 && has_directory(p.path))) return;
    double base = (m.components >= 2 ? w_.full_path : w_.bare_name) / static_cast<double>(m.docs.size());
    for (uint32_t doc : m.docs) {
      double strength = base;
      if (!p.function.empty() && defines(defs_, p.function, doc)) strength += w_.frame_function_bonus * base;
      if (p.in_title) in_title_[doc] = true;
      raise(s_.path, doc, strength);
      ++path_hits_[doc];
      s_.named[doc] = true;
    }
  }

  void add_dotted(std::string_view dotted) {
    std::vector<std::string_view> parts = split_dots(dotted);
    add_members(parts);
    PathMatch m = paths_.match_module(dotted);
    if (m.docs.empty() || m.components < kMinModuleComponents) return;
    double share = w_.module / static_cast<double>(m.docs.size());
    bool names_module = m.components == parts.size();
    for (uint32_t doc : m.docs) {
      std::string_view dir = paths_.directory_of(doc);
      bool package = is_package_init(doc);
      if (names_module || !package) {
        raise(s_.module, doc, share);
        s_.named[doc] = true;
        if (package) add_package_members(doc, dir, share);
        if (!names_module && defines(defs_, parts[m.components], doc))
          raise(s_.module, doc, share + w_.attribute_bonus);
        continue;
      }
      raise(s_.module, doc, share * w_.package_init_share);
      add_package_attribute(dir, parts[m.components], share);
    }
  }

  void add_name(const NameMention& n) {
    const std::vector<DefHit>& hits = defs_.definers(n.name);
    double most_definers = std::max(kMinDefinerCap, w_.max_definer_share * static_cast<double>(doc_count_));
    if (hits.empty() || static_cast<double>(hits.size()) > most_definers) return;
    double specific = specificity(hits.size(), doc_count_);
    double repeats = 1.0 + 0.3 * std::log(static_cast<double>(std::max(n.count, 1)));
    for (const DefHit& h : hits) s_.defs[h.doc] += n.code_weight * specific * kind_strength(h.kind, w_) * repeats;
  }

  // Marks the file of the last stack-trace frame that lies in the project.
  void add_innermost_frame(const std::vector<PathMention>& paths) {
    for (auto it = paths.rbegin(); it != paths.rend(); ++it) {
      if (it->function.empty()) continue;
      PathMatch m = paths_.match_path(it->path);
      if (m.docs.size() != 1 || m.components < 2) continue;
      s_.path[m.docs.front()] += w_.innermost_frame_bonus;
      return;
    }
  }

  MentionSignals take() {
    for (size_t doc = 0; doc < doc_count_; ++doc) {
      if (path_hits_[doc] > 1) s_.path[doc] += std::min(w_.max_repeat_bonus, w_.repeat_bonus * (path_hits_[doc] - 1));
      if (in_title_[doc]) s_.path[doc] += w_.title_bonus;
    }
    return std::move(s_);
  }

 private:
  static void raise(std::vector<double>& v, uint32_t doc, double value) { v[doc] = std::max(v[doc], value); }

  bool is_package_init(uint32_t doc) const {
    std::string_view dir = paths_.directory_of(doc);
    return paths_.find(dir.empty() ? "__init__.py" : std::string(dir) + "/__init__.py") == doc;
  }

  // "pkg.Name" where pkg is a package: the files of the package that
  // define Name.
  void add_package_attribute(std::string_view dir, std::string_view attr, double share) {
    std::vector<uint32_t> inside;
    for (const DefHit& h : defs_.definers(attr)) {
      if (is_inside(paths_.directory_of(h.doc), dir)) inside.push_back(h.doc);
    }
    for (uint32_t doc : inside) raise(s_.module, doc, share / static_cast<double>(inside.size()));
  }

  void add_package_members(uint32_t init, std::string_view dir, double share) {
    std::vector<uint32_t> members;
    for (uint32_t doc : imports_[init]) {
      if (is_inside(paths_.directory_of(doc), dir)) members.push_back(doc);
    }
    for (uint32_t doc : members)
      raise(s_.module, doc, share * w_.package_member_share / static_cast<double>(members.size()));
  }

  // Every "Owner.member" pair of the dotted name.
  void add_members(const std::vector<std::string_view>& parts) {
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
      const std::vector<DefHit>& hits = defs_.member_definers(parts[i], parts[i + 1]);
      if (hits.empty()) continue;
      double strength = w_.member * specificity(hits.size(), doc_count_);
      for (const DefHit& h : hits) s_.defs[h.doc] += strength;
    }
  }

  const PathIndex& paths_;
  const DefIndex& defs_;
  const std::vector<std::vector<uint32_t>>& imports_;
  size_t doc_count_;
  const MentionWeights& w_;
  MentionSignals s_;
  std::vector<int> path_hits_;
  std::vector<bool> in_title_;
};

}  // namespace

MentionSignals score_mentions(const QueryMentions& mentions, const PathIndex& paths, const DefIndex& defs,
                              const std::vector<std::vector<uint32_t>>& imports, size_t doc_count,
                              const MentionWeights& weights) {
  SignalBuilder b(paths, defs, imports, doc_count, weights);
  for (const PathMention& p : mentions.paths) b.add_path(p);
  b.add_innermost_frame(mentions.paths);
  for (const std::string& d : mentions.dotted) b.add_dotted(d);
  for (const NameMention& n : mentions.names) b.add_name(n);
  return b.take();
}

}  // namespace lumenfold::tsl
