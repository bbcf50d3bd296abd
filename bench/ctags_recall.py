#!/usr/bin/env python3
"""How many of ctags' definitions the scanner finds, per language.

Compares the symbol nodes of a scan's info_graph.json with the definitions
`ctags -R --output-format=json --fields=+nel` reports for the same tree, in
the files the scan read, for the kinds the scanner means to record
(functions, methods, types, traits and interfaces, namespaces and modules;
not variables, fields, constants or macros). A ctags definition is matched
when the same file has a symbol of ours whose name, after its last ".",
is ctags' name: our "Owner.member" against ctags' name with its scope. Since
we keep each name once per file, overloads and redefinitions all match the
one we keep.

Prints per language: recall overall and per kind, how often both put the
definition on the same start line, and a sample of misses grouped by a
rough guess at why we missed them. A summary table closes the output.

Usage: bench/ctags_recall.py CORPUS_DIR INFO_GRAPH_JSON [--ctags-json FILE] [--examples N]
(without --ctags-json, runs ctags on CORPUS_DIR itself).
"""

import argparse
import collections
import json
import os
import re
import subprocess
import sys

# Our language of a file, by its lower-cased extension (as the scanner
# decides it: .h is C++).
LANGUAGE_OF_EXTENSION = {
    ".c": "c",
    ".h": "c++", ".hh": "c++", ".hpp": "c++", ".hxx": "c++", ".cc": "c++", ".cpp": "c++", ".cxx": "c++",
    ".go": "go", ".rs": "rust", ".java": "java", ".rb": "ruby", ".php": "php",
}

# The ctags kinds that are definitions we mean to record, by ctags' own
# language name (ctags may read a .h as C or C++).
DEFINITION_KINDS = {
    "C": {"function", "struct", "union", "enum", "typedef"},
    "C++": {"function", "class", "struct", "union", "enum", "namespace", "typedef"},
    "Go": {"func", "struct", "interface", "type", "talias"},
    "Rust": {"function", "method", "struct", "enum", "interface", "module", "typedef"},
    "Java": {"class", "interface", "enum", "method", "annotation"},
    "Ruby": {"class", "module", "method", "singletonMethod"},
    "PHP": {"class", "interface", "trait", "function", "namespace"},
}

# ctags kinds whose body is code: a definition inside one is local to it.
BODY_KINDS = {"function", "func", "method", "singletonMethod"}

# The scanner never reads a larger file (surveyor/scan.h), nor descends
# into these directories (surveyor/walk.cpp).
MAX_FILE_BYTES = 300000
SKIPPED_DIRS = {".git", ".beads", ".beads-hooks", "node_modules", "vendor", "dist", "build",
                ".next", ".idea", ".vscode", "__pycache__", "venv", ".venv", ".tessel"}

CATEGORY_KIND_NEVER_RECORDED = "a kind we record for no file of the language"
CATEGORY_IN_BODY = "declared inside a function body"
CATEGORY_EMPTY_FILE = "file gave no symbols at all"
CATEGORY_OWNER_MISSED = "its owner was missed too"
CATEGORY_OPERATOR = "operator or destructor"
CATEGORY_ANONYMOUS = "anonymous (ctags made the name up)"
CATEGORY_FILE_MODULE = "Rust file module (mod x;), read as an import"
CATEGORY_ASSOCIATED_TYPE = "associated type in a Rust trait or impl"
CATEGORY_MACRO_NAME = "ALL_CAPS name: a macro ctags took for the name"
CATEGORY_OTHER = "other"


def normalized(name):
    """Names compared without white space: ctags writes "operator ==" and "~ Foo"."""
    return re.sub(r"\s+", "", name)


def last_part(name):
    return name.rsplit(".", 1)[-1]


def load_our_symbols(graph_path):
    """Files the scan read, and per file: last-part name -> 1-based start lines."""
    with open(graph_path, encoding="utf-8") as f:
        graph = json.load(f)
    files = set()
    symbols = collections.defaultdict(lambda: collections.defaultdict(set))
    for node in graph["nodes"]:
        if node["kind"] == "file":
            files.add(node["path"])
        elif node["kind"] == "symbol":
            symbols[node["path"]][normalized(last_part(node["name"]))].add(node["line_start"] + 1)
    return files, symbols


