#!/usr/bin/env bash
# Builds the libFuzzer harnesses (tests/fuzz) with clang into build-fuzz/ and runs each one in
# turn for SECONDS (default 60), never two at once, then prints per harness the executions,
# the coverage reached (cov: edges) and the findings. What a run finds goes to
# build-fuzz/findings/<harness>/; the inputs it learnt to build-fuzz/corpus/<harness>/, kept
# for the next run. A fixed finding belongs in tests/data/fuzz/<harness>/.
# FUZZ_JOBS=N runs N processes of the harness at once over the same corpus (one per core),
# each for SECONDS; the executions printed are their sum. FUZZ_FLAGS adds libFuzzer flags to
# every run: -max_len=16384 keeps the inputs small (libFuzzer cuts longer ones it loads), so
# that the readers run ten times faster; -runs=N ends each job after N inputs.
#   bash scripts/fuzz.sh [SECONDS] [HARNESS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-60}
jobs=${FUZZ_JOBS:-1}
shift || true
dir=$root/build-fuzz
source "$root/tests/fuzz/harnesses.sh"
bash "$root/tests/fuzz/build.sh" "$dir"
rm -rf "$dir/seeds"
python3 "$root/tests/fuzz/make_seeds.py" "${CORVANE_CORPUS:-$root/../shared/corpus}" "$dir/seeds"
list=("$@")
# By default every harness the build has (tests/fuzz/CMakeLists.txt lists them).
if [ ${#list[@]} -eq 0 ]; then
  for f in "$dir"/*_fuzzer; do list+=("$(basename "$f" _fuzzer)"); done
fi
summary=()
for h in "${list[@]}"; do
  mkdir -p "$dir/corpus/$h" "$dir/findings/$h" "$dir/seeds/$h" "$dir/logs"
  before=$(find "$dir/findings/$h" -type f | wc -l)
  args=("${fuzz_limits[@]}" -max_total_time="$secs" -print_final_stats=1 -artifact_prefix="$dir/findings/$h/")
  [ -n "${fuzz_dict[$h]}" ] && args+=(-dict="$root/tests/fuzz/dict/${fuzz_dict[$h]}.dict")
  regress=()
  [ -d "$root/tests/data/fuzz/$h" ] && regress=("$root/tests/data/fuzz/$h")
  echo "== $h: $secs s x $jobs" >&2
  rm -rf "$dir/logs/$h" && mkdir -p "$dir/logs/$h"
  # Every job writes its own log (fuzz-N.log) in the folder it runs in; one job writes to
  # standard error, sent to a log of the same name.
  [ "$jobs" -gt 1 ] && args+=(-jobs="$jobs" -workers="$jobs" -reload=1)
  read -r -a extra <<<"${FUZZ_FLAGS:-}"
  args+=("${extra[@]}")
  (cd "$dir/logs/$h" && nice -n 10 "$dir/${h}_fuzzer" "${args[@]}" "$dir/corpus/$h" "$dir/seeds/$h" "${regress[@]}" \
     >fuzz-main.log 2>&1) || true
  [ "$jobs" -gt 1 ] || mv "$dir/logs/$h/fuzz-main.log" "$dir/logs/$h/fuzz-0.log"
  execs=$(cat "$dir/logs/$h"/fuzz-[0-9]*.log | grep -o 'stat::number_of_executed_units: [0-9]*' |
          awk '{n += $2} END {print n + 0}')
  cov=$(cat "$dir/logs/$h"/fuzz-[0-9]*.log | grep -o 'cov: [0-9]*' | awk '$2 > m {m = $2} END {print m + 0}')
  after=$(find "$dir/findings/$h" -type f | wc -l)
  summary+=("$(printf '%-16s executions %10s  cov %6s  findings %s' "$h" "${execs:-?}" "${cov:-?}" $((after - before)))")
done
printf '%s\n' "${summary[@]}"
