#!/usr/bin/env bash
# Scanner benchmark on real code nobody here wrote: the Django sources from
# Debian's python3-django and a few npm packages with .ts/.tsx/.js files.
# The corpus is assembled at bench time in a temporary directory (never
# committed). Times, on the same tree in the same run:
#   surveyor full scan, rescan with nothing changed, rescan after touching
#   1% of the files, `ctags -R`, and `rg --files` + `rg -c .`.
# Each time is the best of $RUNS runs. Prints ratios and the full scan's
# peak memory.
#
# Usage: bench/scan_bench.sh [BUILD_DIR]   (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
surveyor="$build/bin/surveyor"
RUNS="${RUNS:-3}"
NPM_PACKAGES=(rxjs@7.8.1 zod@3.23.8 date-fns@3.6.0 @tanstack/query-core@5.51.1 preact@10.22.1 vue@3.4.31 @angular/core@18.1.0)

need=()
command -v ctags >/dev/null || need+=(universal-ctags)
command -v rg >/dev/null || need+=(ripgrep)
[ -d /usr/lib/python3/dist-packages/django ] || need+=(python3-django)
command -v npm >/dev/null || need+=(npm)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}"
fi
[ -x "$surveyor" ] || "$here/scripts/build.sh" "$build" -DLUMENFOLD_BUILD_TESTS=OFF -DLUMENFOLD_BUILD_BENCH=OFF

work="$(mktemp -d "${TMPDIR:-/tmp}/tessel-scan-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
corpus="$work/corpus"
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
# Best time of $RUNS runs of "$@": CPU seconds (user + system, which
# other load on the machine hardly changes) and wall seconds of that run,
# printed as "CPU WALL"; peak RSS (KiB) of the fastest run goes to
# $work/rss.
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

BEFORE="rm -rf '$work/out'" full=$(best "$surveyor" --root "$corpus" --out "$out")
full_rss=$(cat "$work/rss")
"$surveyor" --root "$corpus" --out "$out" >/dev/null
rescan=$(best "$surveyor" --root "$corpus" --out "$out")

# Touch 1% of the scanned files: change their text so their hashes change.
mapfile -t scanned < <(find "$corpus" -type f \( -name '*.py' -o -name '*.js' -o -name '*.ts' -o -name '*.tsx' -o -name '*.json' -o -name '*.md' \) | sort)
step=100
touch_some() { for ((i = 0; i < ${#scanned[@]}; i += step)); do printf '\n' >>"${scanned[$i]}"; done; }
BEFORE="touch_some" touched=$(best "$surveyor" --root "$corpus" --out "$out")
ctags_t=$(best ctags -R -f "$work/tags" "$corpus")
rg_files=$(best rg --files "$corpus")
rg_count=$(best rg -c . "$corpus")

cpu() { echo "$1" | cut -d' ' -f1; }
wall() { echo "$1" | cut -d' ' -f2; }
ratio() { awk "BEGIN{printf \"%.2f\", $1 / $2}"; }
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
