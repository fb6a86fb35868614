#!/usr/bin/env bash
# The merge benchmark: corvane-merge against a plain openpyxl script doing the same job.
#
#   bash bench/merge_bench.sh [BUILD_DIR]
#   BASELINE=/path/to/older/corvane-merge bash bench/merge_bench.sh   # old and new in turns
#
# Two data sets: 20 workbooks of 5,000 rows x 10 columns (1 million cells) and 100 workbooks
# of 10,000 rows x 10 columns (10 million cells). Each is merged with the default options and
# with one header row, columns matched by header and the source column. With BASELINE the
# older program runs in turn with this one (old, new, old, new...) and the medians are
# compared. Times and peak memory come from GNU time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d /tmp/corvane-merge-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
command -v /usr/bin/time >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time >/dev/null

# Wall time, processor time (user and system, all threads: on a machine busy with other work
# the wall time says little), peak memory and the size of what was written.
measure() {  # label, output, command...
  local label=$1 output=$2; shift 2
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null
  read -r secs user sys kb <"$work/time"
  printf '%-34s %8.2f s %8.2f s cpu %6.0f MB %8.1f MB file\n' "$label" "$secs" \
    "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" "$((kb / 1024))" \
    "$(awk -v b="$(stat -c %s "$output")" 'BEGIN { print b / 1e6 }')"
  echo "$secs" >"$work/last"
  echo "$secs" >>"$work/times-$(echo "$label" | sed 's/ (run [0-9]*)//; s/[^a-z0-9]/_/g')"
}

# The median of the times of a label.
median() {  # label
  sort -n "$work/times-$(echo "$1" | sed 's/[^a-z0-9]/_/g')" | awk '{ t[NR] = $1 } END { print (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'
}

options=(--header-rows 1 --match-headers --source-column)

for set in "20 5000" "100 10000"; do
  read -r count rows <<<"$set"
  dir="$work/in-$count"
  mkdir -p "$dir"
  "$build/make_workbooks" "$dir" "$count" "$rows"
  echo "== $count workbooks x $rows rows x 10 columns"
  rm -f "$work"/times-*
  for i in 1 2 3 4 5; do
    if [ -n "${BASELINE:-}" ]; then
      measure "baseline (run $i)" "$work/out.xlsx" "$BASELINE" -o "$work/out.xlsx" "$dir"
    fi
    measure "corvane-merge (run $i)" "$work/out.xlsx" "$build/corvane-merge" -o "$work/out.xlsx" "$dir"
    measure "with options (run $i)" "$work/out.xlsx" "$build/corvane-merge" "${options[@]}" -o "$work/out.xlsx" "$dir"
  done
  corvane=$(median "corvane-merge")
  with=$(median "with options")
  echo "medians: corvane-merge $corvane s, with ${options[*]} $with s"
  awk -v a="$with" -v b="$corvane" 'BEGIN { printf "with options / defaults: %.2fx\n", a / b }'
  if [ -n "${BASELINE:-}" ]; then
    old=$(median "baseline")
    awk -v a="$corvane" -v b="$old" 'BEGIN { printf "baseline %.2f s; defaults / baseline: %.3fx; with options / baseline: %.2fx\n", b, a / b, '"$with"' / b }'
  fi
  # openpyxl needs minutes for the large set: it runs there only with FULL=1.
  if [ "${SKIP_OPENPYXL:-}" = "" ] && { [ "$count" = 20 ] || [ "${FULL:-}" = 1 ]; }; then
    measure "openpyxl script" "$work/py.xlsx" /usr/bin/python3 "$root/bench/openpyxl_merge.py" "$work/py.xlsx" "$dir"/*.xlsx
    python=$(cat "$work/last")
    awk -v a="$python" -v b="$corvane" 'BEGIN { printf "openpyxl / corvane-merge: %.1fx\n", a / b }'
  fi
done
