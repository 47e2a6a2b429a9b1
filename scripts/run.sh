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
echo "run: no display found; running under Xvfb for about 40 s."
echo "run: screenshots go to $BUILD_DIR/halvane-run-simple-page.png and halvane-run-main-page.png"
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    build="$0"; shift
    "$build/halvane" --simulator "$@" & pid=$!
    # The splash shows for 3 s, then the simple page connects to the simulator by itself and
    # the controller learns its peaks. Choose peak f as an operator would, then look at both pages.
    sleep 12
    wid=$(xdotool search --name "Halvane v" | head -1)
    [ -n "$wid" ] && xdotool mousemove --window "$wid" 200 280 click 1
    sleep 20
    import -window root "$build/halvane-run-simple-page.png"
    [ -n "$wid" ] && xdotool mousemove --window "$wid" 1035 633 click 1
    sleep 5
    import -window root "$build/halvane-run-main-page.png"
    kill $pid; wait $pid || true' "$BUILD_DIR" "$@"
