#!/usr/bin/env bash
# The emulator of the Windows build tree: runs a Windows program under Wine. GoogleTest's test
# listing is passed on without Windows' carriage returns, which CMake's test discovery would
# otherwise keep in the suite names.
WINE=${HALVANE_WINE:-/usr/lib/wine/wine64}
for a in "$@"; do
    if [ "$a" = --gtest_list_tests ]; then
        set -o pipefail
        "$WINE" "$@" | tr -d '\r'
        exit
    fi
done
exec "$WINE" "$@"
