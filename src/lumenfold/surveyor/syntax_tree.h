#pragma once
// A file parsed by a tree-sitter grammar, and the few node helpers the
// scanner needs. Internal to the scanner.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <tree_sitter/api.h>

namespace lumenfold::surveyor {

class SyntaxTree {
 public:
  // The tree of `text` under `grammar`. nullopt when the grammar cannot be
  // loaded or the parse ran out of time. A text with syntax errors still
  // parses: the broken parts become ERROR nodes and the rest is intact.
  static std::optional<SyntaxTree> parse(std::string_view text, const TSLanguage* grammar);

  // Valid as long as this tree is.
  TSNode root() const { return ts_tree_root_node(tree_.get()); }

 private:
  struct TreeDeleter {
    void operator()(TSTree* tree) const { ts_tree_delete(tree); }
  };
  explicit SyntaxTree(TSTree* tree) : tree_(tree) {}
  std::unique_ptr<TSTree, TreeDeleter> tree_;
};

// The bytes of `node` in `source`, the text the tree was parsed from.
std::string_view node_text(TSNode node, std::string_view source);

// The child in `field`, or a null node (ts_node_is_null).
TSNode field_child(TSNode node, std::string_view field);

// 0-based first and last line of `node`. A node that ends at the start of
// a line (one that takes its line break along) ends on the line before.
int64_t first_line(TSNode node);
int64_t last_line(TSNode node);

}  // namespace lumenfold::surveyor
