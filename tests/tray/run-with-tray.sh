#!/usr/bin/env bash
# Runs a test program on a private X display that has a notification area.
# The panel's process id is kept in a file the test may update when it
# restarts the panel, so only the panel started for this run is ended.
set -euo pipefail
source "$(dirname "$0")/../lib/wait-for-window.sh"
pidfile=$(mktemp)
trayer --SetDockType true --expand false --widthtype pixel --width 120 >/dev/null 2>&1 &
echo $! >"$pidfile"
trap 'kill "$(cat "$pidfile")" 2>/dev/null || true; rm -f "$pidfile"' EXIT
# The panel is up; the tests wait for its notification area themselves.
wait_for_window 30 --classname '^panel$' || { echo 'FAIL: no panel came up' >&2; exit 1; }
VARDELO_TRAYER_PIDFILE="$pidfile" QT_QPA_PLATFORM=xcb "$@"
