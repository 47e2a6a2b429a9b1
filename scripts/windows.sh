#!/usr/bin/env bash
# Builds Halvane for Windows with MinGW-w64 against the libraries of scripts/windows-deps.sh,
# runs its tests under Wine (widgets offscreen, the program's own windows on Xvfb), and makes
# the installer (halvane-<version>-win64-setup.exe) and the portable zip. Then installs the
# installer silently under Wine, starts the installed program with the simulated laser system,
# takes a picture of it, and uninstalls it again.
#
# Usage: scripts/windows.sh [--no-tests] [--no-install-check]
#   HALVANE_WIN_PREFIX     the libraries' prefix         (default /opt/halvane-win64)
#   HALVANE_WIN_BUILD_DIR  the build tree                (default build-win64)
#   HALVANE_WINEPREFIX     Wine's own folder, made once  (default ~/.wine-halvane)
#   HALVANE_WIN_SCREENSHOT where the picture goes        (default <build>/halvane-wine.png)
set -euo pipefail
cd "$(dirname "$0")/.."
START=$(date +%s)
PREFIX=${HALVANE_WIN_PREFIX:-/opt/halvane-win64}
BUILD_DIR=${HALVANE_WIN_BUILD_DIR:-build-win64}
RUN_TESTS=1
INSTALL_CHECK=1
for a in "$@"; do
    case "$a" in
        --no-tests) RUN_TESTS=0 ;;
        --no-install-check) INSTALL_CHECK=0 ;;
        *) echo "usage: $0 [--no-tests] [--no-install-check]" >&2; exit 2 ;;
    esac
done
say() { echo "windows: [$(( $(date +%s) - START )) s] $*"; }

if [ ! -f "$PREFIX/.halvane-deps-complete" ]; then
    echo "windows: no Windows libraries in $PREFIX: run scripts/windows-deps.sh first" >&2
    exit 1
fi

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export WINEPREFIX=${HALVANE_WINEPREFIX:-$HOME/.wine-halvane}
export WINEDEBUG=-all WINEARCH=win64
# No .NET or HTML engine download prompts: the programs need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="

# --- Build (one build at a time on this machine: the same lock as scripts/build.sh) ----------
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(pwd)}" CCACHE_NOHASHDIR=1
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    say "configuring $BUILD_DIR against $PREFIX"
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/mingw-w64.cmake" \
        -DHALVANE_WIN_PREFIX="$PREFIX" -DCMAKE_BUILD_TYPE=Release -DHALVANE_BENCH=OFF \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_CROSSCOMPILING_EMULATOR="$(pwd)/cmake/wine-run.sh" >/dev/null
else
    cmake -S . -B "$BUILD_DIR" >/dev/null
fi
say "building (waits for the machine's build lock)"
find "$BUILD_DIR" -maxdepth 4 -path '*_autogen/timestamp' -delete 2>/dev/null || true
flock /tmp/halvane-build.lock cmake --build "$BUILD_DIR" -j2
say "built"

# --- Wine --------------------------------------------------------------------------------------
# The DLLs' folders as Windows paths: the prefix's (Qt, libmosquitto) and the compiler's runtime.
runtime_dirs=("$PREFIX/bin")
for dll in libstdc++-6.dll libwinpthread-1.dll; do
    runtime_dirs+=("$(dirname "$(realpath "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)")")")
done
WINEPATH=""
for d in "${runtime_dirs[@]}"; do WINEPATH+="${WINEPATH:+;}Z:$d"; done
export WINEPATH
export QT_PLUGIN_PATH="Z:$PREFIX/plugins"
# The offscreen platform reads fonts from a folder: the same DejaVu fonts as the Linux tests.
export QT_QPA_FONTDIR="Z:/usr/share/fonts/truetype/dejavu"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    say "making the Wine folder $WINEPREFIX"
    "$WINE" wineboot --init >/dev/null 2>&1 || true
    "$WINESERVER" -w
fi

