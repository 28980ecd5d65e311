#!/bin/sh
# Usage: register-window.sh ZB32
# The register window driven as a clerk would, through the accessibility tree of the real desk
# on a virtual display (register_window.py), over a workspace of its own made with ZB32's command
# line. Exit 77 (skipped) when the display or the accessibility packages are not there, unless the
# test set-up requires every test to run (ZB32_TEST_PG_REQUIRED, set by scripts/test.sh, which
# installs them): then their absence is a failure.
set -u
[ $# -eq 1 ] || { echo "usage: $0 ZB32" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
zb32=$1

missing=""
command -v xvfb-run >/dev/null 2>&1 || missing="$missing xvfb"
command -v xauth >/dev/null 2>&1 || missing="$missing xauth"
command -v dbus-run-session >/dev/null 2>&1 || missing="$missing dbus-x11"
[ -x /usr/libexec/at-spi-bus-launcher ] || missing="$missing at-spi2-core"
/usr/bin/python3 -c "import pyatspi" >/dev/null 2>&1 || missing="$missing python3-pyatspi"
why=""
if [ -n "$missing" ]; then
    why="Debian packages not installed:$missing"
elif ! xvfb-run -a -n $((800 + $$ % 100)) -s "-screen 0 640x480x24 -nolisten tcp" true >/dev/null 2>&1; then
    why="the virtual display (Xvfb) does not start"
fi
if [ -n "$why" ]; then
    if [ -n "${ZB32_TEST_PG_REQUIRED:-}" ]; then
        echo "FAIL: $why" >&2
        exit 1
    fi
    echo "SKIP: $why"
    exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/zb32-a11y.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
ZB32_DRIVE_Z=$work/Z ZB32_DRIVE_C=$work/C
export ZB32_DRIVE_Z ZB32_DRIVE_C
/usr/bin/python3 "$here/register_window.py" prepare "$zb32" || exit 1
sh "$here/run-atspi.sh" "$here/register_window.py" "$zb32"
