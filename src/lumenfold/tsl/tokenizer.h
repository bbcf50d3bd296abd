#pragma once
// Identifier-aware search terms. Code names are written in many shapes
// (bulk_create, bulkCreate, BulkCreateMixin, django.db.models): a term list
// that carries both the whole name and its parts lets an exact name match
// count more than a match of its common pieces.

#include <string>
#include <string_view>
#include <vector>

namespace lumenfold::tsl {

// Splits `word` (one run of ASCII letters, digits and "_") into its parts:
// at "_", at a lower-case letter or digit followed by an upper-case one, and
// before the last capital of a capital run followed by a lower-case letter
// ("HTTPResponse" -> HTTP, Response). Parts keep their case; empty parts are
// dropped.
std::vector<std::string_view> split_identifier(std::string_view word);

// Lower-cases ASCII letters of `text`; other bytes are kept.
std::string ascii_lower(std::string_view text);

// Whether a lower-case term is too common in prose and code to tell files
// apart ("the", "self", "return"...).
bool is_stop_term(std::string_view term);

// Reduces a lower-case part to a crude stem so that plural and singular
// forms meet ("permissions" -> "permission", "queries" -> "query").
std::string stem_term(std::string_view term);

// The search terms of `text`, in order of appearance, repeats kept. Every
// identifier run yields its lower-cased, stemmed parts of two or more
// characters, and, when it has two or more parts, also the whole run
// lower-cased and stemmed (leading and trailing "_" removed) as one
// compound term. Stop terms and all-digit parts are left out. Bytes outside
// ASCII separate runs.
std::vector<std::string> tokenize(std::string_view text);

// Calls `emit(word)` for each identifier run of `text` (ASCII letters,
// digits and "_"), in order; the terms of a run are those of
// append_word_terms.
template <typename Emit>
void for_each_word(std::string_view text, Emit&& emit);

// Appends the terms of one identifier run (see tokenize) to `out`.
void append_word_terms(std::string_view word, std::vector<std::string>& out);

// Calls `emit(term)` for each term of `text`, as `tokenize` returns them,
// without building the list; `emit` must not keep the view.
template <typename Emit>
void for_each_term(std::string_view text, Emit&& emit);

inline bool is_word_byte(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

template <typename Emit>
void for_each_word(std::string_view text, Emit&& emit) {
  size_t i = 0;
  while (i < text.size()) {
    if (!is_word_byte(text[i])) {
      ++i;
      continue;
    }
    size_t start = i;
    while (i < text.size() && is_word_byte(text[i])) ++i;
    emit(text.substr(start, i - start));
  }
}

template <typename Emit>
void for_each_term(std::string_view text, Emit&& emit) {
  std::vector<std::string> terms;
  for_each_word(text, [&](std::string_view word) {
    terms.clear();
    append_word_terms(word, terms);
    for (const std::string& t : terms) emit(std::string_view(t));
  });
}

}  // namespace lumenfold::tsl
