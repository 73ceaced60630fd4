#!/usr/bin/env bash
# Builds the window tests with ThreadSanitizer into build-tsan/ (apart from the
# ASan build) and runs those of the background save and the download cycle. A
# race fails them. The end-to-end and whole-program tests stay out: Qt's thread
# pool and the browser engine, built without the sanitizer, report races of
# their own in every run.
#
#   tests/tsan/run.sh [ctest arguments...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$root/build-tsan"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVARDELO_TSAN=ON >/dev/null
cmake --build "$build" --target vardelo_window_tests

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$here/suppressions.txt"
cd "$build"
ctest --output-on-failure -j1 \
    -R '^(Store|BackgroundSaveOrder|CycleInTheWindow|CycleAlone)\.' \
    "$@"
