#!/usr/bin/env bash
# Installs what is needed, builds, and launches Corvane (a desktop session is needed).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$root/build"
exec "$root/build/corvane"
