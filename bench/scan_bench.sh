#!/usr/bin/env bash
# Scanner benchmark on real code nobody here wrote, assembled at bench time
# in a temporary directory from Debian and npm packages (never committed).
#
# django: the Django sources from Debian's python3-django and a few npm
#   packages with .ts/.tsx/.js files. Times, on the same tree in the same
#   run: surveyor full scan, rescan with nothing changed, rescan after
#   touching 1% of the files, `ctags -R`, and `rg --files` + `rg -c .`.
#   Prints ratios and the full scan's peak memory.
# One corpus per language the grammars read, and PHP (sizes are of the
# language's own files; the trees hold other files too):
#   go    Go standard library: net, go, crypto, encoding (~1200 files, 9 MB)
#   rust  crates from librust-*-dev: serde, serde_derive, syn, tokio, regex,
#         regex-syntax, petgraph, rayon, rayon-core, hashbrown (~880 files, 10 MB)
#   cpp   Boost headers: asio, beast, spirit, json, container, intrusive
#         (~2100 files, 16 MB): macro-heavy C++
#   llvm  LLVM 14 headers: ADT, IR, Support (~420 files, 11 MB): plainer C++
#   c     gnulib's lib/: .c files (~1500, 7 MB) and their headers, which
#         the scanner reads as C++ (~800, 10 MB)
#   java  OpenJDK 17 sources: java.base's java/util, java/lang, java/io
#         (~700 files, 15 MB)
#   ruby  Ruby's standard library and bundled gems (~1250 files, 9 MB)
#   php   Doctrine DBAL, Symfony Console, Monolog, Guzzle and what they pull
#         in (~730 files, 3 MB)
#   For each: surveyor full scan against `ctags -R` (CPU, wall, peak RSS),
#   the graph document's size, the ratios CPU vs ctags and peak RSS vs graph
#   size, the slowest file to extract symbols from (bench/slowest_parse)
#   and how many took over 100 ms, and the recall of ctags' definitions
#   (bench/ctags_recall.py).
# Each time is the best of $RUNS runs. With RUNS=1 all corpora take about
# ten minutes on two cores.
#
# Usage: [CORPORA=django,go,rust,cpp,llvm,c,java,ruby,php] [RUNS=3] bench/scan_bench.sh [BUILD_DIR]
#   (default: every corpus; BUILD_DIR defaults to build)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
surveyor="$build/bin/surveyor"
slowest_parse="$build/bench/slowest_parse"
RUNS="${RUNS:-3}"
CORPORA="${CORPORA:-django,go,rust,cpp,llvm,c,java,ruby,php}"
NPM_PACKAGES=(rxjs@7.8.1 zod@3.23.8 date-fns@3.6.0 @tanstack/query-core@5.51.1 preact@10.22.1 vue@3.4.31 @angular/core@18.1.0)
GO_PACKAGES=(net go crypto encoding)
RUST_CRATES=(serde serde_derive syn tokio regex regex-syntax petgraph rayon rayon-core hashbrown)
BOOST_LIBRARIES=(asio beast spirit json container intrusive)
LLVM_LIBRARIES=(ADT IR Support)
LLVM_INCLUDE=/usr/lib/llvm-14/include/llvm
JAVA_PACKAGES=(java/util java/lang java/io)
PHP_LIBRARIES=(Doctrine Symfony Monolog GuzzleHttp Psr)
CARGO_REGISTRY=/usr/share/cargo/registry

wants() { [[ ",$CORPORA," == *",$1,"* ]]; }
go_src() { ls -d /usr/share/go-*/src /usr/lib/go-*/src 2>/dev/null | sort -V | tail -n1; }
crate_dir() { ls -d "$CARGO_REGISTRY/$1"-[0-9]* 2>/dev/null | sort -V | tail -n1; }
java_src_zip() { ls /usr/lib/jvm/java-17-openjdk-*/lib/src.zip 2>/dev/null | head -n1; }
ruby_lib() { ls -d /usr/lib/ruby/[0-9]* 2>/dev/null | sort -V | tail -n1; }

need=()
command -v ctags >/dev/null || need+=(universal-ctags)
command -v rg >/dev/null || need+=(ripgrep)
if wants django; then
  [ -d /usr/lib/python3/dist-packages/django ] || need+=(python3-django)
  command -v npm >/dev/null || need+=(npm)
fi
if wants go && [ -z "$(go_src)" ]; then need+=(golang-src); fi
if wants rust; then
  for c in "${RUST_CRATES[@]}"; do [ -n "$(crate_dir "$c")" ] || need+=("librust-${c//_/-}-dev"); done
