#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each for a while, starting from
# the seeds committed in fuzz/corpus/<target>/ (what a run finds is kept in build-fuzz/corpus/).
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target names...]
# Without names every target of fuzz/*.cmake runs.
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
    mapfile -t TARGETS < <(grep -ho '^add_executable([A-Za-z0-9_]*' fuzz/*.cmake | cut -d'(' -f2)
fi
scripts/build.sh "$DIR" "${TARGETS[@]}"
for t in "${TARGETS[@]}"; do
    mkdir -p "$DIR/corpus/$t"
    seeds=()
    [ -d "fuzz/corpus/$t" ] && seeds=("fuzz/corpus/$t")
    echo "fuzz: $t for ${SECONDS_PER_TARGET}s"
    log="$DIR/fuzz-$t.log"
    if ! "$DIR/fuzz/$t" -max_total_time="$SECONDS_PER_TARGET" -max_len=30000 \
        -print_final_stats=1 -artifact_prefix="$DIR/" "$DIR/corpus/$t" "${seeds[@]}" \
        >"$log" 2>&1; then
        tail -n 60 "$log" >&2
        echo "fuzz: $t found a fault; the input is in $DIR/, the whole log in $log" >&2
        exit 1
    fi
    grep -E '^(Done |stat::average_exec_per_sec)' "$log" || true
done
