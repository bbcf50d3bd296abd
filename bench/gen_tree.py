#!/usr/bin/env python3
"""Writes a tree of small source files for the scanner benchmark.

Usage: gen_tree.py DIR COUNT

Each file is a function of its number and COUNT alone, so two runs write
the same bytes. The files take turns at Python, TypeScript, Go and
Markdown; each has a few imports of (or links to) other files of its
language, a class and a few functions. They sit FILES_PER_DIR to a
directory, three directories deep.
"""

import os
import sys

FILES_PER_DIR = 50  # about what a package directory of a real project holds
FANOUT = 10  # subdirectories per directory level
IMPORTS = 3  # imports per file: enough for edges, few enough to stay small
# Spread a file's imports over the tree with two primes, so they are neither
# neighbours nor the same for every file.
STRIDE_A, STRIDE_B = 7919, 104729
EXTENSIONS = (".py", ".ts", ".go", ".md")


def directory_of(i):
    """The directory of file i, as its three parts."""
    d = i // FILES_PER_DIR
    return f"p{d // (FANOUT * FANOUT)}", f"m{(d // FANOUT) % FANOUT}", f"s{d % FANOUT}"


def imported(i, count):
    """The files of i's language that file i imports."""
    step = len(EXTENSIONS)
    slots = max(1, count // step)
    found = []
    for k in range(1, IMPORTS + 1):
        j = ((i // step) * STRIDE_A + k * STRIDE_B) % slots * step + i % step
        if j != i and j < count:
            found.append(j)
    return found


def import_lines(i, count, line_of):
    """File i's import lines: line_of(j, directory parts of j) for each j it imports."""
    return [line_of(j, directory_of(j)) for j in imported(i, count)]


def python_text(i, count):
    head = [f'"""Module {i}: widgets of kind {i % 97}."""', "import os", ""]
    imports = import_lines(i, count, lambda j, parts: f"from {'.'.join(parts)}.f{j} import Widget{j}")
    return head + imports + [
        "",
        f"LIMIT_{i} = {i % 1000 + 1}",
        "",
        "",
        f"class Widget{i}:",
        f'    """Holds the size of widget {i}."""',
        "",
        "    def __init__(self, size):",
        "        self.size = size",
        "",
        "    def grow(self, by):",
        f"        return Widget{i}(min(self.size + by, LIMIT_{i}))",
        "",
        "",
        f"def build_{i}(n):",
        f"    return [Widget{i}(k) for k in range(n)]",
        "",
        "",
        f"def total_{i}(items):",
        "    return sum(w.size for w in items) + len(os.sep)",
    ]


def typescript_text(i, count):
    imports = import_lines(i, count, lambda j, parts: f'import {{ Widget{j} }} from "../../../{"/".join(parts)}/f{j}";')
    return [f"// Module {i}: widgets of kind {i % 97}."] + imports + [
        "",
        f"export const LIMIT_{i} = {i % 1000 + 1};",
        "",
        f"export class Widget{i} {{",
        "  constructor(public size: number) {}",
        "",
        f"  grow(by: number): Widget{i} {{",
        f"    return new Widget{i}(Math.min(this.size + by, LIMIT_{i}));",
        "  }",
        "}",
        "",
        f"export function build{i}(n: number): Widget{i}[] {{",
        f"  return Array.from({{ length: n }}, (_, k) => new Widget{i}(k));",
        "}",
        "",
        f"export function total{i}(items: Widget{i}[]): number {{",
        "  return items.reduce((sum, w) => sum + w.size, 0);",
        "}",
    ]


def go_text(i, count):
    package = directory_of(i)[2]
    head = [f"// Package {package} holds widgets of kind {i % 97}.", f"package {package}", "", "import (", '\t"fmt"']
    imports = import_lines(i, count, lambda j, parts: f'\t"example.com/gen/{"/".join(parts)}"')
    return head + imports + [
        ")",
        "",
        f"const limit{i} = {i % 1000 + 1}",
        "",
        f"// Widget{i} holds a size.",
        f"type Widget{i} struct {{",
        "\tSize int",
        "}",
        "",
        f"func (w *Widget{i}) Grow(by int) *Widget{i} {{",
        f"\treturn &Widget{i}{{Size: min(w.Size+by, limit{i})}}",
        "}",
        "",
        f"func Build{i}(n int) []*Widget{i} {{",
        f"\tout := make([]*Widget{i}, 0, n)",
        "\tfor k := 0; k < n; k++ {",
        f"\t\tout = append(out, &Widget{i}{{Size: k}})",
        "\t}",
        "\treturn out",
        "}",
        "",
        f"func Describe{i}(w *Widget{i}) string {{ return fmt.Sprint(w.Size) }}",
    ]


def markdown_text(i, count):
    head = [f"# Widget {i}", "", f"Widgets of kind {i % 97} grow up to {i % 1000 + 1}.", "", "## See also", ""]
    links = import_lines(i, count, lambda j, parts: f"- [Widget {j}](../../../{'/'.join(parts)}/f{j}.md)")
    return head + links + [
        "",
        "## Use",
        "",
        "```python",
        f"class Widget{i}:",
        "    def grow(self, by):",
        "        return self",
        "",
        f"def build_{i}(n):",
        f"    return [Widget{i}() for _ in range(n)]",
        "```",
    ]


WRITERS = {".py": python_text, ".ts": typescript_text, ".go": go_text, ".md": markdown_text}


def main():
    root, count = sys.argv[1], int(sys.argv[2])
    for i in range(count):
        ext = EXTENSIONS[i % len(EXTENSIONS)]
        directory = os.path.join(root, *directory_of(i))
        if i % FILES_PER_DIR == 0:
            os.makedirs(directory, exist_ok=True)
        with open(os.path.join(directory, f"f{i}{ext}"), "w", encoding="utf-8") as f:
            f.write("\n".join(WRITERS[ext](i, count)) + "\n")


if __name__ == "__main__":
    main()
