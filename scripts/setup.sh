#!/usr/bin/env bash
# Installs the Debian packages Halvane needs (only those missing) and configures the build tree.
# Usage: scripts/setup.sh [build-dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

# Every Debian package the project needs, in one place.
PACKAGES=(
    build-essential cmake ninja-build pkg-config ccache
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libqcustomplot-dev libqcustomplot2.1-qt6
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth x11-apps imagemagick xdotool dbus-daemon
    clang libclang-rt-14-dev clang-format
    fonts-dejavu-core
    libmosquitto-dev mosquitto mosquitto-clients openssl
    dpkg-dev lintian desktop-file-utils appstream
    srecord
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

BUILD_DIR="${1:-build}"
shift || true
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "$@" >/dev/null
else
    # Re-read the build description so that new folders and files are picked up.
    cmake -S . -B "$BUILD_DIR" "$@" >/dev/null
fi