fi
if wants cpp && [ ! -d /usr/include/boost/asio ]; then need+=(libboost-dev); fi
if wants llvm && [ ! -d "$LLVM_INCLUDE/ADT" ]; then need+=(llvm-14-dev); fi
if wants c && [ ! -d /usr/share/gnulib/lib ]; then need+=(gnulib); fi
if wants java && [ -z "$(java_src_zip)" ]; then need+=(openjdk-17-source); fi
if wants ruby && [ -z "$(ruby_lib)" ]; then need+=(ruby); fi
if wants php && [ ! -d /usr/share/php/Doctrine/DBAL ]; then
  need+=(php-doctrine-dbal php-symfony-console php-monolog php-guzzlehttp-guzzle)
fi
dpkg -s libbenchmark-dev >/dev/null 2>&1 || need+=(libbenchmark-dev)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}"
fi
[ -x "$surveyor" ] || "$here/scripts/build.sh" "$build" -DLUMENFOLD_BUILD_TESTS=OFF -DLUMENFOLD_BUILD_BENCH=OFF
if [ ! -x "$slowest_parse" ]; then
  cmake -S "$here" -B "$build" -DLUMENFOLD_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" --target slowest_parse -j"$(nproc)" >/dev/null
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/tessel-scan-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Best time of $RUNS runs of "$@": CPU seconds (user + system, which
# other load on the machine hardly changes) and wall seconds of that run,
# printed as "CPU WALL"; peak RSS (KiB) of the fastest run goes to
# $work/rss. $BEFORE, when set, runs before each run: set it inside the
# command substitution ($(BEFORE=... best ...)), or it stays set for every
# later call.
best() {
  local best_c="" best_w="" best_m=""
  for _ in $(seq "$RUNS"); do
    [ -n "${BEFORE:-}" ] && eval "$BEFORE"
    /usr/bin/time -f "%e %M %U %S" -o "$work/t" "$@" >/dev/null 2>&1
    read -r w m u s <"$work/t"
    c=$(awk "BEGIN{printf \"%.2f\", $u + $s}")
    if [ -z "$best_c" ] || awk "BEGIN{exit !($c < $best_c)}"; then best_c=$c; best_w=$w; best_m=$m; fi
  done
  echo "$best_m" >"$work/rss"
  echo "$best_c $best_w"
}
cpu() { echo "$1" | cut -d' ' -f1; }
wall() { echo "$1" | cut -d' ' -f2; }
ratio() { awk "BEGIN{printf \"%.2f\", $1 / $2}"; }

bench_django() {
  local corpus="$work/corpus"
  mkdir -p "$corpus/npm" "$work/packs"
  cp -r /usr/lib/python3/dist-packages/django "$corpus/django"
  (cd "$work/packs" && npm pack --silent "${NPM_PACKAGES[@]}" >/dev/null 2>&1) || echo "note: some npm packages could not be fetched"
  for t in "$work"/packs/*.tgz; do
    [ -e "$t" ] || continue
    d="$corpus/npm/$(basename "$t" .tgz)"
    mkdir -p "$d" && tar -xzf "$t" -C "$d"
  done
  files=$(find "$corpus" -type f | wc -l)
  bytes=$(du -sb "$corpus" | cut -f1)
  echo "corpus: $files files, $((bytes / 1024 / 1024)) MiB ($(ls "$work/packs" | wc -l) npm packages + django)"

  out="$work/out/info_graph.json"
  full=$(BEFORE="rm -rf '$work/out'" best "$surveyor" --root "$corpus" --out "$out")
  full_rss=$(cat "$work/rss")
  "$surveyor" --root "$corpus" --out "$out" >/dev/null
  rescan=$(best "$surveyor" --root "$corpus" --out "$out")

  # Touch 1% of the scanned files: change their text so their hashes change.
  mapfile -t scanned < <(find "$corpus" -type f \( -name '*.py' -o -name '*.js' -o -name '*.ts' -o -name '*.tsx' -o -name '*.json' -o -name '*.md' \) | sort)
  step=100
  touch_some() { for ((i = 0; i < ${#scanned[@]}; i += step)); do printf '\n' >>"${scanned[$i]}"; done; }
  touched=$(BEFORE="touch_some" best "$surveyor" --root "$corpus" --out "$out")
  ctags_t=$(best ctags -R -f "$work/tags" "$corpus")
  rg_files=$(best rg --files "$corpus")
  rg_count=$(best rg -c . "$corpus")

  printf '%-34s %8s %8s\n' "measure" "CPU s" "wall s"
  for row in "surveyor full scan:$full" "surveyor rescan, nothing changed:$rescan" \
             "surveyor rescan, 1% touched:$touched" "ctags -R:$ctags_t" "rg --files:$rg_files" "rg -c .:$rg_count"; do
    printf '%-34s %8s %8s\n' "${row%%:*}" "$(cpu "${row#*:}")" "$(wall "${row#*:}")"
  done
  echo "ratios in CPU time:"
  echo "  surveyor full / ctags -R:           $(ratio "$(cpu "$full")" "$(cpu "$ctags_t")")   (target < 1)"
  echo "  rescan unchanged / full scan:       $(ratio "$(cpu "$rescan")" "$(cpu "$full")")   (target <= 0.40)"
  echo "  rescan 1% touched / full scan:      $(ratio "$(cpu "$touched")" "$(cpu "$full")")"
  echo "  surveyor full / (rg --files + rg -c .): $(awk "BEGIN{printf \"%.2f\", $(cpu "$full") / ($(cpu "$rg_files") + $(cpu "$rg_count"))}")"
  echo "peak memory of the full scan:         $((full_rss / 1024)) MiB"
  echo "slowest symbol extraction: $("$slowest_parse" "$corpus" 1 | tail -n1)"
}

# Copies one language's corpus into the directory $1.
assemble_go() { for p in "${GO_PACKAGES[@]}"; do cp -r "$(go_src)/$p" "$1/$p"; done; }
assemble_rust() { for c in "${RUST_CRATES[@]}"; do cp -r "$(crate_dir "$c")" "$1/"; done; }
assemble_cpp() { for l in "${BOOST_LIBRARIES[@]}"; do cp -r "/usr/include/boost/$l" "$1/$l"; done; }
assemble_llvm() { for l in "${LLVM_LIBRARIES[@]}"; do cp -rL "$LLVM_INCLUDE/$l" "$1/$l"; done; }
assemble_c() { cp -r /usr/share/gnulib/lib "$1/gnulib"; }
assemble_java() {
  local patterns=()
  for p in "${JAVA_PACKAGES[@]}"; do patterns+=("java.base/$p/*"); done
  unzip -q "$(java_src_zip)" "${patterns[@]}" -d "$1"
}
assemble_ruby() { cp -r "$(ruby_lib)" "$1/lib"; cp -r "/usr/lib/ruby/gems/$(basename "$(ruby_lib)")/gems" "$1/gems"; }
assemble_php() { for l in "${PHP_LIBRARIES[@]}"; do if [ -d "/usr/share/php/$l" ]; then cp -r "/usr/share/php/$l" "$1/$l"; fi; done; }

mib() { awk "BEGIN{printf \"%.1f\", $1 / 1048576}"; }

# One language corpus: surveyor full scan against ctags -R, the graph
# document, the slowest file and the recall against ctags. Adds a row to
# $work/rows.
bench_language() {
  local name="$1" corpus="$work/$1" out="$work/out-$1"
  mkdir -p "$corpus"
  "assemble_$name" "$corpus"
  local files bytes
  files=$(find "$corpus" -type f | wc -l)
  bytes=$(du -sb "$corpus" | cut -f1)
  echo "== $name: $files files, $(mib "$bytes") MiB"
  full=$(BEFORE="rm -rf '$out'" best "$surveyor" --root "$corpus" --out "$out/info_graph.json")
  local full_rss graph_bytes
  full_rss=$(cat "$work/rss")
  graph_bytes=$(stat -c %s "$out/info_graph.json")
  ctags_t=$(best ctags -R -f "$work/tags" "$corpus")
  local ctags_rss
  ctags_rss=$(cat "$work/rss")
  local slowest
  slowest=$("$slowest_parse" "$corpus" 1 | tail -n1)
  echo "  surveyor: CPU $(cpu "$full") s, wall $(wall "$full") s, peak RSS $((full_rss / 1024)) MiB"
  echo "  ctags -R: CPU $(cpu "$ctags_t") s, wall $(wall "$ctags_t") s, peak RSS $((ctags_rss / 1024)) MiB"
  echo "  graph document: $(mib "$graph_bytes") MiB"
  echo "  $slowest"
  python3 "$here/bench/ctags_recall.py" "$corpus" "$out/info_graph.json" --examples 1 | sed 's/^/  /'
  local over
  over=$(echo "$slowest" | sed -n 's/.*over [0-9]* ms: \([0-9]*\) of.*/\1/p')
  printf '%-6s %6s %7s %7s %7s %7s %7s %6s %7s %7s %8s %6s\n' "$name" "$files" "$(mib "$bytes")" \
    "$(cpu "$full")" "$(wall "$full")" "$((full_rss / 1024))" "$(cpu "$ctags_t")" "$((ctags_rss / 1024))" \
    "$(ratio "$(cpu "$full")" "$(cpu "$ctags_t")")" "$(mib "$graph_bytes")" \
    "$(ratio "$full_rss" "$((graph_bytes / 1024))")" "$over" >>"$work/rows"
  rm -rf "$corpus" "$out"
}

if wants django; then bench_django; fi
: >"$work/rows"
for name in go rust cpp llvm c java ruby php; do
  if wants "$name"; then bench_language "$name"; fi
done
if [ -s "$work/rows" ]; then
  echo "per language (CPU and wall in s, RSS in MiB; ratios: surveyor CPU / ctags CPU, surveyor peak RSS / graph size):"
  printf '%-6s %6s %7s %7s %7s %7s %7s %6s %7s %7s %8s %6s\n' corpus files MiB "CPU" wall RSS "ctags" "RSS" \
    "CPU/ct" "graph" "RSS/gr" ">100ms"
  cat "$work/rows"
fi
