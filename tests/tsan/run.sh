#!/usr/bin/env bash
# Builds the tests with ThreadSanitizer into build-tsan/ (apart from the ASan
# build) and runs those of the threads: the background save, the download
# cycle in and out of the window, the transfer worker against the local test
# host, the package worker, and the single instance with the whole program
# built the same way.
# Every report of the sanitizer, from a test or from a program it starts,
# lands in build-tsan/tsan-logs/; any file there fails the run.
#
#   tests/tsan/run.sh [ctest arguments...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$root/build-tsan"
logs="$build/tsan-logs"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVARDELO_TSAN=ON >/dev/null
cmake --build "$build" --target vardelo_window_tests vardelo_e2e_tests vardelo vardelo_records

rm -rf "$logs"
mkdir -p "$logs"
# Qt and the browser engine are built without the sanitizer: what happens
# only inside them is theirs to answer for, not a finding of this run.
# QProcess starts a program with clone(CLONE_VM | CLONE_VFORK), and the
# sanitizer's clone hook then marks the parent itself as a child forked from
# many threads: the parent's next thread would end the run, though nothing is
# wrong (die_after_fork). What the starting thread does after that goes
# unwatched; the rest of the process is watched as before.
tsan_options=(halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 die_after_fork=0
    "suppressions=$here/suppressions.txt" "log_path=$logs/report")
export TSAN_OPTIONS="${tsan_options[*]}"
cd "$build"
status=0
ctest --output-on-failure -j1 \
    -R '^((Store|BackgroundSaveOrder|CycleInTheWindow|SessionAlone|CycleAgainstTheHost|HostileHost|LateAnswers|Resume|Unpacking)\.|WholeProgram\.OneProgramPerRecordFolder$)' \
    "$@" || status=$?

if compgen -G "$logs/report*" >/dev/null; then
    echo "ThreadSanitizer reported:" >&2
    cat "$logs"/report* >&2
    exit 1
fi
exit "$status"
