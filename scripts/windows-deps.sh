#!/usr/bin/env bash
# Builds, once, the Windows libraries Halvane links into one prefix outside the source tree:
# Qt (Core, Gui, Widgets, PrintSupport, Test; windows and offscreen platform plugins), QCustomPlot,
# libmosquitto and GoogleTest, cross-compiled with MinGW-w64 from Debian's own source packages.
# Every step that is already done is skipped, so a failed run can simply be started again.
#
# Usage: scripts/windows-deps.sh
#   HALVANE_WIN_PREFIX  where the libraries go        (default /opt/halvane-win64)
#   HALVANE_WIN_WORK    where the sources are built   (default /opt/halvane-win64-work)
#   HALVANE_WIN_JOBS    parallel compile jobs         (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
REPO=$(pwd)
PREFIX=${HALVANE_WIN_PREFIX:-/opt/halvane-win64}
WORK=${HALVANE_WIN_WORK:-/opt/halvane-win64-work}
JOBS=${HALVANE_WIN_JOBS:-2}
TOOLCHAIN=$REPO/cmake/mingw-w64.cmake
START=$(date +%s)

step() { echo "windows-deps: [$(date -u +%H:%M:%S), $(( ($(date +%s) - START) / 60 )) min] $*"; }
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

# --- Debian packages -------------------------------------------------------------------------
# The cross compilers, Wine for the tests, NSIS for the installer, and the host Qt whose moc,
# rcc and uic the cross build uses (it must be the same Qt version as the source below).
PACKAGES=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
    wine64 nsis imagemagick librsvg2-bin xvfb xauth
    cmake ninja-build pkg-config dpkg-dev
    qt6-base-dev qt6-base-dev-tools googletest
)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    step "installing ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

# --- Debian source packages ------------------------------------------------------------------
# Source entries for the suite the machine runs, so that `apt-get source` gives the very
# versions Halvane is built and tested against on Linux.
SRC_LIST=/etc/apt/sources.list.d/halvane-deb-src.sources
if ! apt-get source --print-uris qt6-base >/dev/null 2>&1; then
    . /etc/os-release
    step "adding Debian source entries for $VERSION_CODENAME"
    $SUDO tee "$SRC_LIST" >/dev/null <<EOS
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $VERSION_CODENAME $VERSION_CODENAME-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOS
    $SUDO apt-get update -qq
fi

mkdir -p "$WORK" "$PREFIX"
cd "$WORK"
# Unpacks a source package once; prints its folder.
source_dir() {
    local pkg=$1 dir
    dir=$(find . -maxdepth 1 -type d -name "$pkg-[0-9]*" | sort | tail -n1)
    if [ -z "$dir" ]; then
        step "fetching the source of $pkg" >&2
        apt-get source -qq "$pkg" >/dev/null 2>&1 || apt-get source "$pkg" >&2
        dir=$(find . -maxdepth 1 -type d -name "$pkg-[0-9]*" | sort | tail -n1)
    fi
    echo "$WORK/${dir#./}"
}

CMAKE_CROSS=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DHALVANE_WIN_PREFIX="$PREFIX"
             -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_BUILD_TYPE=Release)

# --- Qt --------------------------------------------------------------------------------------
if [ -f "$PREFIX/lib/cmake/Qt6Test/Qt6TestConfig.cmake" ] \
        && [ -f "$PREFIX/plugins/platforms/qwindows.dll" ]; then
    step "Qt: already in $PREFIX"
else
    QT_SRC=$(source_dir qt6-base)
    if [ ! -f "$WORK/build-qt/build.ninja" ]; then
        step "Qt: configuring $QT_SRC"
        # Debian's source leaves out the Wintab headers, so tablet events stay off; OpenGL stays
        # on (dynamic OpenGL, the MinGW default) because the windows plugin needs it to compile.
        cmake -S "$QT_SRC" -B "$WORK/build-qt" "${CMAKE_CROSS[@]}" \
            -DQT_HOST_PATH=/usr \
            -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
            -DQt6HostInfo_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo \
            -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
            -DBUILD_WITH_PCH=OFF \
            -DFEATURE_tabletevent=OFF \
            -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF \
            -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
            -DFEATURE_printsupport=ON -DFEATURE_testlib=ON -DFEATURE_widgets=ON
    fi
    step "Qt: building ($(ninja -C "$WORK/build-qt" -n 2>/dev/null | tail -n1 | sed 's/.*\/\([0-9]*\)\].*/\1/') steps left)"
    ninja -C "$WORK/build-qt" -j"$JOBS" | awk '/^\[/ { if (++n % 50 == 0) { print "  " $0; fflush() } next } { print; fflush() }'
    step "Qt: installing into $PREFIX"
    cmake --install "$WORK/build-qt" >/dev/null
fi

