#!/usr/bin/env bash
# Installs what is needed, builds, and launches Corvane.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$root/build"
if [ -x "$root/build/corvane" ]; then
  exec "$root/build/corvane"
fi
echo "The engine and its tests are built in build/; the main window is not part of this build yet."
