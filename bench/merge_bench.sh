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
}

for set in "20 5000" "100 10000"; do
  read -r count rows <<<"$set"
  dir="$work/in-$count"
  mkdir -p "$dir"
  "$build/make_workbooks" "$dir" "$count" "$rows"
  echo "== $count workbooks x $rows rows x 10 columns"
  for i in 1 2 3 4 5; do measure "corvane-merge (run $i)" "$work/out.xlsx" "$build/corvane-merge" -o "$work/out.xlsx" "$dir"; done
  corvane=$(cat "$work/last")
  # openpyxl needs minutes for the large set: it runs there only with FULL=1.
  if [ "${SKIP_OPENPYXL:-}" = "" ] && { [ "$count" = 20 ] || [ "${FULL:-}" = 1 ]; }; then
    measure "openpyxl script" "$work/py.xlsx" /usr/bin/python3 "$root/bench/openpyxl_merge.py" "$work/py.xlsx" "$dir"/*.xlsx
    python=$(cat "$work/last")
    awk -v a="$python" -v b="$corvane" 'BEGIN { printf "openpyxl / corvane-merge: %.1fx\n", a / b }'
  fi
done
