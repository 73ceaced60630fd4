#!/usr/bin/env bash
# The whole program under Xvfb: a termination signal closes it in order,
# writing the queue, the log and the settings, also while start-up shows an
# error box; a close that cannot save ends with status 1 and the reason on
# standard error. Esc and F5, pressed as a user presses them, still reach the
# window once the page engine has started, which loads no OpenGL driver.
#   signals.sh PATH_TO_VARDELO PATH_TO_BROWSER_MODULE PATH_TO_TEST_HOST
#              PATH_TO_VARDELO_RECORDS
set -euo pipefail
source "$(dirname "$0")/../lib/wait-for-window.sh"
program=$1
module=$2
testhost=$3
records=$4
work=$(mktemp -d)
host=
trap '[ -z "$host" ] || kill "$host"; chmod -R u+w "$work"; rm -rf "$work"' EXIT
export XDG_STATE_HOME="$work/state"
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

# Esc and F5 from the keyboard, through the X server, after F5 has started
# the page engine: the engine leaves the window's native surface, and with it
# the keyboard focus, as they were. Esc stops the countdown before the file
# is asked for; F5 starts it again and the file comes.
folder="$work/keys"
mkdir -p "$folder/config" "$folder/files"
"$testhost" --wait 4 --links "$folder/links.txt" >/dev/null 2>&1 &
host=$!
for _ in $(seq 100); do [ -s "$folder/links.txt" ] && break; sleep 0.1; done
link=$(grep -m1 'demo-song.mp3' "$folder/links.txt") || fail "keys: the test host gave no link"
printf '[General]\nMentes_helye=%s\n' "$folder/files" >"$folder/config/Vardelo.conf"
cp "$module" "$folder/"
"$records" queue "$folder/Lista.Vdl" "$link"
start "$folder"
window=$(xdotool search --onlyvisible --pid "$pid" --name '^Vardelo$' | head -1)
xdotool windowfocus --sync "$window"
xdotool key F5
for _ in $(seq 600); do
    grep -qs 'browser started' "$XDG_STATE_HOME/Vardelo/vardelo.log" && break
    sleep 0.1
done
grep -qs 'browser started' "$XDG_STATE_HOME/Vardelo/vardelo.log" || fail "keys: F5 started nothing"
# The pages are composed in software: the driver would stay for good.
! grep -Eq '_dri\.so|libGLX_|libLLVM' "/proc/$pid/maps" || fail "keys: an OpenGL driver was loaded"
xdotool key Escape
# The countdown is 4 s: a stop that did not happen shows as the file.
sleep 10
[ ! -e "$folder/files/demo-song.mp3" ] || fail "keys: Esc did not stop the countdown"
[ "$(xdotool search --onlyvisible --pid "$pid" --name '^Vardelo$' | head -1)" = "$window" ] ||
    fail "keys: the window was made anew"
[ "$(xdotool getwindowfocus)" = "$window" ] || fail "keys: the window lost the keyboard focus"
xdotool key F5
for _ in $(seq 300); do [ -s "$folder/files/demo-song.mp3" ] && break; sleep 0.1; done
[ -s "$folder/files/demo-song.mp3" ] || fail "keys: F5 did not start the cycle again"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "keys: status $status ($(cat "$folder/err.txt"))"

kill "$host"
host=

# What became of a link is stored with its outcome: the queue, the log and
# the all-time counters of a program killed outright a moment later. And
# when the desktop goes away under the program (its X server ends), it
# closes in order as at a signal: everything saved, status 0.
lost_display=
trap '[ -z "$host" ] || kill "$host"; [ -z "$lost_display" ] || kill "$lost_display";
      chmod -R u+w "$work"; rm -rf "$work"' EXIT
for ending in kill display; do
    folder="$work/ended-by-$ending"
    mkdir -p "$folder/config" "$folder/files"
    "$testhost" --wait 0 --links "$folder/links.txt" >/dev/null 2>&1 &
    host=$!
    for _ in $(seq 100); do [ -s "$folder/links.txt" ] && break; sleep 0.1; done
    link=$(grep -m1 'demo-song.mp3' "$folder/links.txt") || fail "$ending: the test host gave no link"
    printf '[General]\nMentes_helye=%s\nAutomatikus_letoltes=1\n' "$folder/files" \
        >"$folder/config/Vardelo.conf"
    cp "$module" "$folder/"
    "$records" queue "$folder/Lista.Vdl" "$link"
    outer_display=$DISPLAY
    if [ "$ending" = display ]; then
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$folder/display" 2>/dev/null &
        lost_display=$!
        for _ in $(seq 100); do [ -s "$folder/display" ] && break; sleep 0.1; done
        export DISPLAY=":$(cat "$folder/display")"
    fi
    : >"$XDG_STATE_HOME/Vardelo/vardelo.log"
    start "$folder"
    export DISPLAY=$outer_display
    for _ in $(seq 600); do grep -qs 'downloaded' "$XDG_STATE_HOME/Vardelo/vardelo.log" && break; sleep 0.1; done
    grep -qs 'downloaded' "$XDG_STATE_HOME/Vardelo/vardelo.log" || fail "$ending: nothing was downloaded"
    if [ "$ending" = kill ]; then
        # Well inside the few seconds a background save of any change waits.
        for _ in $(seq 15); do grep -aqs 'demo-song.mp3' "$folder/Naplo.Vdl" && break; sleep 0.1; done
        kill -KILL "$pid"
        wait "$pid" || true
    else
        kill "$lost_display"
        wait "$lost_display" || true
        lost_display=
        status=0
        wait "$pid" || status=$?
        [ "$status" -eq 0 ] || fail "display: status $status ($(cat "$folder/err.txt"))"
        grep -q '^Ujraprobalkozasok=5$' "$folder/config/Vardelo.conf" ||
            fail "display: the settings were not saved"
    fi
    grep -aq 'demo-song.mp3' "$folder/Naplo.Vdl" || fail "$ending: the outcome is not in the log"
    ! grep -aq 'demo-song.mp3' "$folder/Lista.Vdl" || fail "$ending: the link is still queued"
    grep -q '^osszes_letoltott_db=1$' "$folder/config/Vardelo.conf" ||
        fail "$ending: the all-time counter was not stored"
    kill "$host"
    host=
done

echo "1 passed, 0 failed"