# One X server for everything below that shows a window; Wine draws there.
DISPLAY_NUM=""
cleanup() {
    "$WINESERVER" -k 2>/dev/null || true
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
for n in $(seq 90 99); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then DISPLAY_NUM=$n; break; fi
done
Xvfb ":$DISPLAY_NUM" -screen 0 1400x1000x24 -nolisten tcp >/dev/null 2>&1 & XVFB_PID=$!
export DISPLAY=":$DISPLAY_NUM"
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$DISPLAY_NUM" ] && break; sleep 0.1; done
# A wineserver kept running across the many short test processes, and Wine's own services
# started once, here, with nothing to hold open: started by a test they would inherit its output
# pipe and keep CTest waiting for its end.
"$WINESERVER" -p
"$WINE" wineboot </dev/null >/dev/null 2>&1 || true

# --- Tests under Wine --------------------------------------------------------------------------
# Left out under Wine, each for its reason (README, "Windows"):
#  - a symbolic link to a firmware file (Windows makes shortcuts, not links);
#  - a recording's folder removed while the file in it is open (Windows refuses that);
#  - pixel and layout measures of the spin edit, the peak table's selection, the firmware page's
#    and the service panel's pictures and a hidden chart's repaint count (Wine's font
#    rendering and window metrics differ from Linux's offscreen ones);
#  - the Stable32 reference tables: the test unpacks its data sets with the host's gzip, and
#    through Wine the GPS receiver's set arrives cut short (every other set agrees). The
#    program itself is not affected: halvane-stability.exe under Wine prints the same tables for
#    that set as on Linux, byte for byte.
WINE_EXCLUDE='ParserTest.ALinkIsFollowedToItsFile|Recording.AVanishedFolderClosesTheRecording'
WINE_EXCLUDE+='|RealSpinEdit.ButtonsAreSquareAtBothEnds|TuningWindow.SelectedRowIsSilverAndTheLockedRowBold'
WINE_EXCLUDE+='|FirmwarePage.ScreenshotsDuringAndAfterAGoodRun|Charts.AHiddenChartRepaintsOnlyWhenItShowsAgain'
WINE_EXCLUDE+='|Screenshots.ServicePanelAndChartPages|Stable32Reference.EveryTableAgrees'
if [ "$RUN_TESTS" = 1 ]; then
    say "running the tests under Wine"
    (cd "$BUILD_DIR" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300 \
        -E "$WINE_EXCLUDE") |
        tee "$BUILD_DIR/wine-tests.log" | grep -E "tests passed|tests failed|\*\*\*|Failed|Timeout|^ +[0-9]+ - " || true
    grep -q "100% tests passed" "$BUILD_DIR/wine-tests.log" || { say "tests failed"; exit 1; }
    say "$(grep -E 'tests passed' "$BUILD_DIR/wine-tests.log")"
fi

# --- Installer and zip -------------------------------------------------------------------------
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD_DIR/CMakeCache.txt")
rm -f "$BUILD_DIR"/halvane-*-win64-setup.exe "$BUILD_DIR"/halvane-*-win64-portable.zip
(cd "$BUILD_DIR" && cpack >/dev/null)
SETUP="$BUILD_DIR/halvane-$VERSION-win64-setup.exe"
ZIP="$BUILD_DIR/halvane-$VERSION-win64-portable.zip"
[ -f "$SETUP" ] && [ -f "$ZIP" ] || { say "cpack made no installer or zip"; exit 1; }
say "installer $SETUP ($(( $(stat -c %s "$SETUP") / 1024 )) KiB), zip $ZIP ($(( $(stat -c %s "$ZIP") / 1024 )) KiB)"

[ "$INSTALL_CHECK" = 1 ] || exit 0

# --- The installer under Wine: silent install, start, picture, silent uninstall ---------------
INSTDIR="$WINEPREFIX/drive_c/Program Files/Halvane"
MENU="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Halvane"
say "installing silently (/S)"
# Only the installed program's own folder on the search path: a missing DLL shows here.
WINEPATH="" QT_PLUGIN_PATH="" "$WINE" "$SETUP" /S
for f in bin/halvane.exe bin/Qt6Core.dll bin/platforms/qwindows.dll bin/libstdc++-6.dll \
         USB-DRIVER.txt Uninstall.exe; do
    [ -f "$INSTDIR/$f" ] || { say "not installed: $f"; exit 1; }
done
[ -f "$MENU/Halvane.lnk" ] || { say "no Start-menu entry in $MENU"; ls -R "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu" || true; exit 1; }
say "installed in C:\\Program Files\\Halvane with its Start-menu entry"

say "starting the installed halvane.exe --simulator on $DISPLAY"
WINEPATH="" QT_PLUGIN_PATH="" "$WINE" "C:\\Program Files\\Halvane\\bin\\halvane.exe" --simulator \
    >"$BUILD_DIR/installed-run.log" 2>&1 & APP=$!
# The main window shows once the splash has gone; the simulated laser then finds and locks its
# peak, which takes it some seconds more.
found=""
for _ in $(seq 600); do
    found=$(xdotool search --onlyvisible --name "SIMULATOR" 2>/dev/null | head -1 || true)
    [ -n "$found" ] && break
    kill -0 "$APP" 2>/dev/null || break
    sleep 0.1
done
[ -n "$found" ] || { say "the installed program showed no window"; cat "$BUILD_DIR/installed-run.log"; exit 1; }
say "its window is up; choosing peak f as an operator would"
# As scripts/run.sh does: the simple page connects by itself, then peak f is clicked and the
# simulated controller searches and locks (a picture to look at, not a test).
sleep 9
xdotool mousemove --window "$found" 200 280 click 1 2>/dev/null || true
sleep "${HALVANE_WIN_SETTLE_SECONDS:-25}"
SHOT=${HALVANE_WIN_SCREENSHOT:-$BUILD_DIR/halvane-wine.png}
import -display "$DISPLAY" -window root "$SHOT"
say "picture of the installed program: $SHOT"
# Closed as from its close button: a close message to its windows.
"$WINE" taskkill /IM halvane.exe >/dev/null 2>&1 || true
rc=0
for _ in $(seq 300); do kill -0 "$APP" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$APP" 2>/dev/null; then kill "$APP"; rc=1; fi
wait "$APP" || rc=$?
[ "$rc" = 0 ] || { say "the installed program did not end cleanly ($rc)"; exit 1; }

say "uninstalling silently"
"$WINE" "C:\\Program Files\\Halvane\\Uninstall.exe" /S
# The uninstaller copies itself away and returns at once: wait for its work.
for _ in $(seq 600); do [ -e "$INSTDIR/bin/halvane.exe" ] || break; sleep 0.1; done
for _ in $(seq 100); do [ -e "$MENU/Halvane.lnk" ] || break; sleep 0.1; done
[ ! -e "$INSTDIR/bin/halvane.exe" ] && [ ! -e "$MENU/Halvane.lnk" ] ||
    { say "the uninstaller left files"; exit 1; }
say "uninstalled; took $(( $(date +%s) - START )) s in all"
