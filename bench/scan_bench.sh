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
# Scan speed of the threaded, incremental scanner:
#   distpackages  a copy of this machine's /usr/lib/python3/dist-packages
#   gen50k        50 000 small generated .py/.ts/.go/.md files
#                 (bench/gen_tree.py, written into the temporary directory)
#   small20k      20 000 such files, for the memory check
#   For each: full scan with --jobs 1 and --jobs 2 against `ctags -R`, a
#   rescan with nothing changed and one after appending a line to 1% of the
#   scanned files, each against the full scan, and peak RSS against the graph
#   document (small20k: in MiB). The documents after each rescan must equal
#   those of a fresh --jobs 1 full scan: a difference prints FAIL, and the
#   script exits non-zero at the end. A closing table gives each figure, its
#   reference and its target.
# Each time is the best of $RUNS runs. With RUNS=1 all corpora take about
# ten minutes on two cores, and the three scan-speed ones about ten more.
#
# Usage: [CORPORA=django,go,rust,cpp,llvm,c,java,ruby,php,distpackages,gen50k,small20k] [RUNS=3] bench/scan_bench.sh [BUILD_DIR]
#   (default: every corpus; BUILD_DIR defaults to build)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
surveyor="$build/bin/surveyor"
slowest_parse="$build/bench/slowest_parse"
RUNS="${RUNS:-3}"
CORPORA="${CORPORA:-django,go,rust,cpp,llvm,c,java,ruby,php,distpackages,gen50k,small20k}"
NPM_PACKAGES=(rxjs@7.8.1 zod@3.23.8 date-fns@3.6.0 @tanstack/query-core@5.51.1 preact@10.22.1 vue@3.4.31 @angular/core@18.1.0)
GO_PACKAGES=(net go crypto encoding)
RUST_CRATES=(serde serde_derive syn tokio regex regex-syntax petgraph rayon rayon-core hashbrown)
BOOST_LIBRARIES=(asio beast spirit json container intrusive)
LLVM_LIBRARIES=(ADT IR Support)
LLVM_INCLUDE=/usr/lib/llvm-14/include/llvm
JAVA_PACKAGES=(java/util java/lang java/io)
PHP_LIBRARIES=(Doctrine Symfony Monolog GuzzleHttp Psr)
CARGO_REGISTRY=/usr/share/cargo/registry
DIST_PACKAGES=/usr/lib/python3/dist-packages
# What surveyor reads: these extensions (in any case), outside these
# directories. The 1% edit picks among them, so that every edit counts.
SCANNED_EXTS=(go py js jsx ts tsx swift cs xaml json yaml yml md php c h cc cpp cxx hh hpp hxx rs java kt kts rb)
SKIPPED_DIRS=(.git .beads .beads-hooks node_modules vendor dist build .next .idea .vscode __pycache__ venv .venv .tessel)
EDIT_EVERY=100 # one scanned file in a hundred gets a line appended
# Targets of the scan-speed corpora: ratios, but a peak RSS in MiB for
# small20k (to which the largest file's text is added).
TARGET_WALL_VS_CTAGS=0.35
TARGET_CPU_VS_CTAGS=0.7
TARGET_UNCHANGED_VS_FULL=0.05
TARGET_EDITED_VS_FULL=0.10
TARGET_RSS_VS_GRAPH=1.5
TARGET_SMALL_RSS_MIB=64

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

assemble_distpackages() { cp -rL "$DIST_PACKAGES/." "$1"; }
assemble_gen50k() { python3 "$here/bench/gen_tree.py" "$1" 50000; }
assemble_small20k() { python3 "$here/bench/gen_tree.py" "$1" 20000; }

# The files under $1 that surveyor reads, in a fixed order.
scanned_files() {
  local names=() prune=() x
  for x in "${SCANNED_EXTS[@]}"; do names+=(-o -iname "*.$x"); done
  for x in "${SKIPPED_DIRS[@]}"; do prune+=(-o -name "$x"); done
  find "$1" -type d \( "${prune[@]:1}" \) -prune -o -type f \( "${names[@]:1}" \) -print | LC_ALL=C sort
}

