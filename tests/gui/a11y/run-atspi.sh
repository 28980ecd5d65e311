#!/bin/sh
# Usage: run-atspi.sh DRIVER.py PROGRAM [ARGS...]
# Xvfb + private session D-Bus + AT-SPI bus/registry; starts PROGRAM in the background,
# runs /usr/bin/python3 DRIVER.py (env APP_PID = program's pid), tears everything down.
# Run it with sh: it starts itself again inside the session bus the same way.
# Exit status = driver's. Env: SCREEN (default 1280x1024x24).
set -u
[ $# -ge 2 ] || { echo "usage: $0 DRIVER.py PROGRAM [ARGS...]" >&2; exit 2; }
if [ -z "${ATSPI_INNER:-}" ]; then
    export ATSPI_INNER=1
    # Xvfb OUTSIDE dbus-run-session: dbus-daemon and everything it activates
    # (at-spi-bus-launcher, at-spi2-registryd) must inherit DISPLAY.
    # A display number of its own: a server that has just been stopped on the display before
    # (another test's, a check's) removes its socket as it goes, taking the new server's with it.
    exec xvfb-run -a -n $((200 + $$ % 500)) -s "-screen 0 ${SCREEN:-1280x1024x24} -nolisten tcp" \
         dbus-run-session -- sh "$0" "$@"
fi
DRIVER=$1; shift
XDG_RUNTIME_DIR=$(mktemp -d "${TMPDIR:-/tmp}/atspi-run.XXXXXX"); export XDG_RUNTIME_DIR
# a11y bus with IsEnabled=true (Qt then turns its bridge on by itself)
/usr/libexec/at-spi-bus-launcher --launch-immediately --a11y=1 2>/dev/null &
LAUNCHER=$!
i=0   # wait until it owns org.a11y.Bus (NameHasOwner does not auto-activate a 2nd one)
until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q true; do
    i=$((i+1)); [ $i -gt 600 ] && { echo "a11y bus did not start" >&2; break; }; sleep 0.05
done
export QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb
"$@" &
APP_PID=$!
# Now and then, on a loaded machine, the program finds no display and ends at once ("could not
# connect to display"); it is started once more, after saying so.
sleep 2
if ! kill -0 "$APP_PID" 2>/dev/null; then
    echo "run-atspi: the program ended at once on display $DISPLAY ($(ls /tmp/.X11-unix 2>&1 | tr '\n' ' ')); started again" >&2
    sleep 1
    "$@" &
    APP_PID=$!
fi
export APP_PID
/usr/bin/python3 "$DRIVER"
RC=$?
kill "$APP_PID" 2>/dev/null; wait "$APP_PID" 2>/dev/null
kill "$LAUNCHER" 2>/dev/null; wait "$LAUNCHER" 2>/dev/null
rm -rf "$XDG_RUNTIME_DIR"
exit $RC
