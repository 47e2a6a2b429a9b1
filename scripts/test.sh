#!/usr/bin/env bash
# Builds Halvane and runs every test (CTest + GoogleTest, widgets offscreen), then builds the
# core (everything without a widget) under AddressSanitizer + UndefinedBehaviorSanitizer in a
# second tree and runs the core tests there, and last runs every fuzz target for a short smoke
# time over its committed seeds (build-fuzz, clang).
# Set HALVANE_SKIP_ASAN=1 to skip the sanitizer tree, HALVANE_SKIP_FUZZ=1 to skip the fuzz
# smoke; HALVANE_FUZZ_SECONDS sets its time per target (default 15).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
ASAN_BUILD_DIR="${ASAN_BUILD_DIR:-build-asan}"
export QT_QPA_PLATFORM=offscreen

scripts/build.sh "$BUILD_DIR"
(cd "$BUILD_DIR" && ctest --output-on-failure -j2 --timeout 300)

# The Debian package: built, checked by lintian, installed, started from /usr/bin, removed.
if [ "${HALVANE_SKIP_PACKAGE:-0}" != 1 ]; then
    echo "test: the Debian package"
    scripts/package.sh "$BUILD_DIR" --install-check
fi

if [ "${HALVANE_SKIP_ASAN:-0}" != 1 ]; then
    echo "test: core tests under AddressSanitizer + UndefinedBehaviorSanitizer ($ASAN_BUILD_DIR)"
    scripts/setup.sh "$ASAN_BUILD_DIR" -DHALVANE_ASAN=ON -DHALVANE_CORE_ONLY=ON -DHALVANE_BENCH=OFF
    scripts/build.sh "$ASAN_BUILD_DIR"
    (cd "$ASAN_BUILD_DIR" &&
        ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}" \
        UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}" \
        ctest --output-on-failure -j2 --timeout 300 -L core)
fi

if [ "${HALVANE_SKIP_FUZZ:-0}" != 1 ]; then
    echo "test: every fuzz target for ${HALVANE_FUZZ_SECONDS:-15}s over its seeds (build-fuzz)"
    scripts/fuzz.sh "${HALVANE_FUZZ_SECONDS:-15}"
fi

WIN_PREFIX="${HALVANE_WIN_PREFIX:-/opt/halvane-win64}"
# The Windows build and its tests under Wine, where scripts/windows-deps.sh has built the
# libraries on this machine (HALVANE_SKIP_WINDOWS=1 leaves them out).
if [ "${HALVANE_SKIP_WINDOWS:-0}" = 1 ]; then
    echo "test: Windows build and Wine tests skipped (HALVANE_SKIP_WINDOWS=1)"
elif [ -f "$WIN_PREFIX/.halvane-deps-complete" ]; then
    echo "test: the Windows build, its tests under Wine, the installer ($WIN_PREFIX)"
    scripts/windows.sh
else
    echo "test: Windows build and Wine tests skipped: no Windows libraries in $WIN_PREFIX (scripts/windows-deps.sh builds them)"
fi