# Appends an empty line to every $EDIT_EVERY-th scanned file under $1, so
# that its size, modification time and text all change.
edit_one_percent() {
  local f
  scanned_files "$1" | awk -v n="$EDIT_EVERY" 'NR % n == 1' | while IFS= read -r f; do echo >>"$f"; done
}

# Compares the documents in $3 with those of a fresh --jobs 1 full scan of
# $2 (into $4), for the corpus $1: prints OK, or FAIL with what differed
# and records it in $work/failures. $5 names the scan that wrote $3.
check_documents() {
  local name="$1" corpus="$2" out="$3" fresh="$4" what="$5" doc verdict=OK
  rm -rf "$fresh"
  "$surveyor" --quiet --jobs 1 --root "$corpus" --out "$fresh/info_graph.json" >/dev/null
  for doc in info_graph.json symbol_index.json; do
    if cmp -s "$out/$doc" "$fresh/$doc"; then continue; fi
    verdict=FAIL
    echo "  !!! FAIL: $name, $what: $doc differs from a fresh --jobs 1 full scan's"
    { cmp "$out/$doc" "$fresh/$doc" || true; } | sed 's/^/      /'
    { diff "$out/$doc" "$fresh/$doc" || true; } | head -n 20 | cut -c1-200 | sed 's/^/      /'
    echo "$name, $what: $doc" >>"$work/failures"
  done
  [ "$verdict" = OK ] && echo "  $what: documents equal a fresh --jobs 1 full scan's: OK"
  echo "$verdict" >"$work/verdict"
}

# One row of the closing table: corpus, figure, value, reference and, when
# $5 (the limit) is given, the target and whether the value meets it.
speed_row() {
  local met=""
  [ -n "${5:-}" ] && met=$(awk "BEGIN{print ($3 <= $5) ? \"met\" : \"MISSED\"}")
  printf '%-12s %-34s %-14s %-40s %-8s %s\n' "$1" "$2" "$3" "$4" "${5:+<= $5}" "$met" >>"$work/speed_rows"
}
times_text() { echo "CPU $(cpu "$1") s, wall $(wall "$1") s"; }

