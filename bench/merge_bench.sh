#!/usr/bin/env bash
# The merge benchmark: corvane-merge against a plain openpyxl script doing the same job.
#
#   bash bench/merge_bench.sh [BUILD_DIR]
#
# Two data sets: 20 workbooks of 5,000 rows x 10 columns (1 million cells) and 100 workbooks
# of 10,000 rows x 10 columns (10 million cells). Times and peak memory come from GNU time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d /tmp/corvane-merge-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
command -v /usr/bin/time >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time >/dev/null

measure() {  # label, command...
  local label=$1; shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null
  read -r secs kb <"$work/time"
  printf '%-34s %8.2f s %8.0f MB\n' "$label" "$secs" "$((kb / 1024))"
  echo "$secs" >"$work/last"
}

for set in "20 5000" "100 10000"; do
  read -r count rows <<<"$set"
  dir="$work/in-$count"
  mkdir -p "$dir"
  "$build/make_workbooks" "$dir" "$count" "$rows"
  echo "== $count workbooks x $rows rows x 10 columns"
  for i in 1 2 3; do measure "corvane-merge (run $i)" "$build/corvane-merge" -o "$work/out.xlsx" "$dir"; done
  corvane=$(cat "$work/last")
  # openpyxl needs minutes for the large set: it runs there only with FULL=1.
  if [ "${SKIP_OPENPYXL:-}" = "" ] && { [ "$count" = 20 ] || [ "${FULL:-}" = 1 ]; }; then
    measure "openpyxl script" /usr/bin/python3 "$root/bench/openpyxl_merge.py" "$work/py.xlsx" "$dir"/*.xlsx
    python=$(cat "$work/last")
    awk -v a="$python" -v b="$corvane" 'BEGIN { printf "openpyxl / corvane-merge: %.1fx\n", a / b }'
  fi
done
