#!/usr/bin/env bash
# The operator window with every chart fed while the simulated laser system streams at the link's
# full line rate, for at least 60 s: CPU share of one core, event-loop lag (99th percentile),
# memory at start and end. Two runs: error-signal frames offered every 1 ms (more than the line
# carries: the line is saturated, mostly with error-signal frames) and every 2 ms (every other
# stream at its full rate beside them). Uses a virtual X display when xvfb-run is there (set
# QT_QPA_PLATFORM to choose another platform, e.g. offscreen).
# Usage: bench/gui_load.sh [build-dir] [seconds] [warm-up seconds] [error periods in ms...]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"
RUN_SECONDS="${2:-60}"
WARMUP_SECONDS="${3:-10}"
shift $(($# < 3 ? $# : 3))
PERIODS=("${@:-1 2}")
scripts/build.sh "$BUILD_DIR" gui_load_bench >/dev/null
BIN="$BUILD_DIR/bench/gui_load_bench"
for period in ${PERIODS[*]}; do
    ARGS=(--seconds="$RUN_SECONDS" --warmup="$WARMUP_SECONDS" --error-period-ms="$period")
    if [ -z "${QT_QPA_PLATFORM:-}" ] && command -v xvfb-run >/dev/null; then
        echo "platform: xcb on a virtual display (xvfb-run)"
        xvfb-run -a -s "-screen 0 1920x1080x24" "$BIN" "${ARGS[@]}" 2>/dev/null
    else
        echo "platform: ${QT_QPA_PLATFORM:-offscreen}"
        QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$BIN" "${ARGS[@]}" 2>/dev/null
    fi
done