def run_ctags(corpus):
    args = ["ctags", "-R", "--output-format=json", "--fields=+nel", "-f", "-", "."]
    done = subprocess.run(args, cwd=corpus, capture_output=True, text=True, errors="replace", check=True)
    return done.stdout.splitlines()


def read_ctags_tags(lines):
    for line in lines:
        try:
            tag = json.loads(line)
        except json.JSONDecodeError:
            continue
        if tag.get("_type") == "tag":
            tag["path"] = tag["path"][2:] if tag["path"].startswith("./") else tag["path"]
            yield tag


def our_language(path):
    return LANGUAGE_OF_EXTENSION.get(os.path.splitext(path)[1].lower())


def is_definition(tag):
    return tag.get("kind") in DEFINITION_KINDS.get(tag.get("language"), ())


def scope_owner(tag):
    scope = tag.get("scope", "")
    return re.split(r"::|\.", scope)[-1] if scope else ""


def inside_a_body(tag, bodies):
    if tag.get("scopeKind") in BODY_KINDS:
        return True
    return any(start < tag["line"] <= end for start, end in bodies.get(tag["path"], ()))


def is_operator(name):
    """C++'s "operator+" and "~T", Ruby's "!" and "<=>"; not a plain name "operator"."""
    return re.match(r"operator\W", name) is not None or name.startswith("~") or not re.search(r"\w", name)


def language_specific_category(tag):
    """A reason that follows from how one language declares things, or None."""
    language, kind = tag.get("language"), tag["kind"]
    if language == "Rust" and kind == "module" and tag.get("pattern", "").rstrip("/$").endswith(";"):
        return CATEGORY_FILE_MODULE
    if language == "Rust" and kind == "typedef" and tag.get("scopeKind") in ("interface", "implementation"):
        return CATEGORY_ASSOCIATED_TYPE
    if language in ("C", "C++") and re.fullmatch(r"[A-Z][A-Z0-9]*_[A-Z0-9_]+", tag["name"]):
        return CATEGORY_MACRO_NAME
    return None


def miss_category(tag, bodies, our_file_symbols, missed_names, kinds_matched):
    name = normalized(tag["name"])
    if tag["kind"] not in kinds_matched:
        return CATEGORY_KIND_NEVER_RECORDED
    if re.match(r"__anon|AnonymousClass", name) or "__anon" in tag.get("scope", ""):
        return CATEGORY_ANONYMOUS
    if inside_a_body(tag, bodies):
        return CATEGORY_IN_BODY
    specific = language_specific_category(tag)
    if specific:
        return specific
    if is_operator(name):
        return CATEGORY_OPERATOR
    if not our_file_symbols:
        return CATEGORY_EMPTY_FILE
    owner = scope_owner(tag)
    if owner and (tag["path"], owner) in missed_names:
        return CATEGORY_OWNER_MISSED
    return CATEGORY_OTHER


class LanguageTally:
    def __init__(self):
        self.files = set()
        self.defs = collections.Counter()
        self.matched = collections.Counter()
        self.lines_compared = 0
        self.lines_agree = 0
        self.offsets = collections.Counter()  # ours minus ctags, when they differ
        self.misses = []
        self.categories = collections.defaultdict(list)
        self.unread_defs = collections.Counter()  # reason -> definitions in files we did not read


def tally(tags, files, symbols, corpus):
    """Per our language: what matched, what not, and the tags we missed."""
    bodies = collections.defaultdict(list)
    for tag in tags:
        if tag.get("kind") in BODY_KINDS and tag.get("end", 0) > tag["line"]:
            bodies[tag["path"]].append((tag["line"], tag["end"]))
    tallies = collections.defaultdict(LanguageTally)
    for tag in tags:
        language = our_language(tag["path"])
        if language is None or not is_definition(tag):
            continue
        t = tallies[language]
        if tag["path"] not in files:
            t.unread_defs[unread_reason(corpus, tag["path"])] += 1
            continue
        t.files.add(tag["path"])
        t.defs[tag["kind"]] += 1
        lines = symbols[tag["path"]].get(normalized(tag["name"]))
        if lines is None:
            t.misses.append(tag)
            continue
        t.matched[tag["kind"]] += 1
        t.lines_compared += 1
        if tag["line"] in lines:
            t.lines_agree += 1
        else:
            t.offsets[min(lines, key=lambda n: abs(n - tag["line"])) - tag["line"]] += 1
    for t in tallies.values():
        missed_names = {(m["path"], normalized(m["name"])) for m in t.misses}
        for m in t.misses:
            kinds_matched = {kind for kind, n in t.matched.items() if n}
            category = miss_category(m, bodies, symbols.get(m["path"]), missed_names, kinds_matched)
            t.categories[category].append(m)
    return tallies