# --- QCustomPlot -----------------------------------------------------------------------------
# A static library, so the installer needs no extra DLL; the same imported target name as the
# Debian package gives on Linux.
if [ -f "$PREFIX/lib/cmake/QCustomPlotQt6/QCustomPlotQt6Config.cmake" ]; then
    step "QCustomPlot: already in $PREFIX"
else
    QCP_SRC=$(source_dir qcustomplot)
    step "QCustomPlot: building $QCP_SRC"
    mkdir -p "$WORK/qcp-cmake"
    cat > "$WORK/qcp-cmake/CMakeLists.txt" <<EOC
cmake_minimum_required(VERSION 3.25)
project(qcustomplot LANGUAGES CXX)
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets PrintSupport)
set(CMAKE_AUTOMOC ON)
add_library(qcustomplot-qt6 STATIC "$QCP_SRC/qcustomplot.cpp" "$QCP_SRC/qcustomplot.h")
target_link_libraries(qcustomplot-qt6 PUBLIC Qt6::Widgets Qt6::PrintSupport)
install(TARGETS qcustomplot-qt6 ARCHIVE DESTINATION lib)
install(FILES "$QCP_SRC/qcustomplot.h" DESTINATION include)
install(FILES QCustomPlotQt6Config.cmake DESTINATION lib/cmake/QCustomPlotQt6)
EOC
    cat > "$WORK/qcp-cmake/QCustomPlotQt6Config.cmake" <<'EOC'
include(CMakeFindDependencyMacro)
find_dependency(Qt6 COMPONENTS Widgets PrintSupport)
get_filename_component(_qcp_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET QCustomPlotQt6::QCustomPlotQt6)
    add_library(QCustomPlotQt6::QCustomPlotQt6 STATIC IMPORTED)
    set_target_properties(QCustomPlotQt6::QCustomPlotQt6 PROPERTIES
        IMPORTED_LOCATION "${_qcp_prefix}/lib/libqcustomplot-qt6.a"
        INTERFACE_INCLUDE_DIRECTORIES "${_qcp_prefix}/include"
        INTERFACE_LINK_LIBRARIES "Qt6::Widgets;Qt6::PrintSupport")
endif()
set(QCustomPlotQt6_FOUND TRUE)
EOC
    cmake -S "$WORK/qcp-cmake" -B "$WORK/build-qcp" "${CMAKE_CROSS[@]}" >/dev/null
    ninja -C "$WORK/build-qcp" -j"$JOBS" >/dev/null
    cmake --install "$WORK/build-qcp" >/dev/null
fi

# --- libmosquitto ----------------------------------------------------------------------------
# The client library only (no broker, no tools), plain TCP.
if [ -f "$PREFIX/lib/pkgconfig/libmosquitto.pc" ]; then
    step "libmosquitto: already in $PREFIX"
else
    MQ_SRC=$(source_dir mosquitto)
    step "libmosquitto: building $MQ_SRC"
    # Its threading on Windows expects the MSVC pthreads-win32 build; MinGW-w64's POSIX
    # flavour brings winpthreads, found like on Linux.
    sed -i 's/^\tif (WIN32)$/\tif (WIN32 AND MSVC)/' "$MQ_SRC/CMakeLists.txt"
    cmake -S "$MQ_SRC" -B "$WORK/build-mosquitto" "${CMAKE_CROSS[@]}" -Wno-dev \
        -DWITH_TLS=OFF -DWITH_TLS_PSK=OFF -DWITH_CJSON=OFF -DWITH_BROKER=OFF -DWITH_APPS=OFF \
        -DWITH_CLIENTS=OFF -DWITH_PLUGINS=OFF -DDOCUMENTATION=OFF -DWITH_SRV=OFF \
        -DWITH_STATIC_LIBRARIES=OFF -DWITH_LIB_CPP=OFF -DWITH_THREADING=ON >/dev/null
    ninja -C "$WORK/build-mosquitto" -j"$JOBS" >/dev/null
    cmake --install "$WORK/build-mosquitto" >/dev/null
    # Its install rule leaves out the import library the linker needs.
    cp "$WORK/build-mosquitto/lib/libmosquitto.dll.a" "$PREFIX/lib/"
fi

# --- GoogleTest ------------------------------------------------------------------------------
if [ -f "$PREFIX/lib/cmake/GTest/GTestConfig.cmake" ]; then
    step "GoogleTest: already in $PREFIX"
else
    step "GoogleTest: building /usr/src/googletest"
    cmake -S /usr/src/googletest -B "$WORK/build-gtest" "${CMAKE_CROSS[@]}" \
        -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_force_shared_crt=ON >/dev/null
    ninja -C "$WORK/build-gtest" -j"$JOBS" >/dev/null
    cmake --install "$WORK/build-gtest" >/dev/null
fi

touch "$PREFIX/.halvane-deps-complete" # scripts/test.sh looks for this
step "done: everything is in $PREFIX; took $(( ($(date +%s) - START) / 60 )) min $(( ($(date +%s) - START) % 60 )) s"
