#!/usr/bin/env bash
# Takes the README's screenshots into docs/: the main window, the Merge Options dialog and a
# merge's workbook window.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$root/build"
QT_QPA_PLATFORM=offscreen "$root/build/corvane-screenshots" "$(realpath "${CORVANE_CORPUS:-$root/../shared/corpus}")" "$root/docs"
echo "docs/main-window.png, docs/dialog3.png and docs/workbook-window.png written"
