#!/bin/sh
# Runs a test program on a virtual X display managed by a light window manager, so windows get
# a real frame of the manager's own height. Exit 77 (skipped) when either is not installed.
command -v xvfb-run >/dev/null 2>&1 || { echo "SKIP: xvfb-run is not installed (Debian package xvfb)"; exit 77; }
command -v openbox >/dev/null 2>&1 || { echo "SKIP: openbox is not installed (Debian package openbox)"; exit 77; }
exec xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    openbox --sm-disable >/dev/null 2>&1 &
    wm=$!
    "$@"
    rc=$?
    kill "$wm" 2>/dev/null
    exit "$rc"' sh "$@"