def unread_reason(corpus, path):
    skipped = [d for d in path.split("/")[:-1] if d in SKIPPED_DIRS]
    if skipped:
        return f"under a skipped directory such as {skipped[0]}/"
    path = os.path.join(corpus, path)
    try:
        size = os.path.getsize(path)
    except OSError:
        return "unreadable"
    return f"over the {MAX_FILE_BYTES}-byte cap" if size > MAX_FILE_BYTES else "not walked"


def ratio(part, whole):
    return f"{part / whole:.3f}" if whole else "-"


def describe(tag):
    scope = f" in {tag['scope']}" if tag.get("scope") else ""
    return f"{tag['path']}:{tag['line']} {tag['kind']} {tag['name']}{scope}"


def print_language(language, t, examples):
    defs, matched = sum(t.defs.values()), sum(t.matched.values())
    print(f"== {language}: {len(t.files)} files with definitions, ctags {defs}, matched {matched}, "
          f"recall {ratio(matched, defs)}, same start line {ratio(t.lines_agree, t.lines_compared)}")
    if t.offsets:
        common = ", ".join(f"{off:+d} ({n})" for off, n in t.offsets.most_common(3))
        print(f"   start line ours - ctags where they differ, most common: {common}")
    for reason, n in sorted(t.unread_defs.items()):
        print(f"   not counted: {n} ctags definitions in files we did not read ({reason})")
    print(f"   {'kind':<16} {'ctags':>7} {'matched':>8} {'recall':>7}")
    for kind, n in t.defs.most_common():
        print(f"   {kind:<16} {n:>7} {t.matched[kind]:>8} {ratio(t.matched[kind], n):>7}")
    if t.misses:
        print("   misses by category:")
    for category, missed in sorted(t.categories.items(), key=lambda kv: -len(kv[1])):
        print(f"   {len(missed):>6}  {category}")
        step = max(1, len(missed) // examples)
        for tag in missed[::step][:examples]:
            print(f"             e.g. {describe(tag)}")


def print_summary(tallies):
    print(f"{'language':<9} {'ctags':>7} {'matched':>8} {'recall':>7} {'lines':>6}  top miss categories")
    for language, t in sorted(tallies.items()):
        defs, matched = sum(t.defs.values()), sum(t.matched.values())
        top = sorted(t.categories.items(), key=lambda kv: -len(kv[1]))[:3]
        misses = "; ".join(f"{category} {len(missed)}" for category, missed in top)
        print(f"{language:<9} {defs:>7} {matched:>8} {ratio(matched, defs):>7} "
              f"{ratio(t.lines_agree, t.lines_compared):>6}  {misses}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("corpus")
    parser.add_argument("graph")
    parser.add_argument("--ctags-json", help="ctags' JSON output for CORPUS, instead of running ctags")
    parser.add_argument("--examples", type=int, default=3, help="examples shown per miss category")
    args = parser.parse_args()
    files, symbols = load_our_symbols(args.graph)
    if args.ctags_json:
        with open(args.ctags_json, encoding="utf-8", errors="replace") as f:
            lines = f.read().splitlines()
    else:
        lines = run_ctags(args.corpus)
    tallies = tally(list(read_ctags_tags(lines)), files, symbols, args.corpus)
    if not tallies:
        sys.exit("no ctags definitions in a language the scanner reads")
    for language in sorted(tallies):
        print_language(language, tallies[language], max(1, args.examples))
    print()
    print_summary(tallies)


if __name__ == "__main__":
    main()
