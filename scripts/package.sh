#!/usr/bin/env bash
# Builds the Debian package (CPack) in the build tree and checks it with lintian. With
# --install-check it then installs the package with apt-get, starts the installed program
# briefly (offscreen) against the in-process simulator and against halvane-sim on a
# pseudo-terminal, and removes the package again.
# Usage: scripts/package.sh [build-dir] [--install-check]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${1:-build}"
INSTALL_CHECK="${2:-}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

scripts/build.sh "$BUILD_DIR" halvane halvane-sim halvane-stability halvane_changelog halvane_manpages
(cd "$BUILD_DIR" && rm -f halvane_*.deb && cpack -G DEB >/dev/null)
DEB=$(ls "$BUILD_DIR"/halvane_*.deb)
echo "package: $DEB"
dpkg-deb --info "$DEB" | grep -E '^ (Package|Version|Depends):'
# Errors fail the step; warnings (no manual page, ...) are shown.
lintian --fail-on error --tag-display-limit 0 "$DEB"
desktop-file-validate packaging/org.halvane.Halvane.desktop
appstreamcli validate --no-net --explain packaging/org.halvane.Halvane.metainfo.xml >/dev/null

[ "$INSTALL_CHECK" = "--install-check" ] || exit 0

echo "package: installing $DEB"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=300 \
    "$(realpath "$DEB")" >/dev/null
trap '$SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq -o DPkg::Lock::Timeout=300 halvane >/dev/null' EXIT
for f in /usr/bin/halvane /usr/bin/halvane-sim /usr/lib/udev/rules.d/70-halvane.rules \
         /usr/share/applications/org.halvane.Halvane.desktop \
         /usr/share/icons/hicolor/scalable/apps/org.halvane.Halvane.svg \
         /usr/share/metainfo/org.halvane.Halvane.metainfo.xml; do
    [ -e "$f" ] || { echo "package: $f is missing"; exit 1; }
done
/usr/bin/halvane --help | grep -q -- '--port PATH'

# A session's own lock directory, so another copy running on this machine cannot refuse it.
RUNTIME=$(mktemp -d)
rc=0
XDG_RUNTIME_DIR="$RUNTIME" QT_QPA_PLATFORM=offscreen timeout 6 /usr/bin/halvane --simulator \
    >/dev/null 2>&1 || rc=$?
[ "$rc" = 124 ] || { echo "package: halvane --simulator ended early ($rc)"; exit 1; }
echo "package: /usr/bin/halvane --simulator ran for 6 s"

# The installed program over the tty layer: halvane-sim counts what reached it.
OUT="$RUNTIME/sim.out"
/usr/bin/halvane-sim --pty --quick >"$OUT" & SIM=$!
for _ in $(seq 50); do [ -s "$OUT" ] && break; sleep 0.1; done
PTY=$(head -1 "$OUT")
rc=0
XDG_RUNTIME_DIR="$RUNTIME" QT_QPA_PLATFORM=offscreen timeout 8 /usr/bin/halvane --port "$PTY" \
    >/dev/null 2>&1 || rc=$?
kill -TERM "$SIM"; wait "$SIM"
SUMMARY=$(tail -1 "$OUT")
rm -rf "$RUNTIME"
echo "package: halvane --port $PTY: halvane-sim $SUMMARY"
[ "$rc" = 124 ] || { echo "package: halvane --port ended early ($rc)"; exit 1; }
echo "$SUMMARY" | grep -Eq '^received [1-9][0-9]* frames, 0 with a bad checksum; sent [1-9]' ||
    { echo "package: the installed program did not talk to halvane-sim"; exit 1; }
