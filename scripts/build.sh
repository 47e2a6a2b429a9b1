#!/usr/bin/env bash
# Builds the tree; a machine-wide lock keeps two builds from running at once on the two cores.
# Usage: scripts/build.sh [build-dir] [ninja targets...]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"
shift || true
scripts/setup.sh "$BUILD_DIR"
# Moc must rescan when headers join a target (an incremental-build gap of AUTOMOC with Ninja).
find "$BUILD_DIR" -maxdepth 4 -path '*_autogen/timestamp' -delete 2>/dev/null || true
# Several checkouts of the tree share one compiler cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(pwd)}" CCACHE_NOHASHDIR=1
exec flock /tmp/halvane-build.lock cmake --build "$BUILD_DIR" -j2 -- "$@"