# One scan-speed corpus: full scans with one and two jobs against ctags -R,
# the two rescans against the full scan, peak RSS, and the documents each
# rescan leaves against a fresh full scan's. Adds rows to $work/speed_rows.
bench_scan_speed() {
  local name="$1" corpus="$work/$1" out="$work/out-$1" fresh="$work/fresh-$1"
  mkdir -p "$corpus"
  "assemble_$name" "$corpus"
  local files scanned bytes largest
  files=$(find "$corpus" -type f | wc -l)
  scanned=$(scanned_files "$corpus" | wc -l)
  bytes=$(du -sb "$corpus" | cut -f1)
  largest=$(scanned_files "$corpus" | tr '\n' '\0' | xargs -0 stat -c %s | sort -n | tail -n1)
  echo "== $name: $files files ($scanned scanned, the largest $largest bytes), $(mib "$bytes") MiB"
  local scan=("$surveyor" --quiet --root "$corpus" --out "$out/info_graph.json")
  # ctags goes first: the next scan reads again a file changed within two
  # seconds of a scan's start, and the tree has just been written.
  local ctags_t full1 rss1 full2 rss2 graph_bytes unchanged unchanged_ok edited edited_ok
  ctags_t=$(best ctags -R -f "$work/tags" "$corpus")
  full1=$(BEFORE="rm -rf '$out'" best "${scan[@]}" --jobs 1)
  rss1=$(cat "$work/rss")
  full2=$(BEFORE="rm -rf '$out'" best "${scan[@]}" --jobs 2)
  rss2=$(cat "$work/rss")
  graph_bytes=$(stat -c %s "$out/info_graph.json")
  unchanged=$(best "${scan[@]}" --jobs 2)
  check_documents "$name" "$corpus" "$out" "$fresh" "unchanged rescan"
  unchanged_ok=$(cat "$work/verdict")
  edited=$(BEFORE="edit_one_percent '$corpus'" best "${scan[@]}" --jobs 2)
  check_documents "$name" "$corpus" "$out" "$fresh" "1% edited rescan"
  edited_ok=$(cat "$work/verdict")
  echo "  ctags -R: $(times_text "$ctags_t"); surveyor --jobs 1: $(times_text "$full1")," \
    "peak RSS $((rss1 / 1024)) MiB; --jobs 2: $(times_text "$full2"), peak RSS $((rss2 / 1024)) MiB"
  echo "  rescan unchanged: $(times_text "$unchanged"); 1% edited: $(times_text "$edited");" \
    "graph document $(mib "$graph_bytes") MiB"

  speed_row "$name" "ctags -R (s)" "$(cpu "$ctags_t")/$(wall "$ctags_t")" "CPU/wall"
  speed_row "$name" "full scan --jobs 1 (s)" "$(cpu "$full1")/$(wall "$full1")" "CPU/wall"
  speed_row "$name" "full scan --jobs 2 (s)" "$(cpu "$full2")/$(wall "$full2")" "CPU/wall"
  speed_row "$name" "jobs-2 wall / ctags wall" "$(ratio "$(wall "$full2")" "$(wall "$ctags_t")")" \
    "ctags wall $(wall "$ctags_t") s" "$TARGET_WALL_VS_CTAGS"
  speed_row "$name" "jobs-2 CPU / ctags CPU" "$(ratio "$(cpu "$full2")" "$(cpu "$ctags_t")")" \
    "ctags CPU $(cpu "$ctags_t") s" "$TARGET_CPU_VS_CTAGS"
  speed_row "$name" "rescan unchanged CPU / full CPU" "$(ratio "$(cpu "$unchanged")" "$(cpu "$full2")")" \
    "jobs-2 full CPU $(cpu "$full2") s" "$TARGET_UNCHANGED_VS_FULL"
  speed_row "$name" "rescan 1% edited CPU / full CPU" "$(ratio "$(cpu "$edited")" "$(cpu "$full2")")" \
    "jobs-2 full CPU $(cpu "$full2") s" "$TARGET_EDITED_VS_FULL"
  local jobs rss
  for jobs in 1 2; do
    rss=$([ "$jobs" = 1 ] && echo "$rss1" || echo "$rss2")
    speed_row "$name" "peak RSS / graph, --jobs $jobs" "$(ratio "$rss" "$((graph_bytes / 1024))")" \
      "graph $(mib "$graph_bytes") MiB" "$TARGET_RSS_VS_GRAPH"
    if [ "$name" = small20k ]; then
      speed_row "$name" "peak RSS MiB, --jobs $jobs" "$(mib "$((rss * 1024))")" \
        "64 MiB + largest file, $largest bytes" "$(awk "BEGIN{printf \"%.1f\", $TARGET_SMALL_RSS_MIB + $largest / 1048576}")"
    fi
  done
  speed_row "$name" "documents after rescans" "$unchanged_ok/$edited_ok" "fresh --jobs 1 full scan" ""
  rm -rf "$corpus" "$out" "$fresh"
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
: >"$work/speed_rows"
for name in distpackages gen50k small20k; do
  if wants "$name"; then bench_scan_speed "$name"; fi
done
if [ -s "$work/speed_rows" ]; then
  echo "scan speed (times best of $RUNS; CPU = user + sys):"
  printf '%-12s %-34s %-14s %-40s %-8s %s\n' corpus figure value reference target ""
  cat "$work/speed_rows"
fi
if [ -s "$work/failures" ]; then
  echo "!!! FAIL: documents after a rescan differ from a fresh full scan's:"
  sed 's/^/!!!   /' "$work/failures"
  exit 1
fi
