# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (POSIX threads flavour).
# The Windows libraries (Qt, QCustomPlot, libmosquitto, GoogleTest) live in one prefix, built by
# scripts/windows-deps.sh; HALVANE_WIN_PREFIX (cache variable or environment) names it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)
set(CMAKE_AR ${_mingw}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${_mingw}-gcc-ranlib-posix CACHE FILEPATH "")

if(NOT HALVANE_WIN_PREFIX)
    if(DEFINED ENV{HALVANE_WIN_PREFIX})
        set(HALVANE_WIN_PREFIX $ENV{HALVANE_WIN_PREFIX})
    else()
        set(HALVANE_WIN_PREFIX /opt/halvane-win64)
    endif()
endif()
set(HALVANE_WIN_PREFIX ${HALVANE_WIN_PREFIX} CACHE PATH "Prefix of the cross-built Windows libraries")
# Try-compile projects get the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HALVANE_WIN_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw} ${HALVANE_WIN_PREFIX})
set(CMAKE_PREFIX_PATH ${HALVANE_WIN_PREFIX})
# Programs (moc, uic, rcc through QT_HOST_PATH) come from the build machine, everything linked
# into the program from the Windows side.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config looks only at the prefix's .pc files.
set(ENV{PKG_CONFIG_LIBDIR} ${HALVANE_WIN_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(ENV{PKG_CONFIG_PATH} "")

# Host Qt of the same version for moc, rcc, uic and the cross-build helpers.
if(NOT QT_HOST_PATH)
    set(QT_HOST_PATH /usr CACHE PATH "")
endif()
if(NOT QT_HOST_PATH_CMAKE_DIR)
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
endif()
if(NOT Qt6HostInfo_DIR)
    set(Qt6HostInfo_DIR /usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo CACHE PATH "")
endif()
