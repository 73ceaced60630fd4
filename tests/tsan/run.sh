#!/usr/bin/env bash
# Builds the threaded parts' tests with ThreadSanitizer into build-tsan/ (apart
# from the ASan build) and runs them: the transfer worker, the background save,
# the one-program-per-folder lock and the download cycle. A race fails them.
#
#   tests/tsan/run.sh [ctest arguments...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$root/build-tsan"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVARDELO_TSAN=ON >/dev/null
cmake --build "$build" --target vardelo vardelo_records vardelo_window_tests vardelo_e2e_tests

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$here/suppressions.txt"
cd "$build"
ctest --output-on-failure -j1 \
    -R '^(Store|BackgroundSaveOrder|CycleInTheWindow|CycleAgainstTheHost|Resume)\.|^WholeProgram\.OneProgramPerRecordFolder$' \
    "$@"
