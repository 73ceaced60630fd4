#!/usr/bin/env bash
# Runs a test program on a private X display that has a notification area.
set -euo pipefail
trayer --SetDockType true --expand false --widthtype pixel --width 120 >/dev/null 2>&1 &
tray=$!
trap 'kill "$tray" 2>/dev/null || true' EXIT # only the panel started here
sleep 1
QT_QPA_PLATFORM=xcb "$@"
