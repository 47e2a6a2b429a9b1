#!/usr/bin/env bash
# Builds Halvane and runs every test (CTest + GoogleTest, widgets offscreen).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
scripts/build.sh "$BUILD_DIR"
export QT_QPA_PLATFORM=offscreen
cd "$BUILD_DIR"
ctest --output-on-failure -j2 --timeout 300
