#!/usr/bin/env bash
# The whole program under Xvfb: a termination signal closes it in order,
# writing the queue, the log and the settings, also while start-up shows an
# error box; a close that cannot save ends with status 1 and the reason on
# standard error.
#   signals.sh PATH_TO_VARDELO
set -euo pipefail
source "$(dirname "$0")/../lib/wait-for-window.sh"
program=$1
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# The window, or start-up's error box, is shown: start-up has run.
shown() { # pid
    wait_for_window 60 --pid "$1" --name '^Vardelo$' ||
        fail "no window of $1 came up"
}

start() { # folder [arguments...] -> pid in $pid
    local at=$1
    shift
    mkdir -p "$at/config"
    cp "$program" "$at/vardelo"
    XDG_CONFIG_HOME="$at/config" QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu" \
        "$at/vardelo" "$@" >"$at/out.txt" 2>"$at/err.txt" &
    pid=$!
    shown "$pid"
}

# SIGTERM, SIGINT and SIGHUP each save everything and end with status 0.
for signal in TERM INT HUP; do
    folder="$work/$signal"
    start "$folder"
    kill -s "$signal" "$pid"
    status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "SIG$signal: status $status ($(cat "$folder/err.txt"))"
    [ "$(stat -c %s "$folder/Lista.Vdl")" -eq 362 ] || fail "SIG$signal: Lista.Vdl not written"
    [ "$(stat -c %s "$folder/Naplo.Vdl")" -eq 489 ] || fail "SIG$signal: Naplo.Vdl not written"
    grep -q '^Ujraprobalkozasok=5$' "$folder/config/Vardelo.conf" || fail "SIG$signal: settings"
done

# While start-up's error box is open (shown from inside the window's
# constructor, before the event loop runs) SIGTERM takes the box away and
# closes in order. Start-up stopped at "Elhalt", so its stored text stays;
# the link of the command line is queued and kept.
folder="$work/startup-box"
mkdir -p "$folder/config"
printf '[General]\nElhalt=five\n' >"$folder/config/Vardelo.conf"
start "$folder" http://rapidshare.com/files/77/own.zip
grep -q '^Ujraprobalkozasok=5$' "$folder/config/Vardelo.conf" || fail "start-up box: not shown"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "start-up box: status $status ($(cat "$folder/err.txt"))"
[ "$(stat -c %s "$folder/Lista.Vdl")" -eq 362 ] || fail "start-up box: Lista.Vdl not written"
grep -aq 'rapidshare.com/files/77/own.zip' "$folder/Lista.Vdl" || fail "start-up box: the link is lost"
grep -q '^Elhalt=five$' "$folder/config/Vardelo.conf" || fail "start-up box: Elhalt replaced"

# A settings file that is no regular file (a FIFO) does not block start-up,
# and SIGTERM still closes in order, leaving it as it is.
folder="$work/settings-fifo"
mkdir -p "$folder/config"
mkfifo "$folder/config/Vardelo.conf"
start "$folder"
kill -TERM "$pid"
for _ in $(seq 200); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
    fail "settings FIFO: SIGTERM did not end the program"
fi
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "settings FIFO: status $status ($(cat "$folder/err.txt"))"
[ -p "$folder/config/Vardelo.conf" ] || fail "settings FIFO: replaced"
[ "$(stat -c %s "$folder/Lista.Vdl")" -eq 362 ] || fail "settings FIFO: Lista.Vdl not written"

# A queue file that cannot be replaced keeps the program from closing in order.
folder="$work/failing"
start "$folder"
mkdir "$folder/Lista.Vdl"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 1 ] || fail "failing close: status $status"
grep -q 'Vardelo: File access denied.' "$folder/err.txt" || fail "failing close: $(cat "$folder/err.txt")"

echo "1 passed, 0 failed"
