#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each for a while.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target names...]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET="${1:-60}"
shift || true
DIR="${FUZZ_BUILD_DIR:-build-fuzz}"
if [ ! -f "$DIR/build.ninja" ]; then
    CXX=clang++ cmake -S . -B "$DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DHALVANE_FUZZ=ON -DHALVANE_CORE_ONLY=ON \
        -DHALVANE_BENCH=OFF >/dev/null
fi
TARGETS=("$@")
if [ ${#TARGETS[@]} -eq 0 ]; then
    mapfile -t TARGETS < <(grep -ho 'add_executable([A-Za-z0-9_]*Fuzzer' fuzz/*.cmake | cut -d'(' -f2)
fi
scripts/build.sh "$DIR" "${TARGETS[@]}"
for t in "${TARGETS[@]}"; do
    mkdir -p "$DIR/corpus/$t"
    echo "fuzz: $t for ${SECONDS_PER_TARGET}s"
    "$DIR/fuzz/$t" -max_total_time="$SECONDS_PER_TARGET" -max_len=30000 -print_final_stats=1 \
        "$DIR/corpus/$t"
done
