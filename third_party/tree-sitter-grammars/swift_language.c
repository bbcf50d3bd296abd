// tree-sitter-swift's external scanner allocates its state with
// calloc(0, size) and then writes the state's four bytes into it: a heap
// overflow (AddressSanitizer stops on the first Swift file). The language
// the scanner uses is the grammar's own with a create that allocates what
// it writes; destroy (free) and the rest stay the grammar's.

#include <stdint.h>
#include <stdlib.h>
#include <threads.h>

#include "tree_sitter/parser.h"

const TSLanguage *tree_sitter_swift(void);

static TSLanguage swift_language;
static once_flag swift_language_once = ONCE_FLAG_INIT;

// The scanner's state is one uint32_t, the count of #s around the raw
// string being read.
static void *create_scanner_state(void) { return calloc(1, sizeof(uint32_t)); }

static void build_swift_language(void) {
  swift_language = *tree_sitter_swift();
  swift_language.external_scanner.create = create_scanner_state;
}

const TSLanguage *tree_sitter_swift_with_sized_state(void) {
  call_once(&swift_language_once, build_swift_language);
  return &swift_language;
}
