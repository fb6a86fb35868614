#!/usr/bin/env bash
# Runs every fuzzing harness over its seeds (made afresh from the corpus) and the findings
# kept in tests/data/fuzz/<harness>/, without exploring: a finding that was fixed stays fixed.
#   replay.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(realpath -m "${1:-$root/build-fuzz}")
source "$root/tests/fuzz/harnesses.sh"
bash "$root/tests/fuzz/build.sh" "$dir"
rm -rf "$dir/seeds"
python3 "$root/tests/fuzz/make_seeds.py" "${CORVANE_CORPUS:-$root/../shared/corpus}" "$dir/seeds"
failed=0
for h in "${fuzz_harnesses[@]}"; do
  inputs=("$dir/seeds/$h")
  [ -d "$root/tests/data/fuzz/$h" ] && inputs+=("$root/tests/data/fuzz/$h")
  mkdir -p "$dir/seeds/$h" "$dir/logs"
  start=$(date +%s)
  if (cd "$dir" && "./${h}_fuzzer" "${fuzz_limits[@]}" -runs=0 -artifact_prefix="$dir/logs/replay-$h-" "${inputs[@]}" >"$dir/logs/replay-$h.log" 2>&1); then
    echo "fuzz replay $h: $(grep -o 'INITED.*' "$dir/logs/replay-$h.log" | head -1 | grep -o 'corp: [0-9]*' || true), $(($(date +%s) - start)) s"
  else
    echo "fuzz replay $h FAILED (log: $dir/logs/replay-$h.log)"
    tail -30 "$dir/logs/replay-$h.log"
    failed=1
  fi
done
exit $failed
