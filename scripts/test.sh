#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: in an optimised build, there a second
# time under a German locale (LC_ALL=de_DE.UTF-8), once more, window and dialogs included, under
# AddressSanitizer and UndefinedBehaviorSanitizer; then the tests of what runs on several
# threads (merges read ahead, saves deflate on every core) under ThreadSanitizer. Every build
# here treats compiler warnings as errors.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen
bash "$root/scripts/build.sh" "$root/build" -DCORVANE_WERROR=ON
(cd "$root/build" && ctest --output-on-failure -j2)
# Once more under a German locale, whose decimal comma shows any number written or read
# through the C library's locale; the window tests set the languages they check themselves.
(cd "$root/build" && LC_ALL=de_DE.UTF-8 ctest --output-on-failure -j2)
# Debug with light optimisation: every check, at a speed that keeps the corpus tests short.
bash "$root/scripts/build.sh" "$root/build-asan" -DCORVANE_SANITIZE=ON -DCORVANE_WERROR=ON -DCORVANE_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$root/build-asan" && ctest --output-on-failure -j2 -LE slow)
bash "$root/scripts/build.sh" "$root/build-tsan" -DCORVANE_TSAN=ON -DCORVANE_WERROR=ON -DCORVANE_BENCH=OFF -DCORVANE_UI=OFF
export TSAN_OPTIONS="halt_on_error=1:suppressions=$root/tests/tsan.supp"
(cd "$root/build-tsan" && ./engine_tests --gtest_filter='ReadingAhead.*:Merging*:MergeCli*:Corpus.EveryWorkbook*:ZipWriterTest.*:XlsxValues.EveryValue*')
