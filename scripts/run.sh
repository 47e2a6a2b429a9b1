#!/usr/bin/env bash
# Builds Halvane and starts it with the simulated laser system.
# Without a display (a bare server or a container) it runs under Xvfb and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
scripts/build.sh "$BUILD_DIR"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$BUILD_DIR/halvane" --simulator "$@"
fi
echo "run: no display found; running under Xvfb for 20 s, screenshot in $BUILD_DIR/halvane-screenshot.png"
xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
    "$0/halvane" --simulator "${@}" & pid=$!
    sleep 18
    import -window root "$0/halvane-screenshot.png" || xwd -root -silent | convert xwd:- "$0/halvane-screenshot.png"
    sleep 2; kill $pid; wait $pid || true' "$BUILD_DIR" "$@"
