#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each one
# from its seeds for a few seconds with a fixed seed. A crash, a sanitizer
# report, a hang or a broken property fails the run; the input that did it is
# kept in build-fuzz/artifacts/.
#
#   tests/fuzz/run.sh [target...]          (VARDELO_FUZZ_SECONDS=5 per target)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$root/build-fuzz"
seconds="${VARDELO_FUZZ_SECONDS:-5}"

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja >/dev/null
cmake --build "$build"

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(record_file list_text cp1250 wait_page clipboard_links static_page)
mkdir -p "$build/artifacts"
failed=()
for target in "${targets[@]}"; do
    # A fresh corpus each time, so the same seed explores the same way.
    corpus="$build/corpus/$target"
    rm -rf "$corpus"
    mkdir -p "$corpus"
    log="$build/$target.log"
    if "$build/vardelo_${target}_fuzz" -seed=1 -max_total_time="$seconds" -timeout=10 \
        -artifact_prefix="$build/artifacts/$target-" "$corpus" "$here/seeds/$target" \
        >"$log" 2>&1; then
        echo "fuzz $target: $(grep -E "^Done [0-9]+ runs" "$log" || true)"
    else
        tail -n 40 "$log"
        echo "fuzz $target: FAILED (log $log)"
        failed+=("$target")
    fi
done
echo "fuzz: $((${#targets[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
