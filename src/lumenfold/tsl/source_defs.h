#pragma once
// The names a source file defines: classes, functions and methods, and
// module-level or class-level assignments. Found line by line from the
// declaration keywords of the common languages, without parsing: good
// enough to tell which file defines a name that a query mentions.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumenfold::tsl {

enum class DefKind { kClass, kFunction, kAssignment };

struct SourceDef {
  std::string name;
  // The enclosing class for a method or class attribute, else empty.
  std::string owner;
  DefKind kind = DefKind::kFunction;
  uint32_t line = 0;  // 0-based
};

// The definitions of `text`, in line order. `ext` is the file's lower-case
// extension with its dot. A declaration is a line whose first words, after
// modifiers such as export, public, static or async, are a declaration
// keyword (def, class, function, func, interface, struct, enum, trait, type)
// and a name; a Go method's receiver is skipped. Assignments count in
// Python files (NAME = ... at module level or directly in a class body) and
// in script files (const/let/var NAME = ... at module level). A definition
// indented deeper than the nearest class above it belongs to that class.
std::vector<SourceDef> extract_source_defs(std::string_view text, std::string_view ext);

}  // namespace lumenfold::tsl
