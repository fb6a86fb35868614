#!/usr/bin/env bash
# Holds the source tree to its layers: every folder may include only from itself and the
# layers below it, link only their libraries, and list its own sources; nothing below the
# window includes Qt. Prints each breach and fails when there is one.
#   check_layers.sh SOURCE_DIR
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root" || exit 2

# The layers bottom up, each with the folders it may include from (itself first).
below_formats="engine/core engine/containers"
declare -A allowed=(
  [engine/core]="engine/core"
  [engine/containers]="engine/containers engine/core"
  [engine/xlsx]="engine/xlsx $below_formats"
  [engine/xlsb]="engine/xlsb $below_formats"
  [engine/xls]="engine/xls $below_formats"
  [engine/ods]="engine/ods $below_formats"
  [engine/formula]="engine/formula $below_formats"
)
allowed[engine/automation]="engine/automation $below_formats engine/xlsx engine/xlsb engine/xls engine/ods engine/formula"
allowed[engine/writing]="engine/writing ${allowed[engine/automation]}"
allowed[lists]="lists ${allowed[engine/automation]}"
allowed[engine/merge]="engine/merge lists engine/writing ${allowed[engine/automation]}"
allowed[cli]="cli ${allowed[engine/merge]}"
allowed[dialogs]="dialogs"
allowed[ui]="ui dialogs ${allowed[engine/merge]}"
# The tests and benchmarks may use the engine tests' helpers that write workbooks.
allowed[tests/engine]="tests/engine ${allowed[engine/merge]}"
allowed[tests/fuzz]="tests/fuzz ${allowed[engine/merge]}"
allowed[bench]="bench tests/engine ${allowed[engine/merge]}"
allowed[tests/ui]="tests/ui tests/engine ${allowed[ui]}"
# Where Qt may be included: the window, its dialogs and their tests.
qt_folders="ui dialogs tests/ui"
# The library each layer folder builds.
declare -A target=(
  [engine/core]=corvane_core [engine/containers]=corvane_containers [engine/xlsx]=corvane_xlsx
  [engine/xlsb]=corvane_xlsb [engine/xls]=corvane_xls [engine/ods]=corvane_ods
  [engine/formula]=corvane_formula [engine/automation]=corvane_automation
  [engine/writing]=corvane_writing [lists]=corvane_lists [engine/merge]=corvane_merge
  [dialogs]=corvane_dialogs [ui]=corvane_ui
)

breaches=0
breach() {
  echo "$*" >&2
  breaches=$((breaches + 1))
}

# The folder of a path: the longest folder of the table it lies in.
folder_of() {
  local best="" f
  for f in "${!allowed[@]}"; do
    if [[ $1 == "$f"/* && ${#f} -gt ${#best} ]]; then best=$f; fi
  done
  echo "$best"
}

# The folders are all there: a moved layer must move here too.
for f in "${!allowed[@]}"; do
  [ -d "$f" ] || breach "$f: a layer of this check that the tree does not have"
done
for f in engine/*/; do
  f=${f%/}
  [ -n "${allowed[$f]+x}" ] || breach "$f: a folder of the engine that no layer of this check names"
done

# Includes.
while IFS= read -r file; do
  from=$(folder_of "$file")
  [ -n "$from" ] || continue
  while IFS=: read -r line inc; do
    if [[ $inc =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
      path=${BASH_REMATCH[1]}
      [[ $path == */* ]] || continue  # a file generated beside the source (moc)
      to=$(folder_of "$path")
      if [ -z "$to" ]; then
        breach "$file:$line: includes $path, which lies in no layer"
      elif [[ " ${allowed[$from]} " != *" $to "* ]]; then
        breach "$file:$line: $from includes $path from $to, which is not below it"
      fi
    elif [[ $inc =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<Q ]] && [[ " $qt_folders " != *" $from "* ]]; then
      breach "$file:$line: Qt included below the window"
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file")
done < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' 2>/dev/null ||
         find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||')

# Each library links only layers below it and lists its own sources, no others.
for f in "${!target[@]}"; do
  cm=$f/CMakeLists.txt
  [ -f "$cm" ] || { breach "$cm: missing"; continue; }
  grep -q 'file(GLOB' "$cm" && breach "$cm: globs its sources; list them"
  for src in "$f"/*.cpp; do
    [ -e "$src" ] || continue
    grep -qw "$(basename "$src")" "$cm" || breach "$cm: does not list $(basename "$src")"
  done
  for lib in $(sed -n '/target_link_libraries/,/)/p' "$cm" | grep -o 'corvane_[a-z]*' | sort -u); do
    [ "$lib" = "${target[$f]}" ] && continue
    ok=0
    for below in ${allowed[$f]}; do
      [ "${target[$below]:-}" = "$lib" ] && ok=1
    done
    [ $ok = 1 ] || breach "$cm: ${target[$f]} links $lib, which is not below it"
  done
done

if [ $breaches -gt 0 ]; then
  echo "$breaches breach(es) of the layers" >&2
  exit 1
fi
echo "layers hold"
