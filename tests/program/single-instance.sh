#!/usr/bin/env bash
# The whole program under Xvfb, one program per record folder: a later start
# hands its links over to the running one and ends at once; two starts never
# both keep the same record files; a lock left by a killed program is taken
# over; a running program that does not answer makes a later start give up
# with status 1 instead of waiting for ever; a start, first or later, says on
# standard output which of its links a host profile knew to be queued
# already; a start by the browser's host
# waits for the links it is handed, so auto-start takes them; neither side of
# the socket talks to another user's process. A later start that wrongly keeps
# running is ended by `timeout` and fails the test.
#   single-instance.sh PATH_TO_VARDELO PATH_TO_VARDELO_RECORDS
set -euo pipefail
source "$(dirname "$0")/../lib/wait-for-window.sh"
program=$1
records=$2
work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -CONT "$p" 2>/dev/null || true; kill -KILL "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# A window of the program, or start-up's error box, is shown.
shown() {
    wait_for_window 60 --name '^Vardelo$' ||
        fail "no window came up"
}

folder="$work/program"
mkdir -p "$folder/config" "$work/run"
chmod 700 "$work/run"
cp "$program" "$folder/vardelo"
# The browser part goes along, so that a started cycle loads pages.
cp "$(dirname "$program")/vardelo_webengine.so" "$folder/"
link() { echo "http://rapidshare.com/files/$1/file$1.zip"; }
# A host profile whose link forms ".../x/a.html" and ".../x/a" are one link.
export XDG_DATA_HOME="$work/data"
mkdir -p "$XDG_DATA_HOME/Vardelo/HostProfiles"
cat >"$XDG_DATA_HOME/Vardelo/HostProfiles/x.json" <<'JSON'
{"name": "X", "links": ["^http://127\\.0\\.0\\.1:9/x/"], "after_wait": "#b",
 "rewrite": [["^(http://127\\.0\\.0\\.1:9/x/\\w+)\\.html$", "\\1"]]}
JSON
profiled=http://127.0.0.1:9/x/a

run() { # arguments... ; the program of $folder, in the background -> pid in $pid
    XDG_CONFIG_HOME="$folder/config" XDG_RUNTIME_DIR="$work/run" \
        QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu" "$folder/vardelo" "$@" \
        >>"$folder/out.txt" 2>>"$folder/err.txt" &
    pid=$!
    pids+=("$pid")
}
wait_until_up() { # the first start has read its settings and shows its window
    for _ in $(seq 150); do
        [ -s "$folder/config/Vardelo.conf" ] && break
        sleep 0.1
    done
    [ -s "$folder/config/Vardelo.conf" ] || fail "the first start did not come up"
    shown
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }
close_in_order() { # pid
    kill -TERM "$1"
    local status=0
    wait "$1" || status=$?
    [ "$status" -eq 0 ] || fail "closing: status $status ($(cat "$folder/err.txt"))"
}
queued() { "$records" print "$folder/Lista.Vdl" | cut -d'|' -f2 | tr -d ' '; }

# A first start queues its links after the stored queue; a later one hands
# links and list files over, leaves out what is neither, and ends with 0.
# Both say which links were there already.
"$records" queue "$folder/Lista.Vdl" "$(link 0)" "$profiled"
run "$(link 1)" "$profiled.html"
first=$pid
wait_until_up
already=$(printf 'A link már a listában van:\n  %s' "$profiled")
[ "$(cat "$folder/out.txt")" = "$already" ] || fail "first start's output: $(cat "$folder/out.txt")"
printf '%s\r\n\r\n%s\r\n' "$(link 3)" "$(link 4)" >"$work/list.txt"
began=$(now_ms)
status=0
(cd "$work" && XDG_CONFIG_HOME="$folder/config" XDG_RUNTIME_DIR="$work/run" \
    timeout 20 "$folder/vardelo" "$(link 2)" list.txt "no link" $'\xff\x01\r\n' "$work" "$profiled" \
    >"$work/second-out.txt" 2>"$work/second-err.txt") || status=$?
took=$(($(now_ms) - began))
[ "$status" -eq 0 ] || fail "handing over: status $status ($(cat "$work/second-err.txt"))"
[ "$took" -lt 3000 ] || fail "handing over took $took ms"
[ "$(grep -c 'kihagyva' "$work/second-err.txt")" -eq 3 ] ||
    fail "left-out arguments: $(cat "$work/second-err.txt")"
[ "$(cat "$work/second-out.txt")" = "$already" ] ||
    fail "later start's output: $(cat "$work/second-out.txt")"
kill -0 "$first" || fail "the first start ended"
close_in_order "$first"
expected=$(link 0; echo "$profiled"; for n in 1 2 3 4; do link "$n"; done)
[ "$(queued)" = "$expected" ] || fail "queue after handing over: $(queued)"

# Two starts at once: one keeps the folder, the other hands over and ends.
rm -f "$folder/config/Vardelo.conf"
run
a=$pid
run "$(link 5)"
b=$pid
wait_until_up
for _ in $(seq 100); do
    { kill -0 "$a" 2>/dev/null && kill -0 "$b" 2>/dev/null; } || break
    sleep 0.1
done
if kill -0 "$a" 2>/dev/null; then keeper=$a; other=$b; else keeper=$b; other=$a; fi
kill -0 "$other" 2>/dev/null && fail "two programs keep the same record folder"
status=0
wait "$other" || status=$?
[ "$status" -eq 0 ] || fail "the start that lost: status $status ($(cat "$folder/err.txt"))"
close_in_order "$keeper"
expected=$(link 0; echo "$profiled"; for n in 1 2 3 4 5; do link "$n"; done)
[ "$(queued)" = "$expected" ] || fail "queue after two starts at once: $(queued)"

# A killed program leaves its lock file and socket behind; the next start
# keeps the folder, and later starts hand over to it.
rm -f "$folder/config/Vardelo.conf"
run
wait_until_up
kill -KILL "$pid"
wait "$pid" || true
[ -e "$folder/Vardelo.lock" ] || fail "no lock file in the record folder"
[ "$(stat -c %a "$folder/Vardelo.lock")" = 600 ] || fail "lock file mode $(stat -c %a "$folder/Vardelo.lock")"
ls "$work/run"/vardelo-* >/dev/null 2>&1 || fail "no socket left behind"
rm -f "$folder/config/Vardelo.conf"
run "$(link 6)"
keeper=$pid
wait_until_up
kill -0 "$keeper" || fail "the start after a crash ended: $(cat "$folder/err.txt")"
XDG_CONFIG_HOME="$folder/config" XDG_RUNTIME_DIR="$work/run" timeout 20 "$folder/vardelo" "$(link 7)" ||
    fail "handing over after a crash"
close_in_order "$keeper"
expected=$(link 0; echo "$profiled"; for n in 1 2 3 4 5 6 7; do link "$n"; done)
[ "$(queued)" = "$expected" ] || fail "queue after a crash: $(queued)"

# A program that does not answer: the later start gives up with status 1 and
# says so, and the stopped program's queue is left to it.
rm -f "$folder/config/Vardelo.conf"
run
keeper=$pid
wait_until_up
kill -STOP "$keeper" 2>/dev/null || fail "the first start ended by itself: $(cat "$folder/err.txt")"
began=$(now_ms)
status=0
XDG_CONFIG_HOME="$folder/config" XDG_RUNTIME_DIR="$work/run" timeout 20 "$folder/vardelo" "$(link 8)" \
    2>"$work/third-err.txt" || status=$?
took=$(($(now_ms) - began))
kill -CONT "$keeper"
[ "$status" -eq 1 ] || fail "no answer: status $status"
[ "$took" -lt 9000 ] || fail "no answer: gave up after $took ms"
grep -q 'nem válaszolt' "$work/third-err.txt" || fail "no answer: $(cat "$work/third-err.txt")"
close_in_order "$keeper"
[ "$(queued)" = "$expected" ] || fail "queue after a refused start: $(queued)"

# While start-up's error box is open (the window is not built yet) a later
# start still hands its link over at once; the link is queued behind the
# stored ones and kept by the close.
printf '[General]\nElhalt=five\n' >"$folder/config/Vardelo.conf"
run
keeper=$pid
for _ in $(seq 150); do # start-up writes the missing values before "Elhalt"
    grep -q '^Ujraprobalkozasok=5' "$folder/config/Vardelo.conf" && break
    sleep 0.1
done
shown
status=0
XDG_CONFIG_HOME="$folder/config" XDG_RUNTIME_DIR="$work/run" timeout 20 "$folder/vardelo" "$(link 9)" \
    2>"$work/box-err.txt" || status=$?
[ "$status" -eq 0 ] || fail "handing over to a start-up box: status $status ($(cat "$work/box-err.txt"))"
close_in_order "$keeper"
expected=$(link 0; echo "$profiled"; for n in 1 2 3 4 5 6 7 9; do link "$n"; done)
[ "$(queued)" = "$expected" ] || fail "queue after handing over to a start-up box: $(queued)"

# Started by the browser's host (--await-links) with auto-start on: the
# links it is handed at once are queued before auto-start looks, so the
# first one is tried without a key press (a closed local port: its page
# fails, which the diagnostics log tells).
rm -f "$folder/Lista.Vdl" "$folder/Naplo.Vdl"
printf '[General]\nAutomatikus_letoltes=1\nUjraprobalkozasok=1\n' >"$folder/config/Vardelo.conf"
printf 'http://127.0.0.1:9/handed.bin\r\n' >"$work/handed.txt"
XDG_CONFIG_HOME="$folder/config" XDG_RUNTIME_DIR="$work/run" XDG_STATE_HOME="$work/state" \
    QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu" "$folder/vardelo" --await-links \
    >>"$folder/out.txt" 2>>"$folder/err.txt" &
keeper=$!
pids+=("$keeper")
for _ in $(seq 100); do
    flock -n -x "$folder/Vardelo.lock" true 2>/dev/null || break
    sleep 0.1
done
XDG_CONFIG_HOME="$folder/config" XDG_RUNTIME_DIR="$work/run" timeout 20 "$folder/vardelo" "$work/handed.txt" ||
    fail "handing over to a start that awaits its links"
for _ in $(seq 300); do
    grep -q 'attempt failed: http://127.0.0.1:9/handed.bin' "$work/state/Vardelo/vardelo.log" 2>/dev/null && break
    sleep 0.1
done
grep -q 'attempt failed: http://127.0.0.1:9/handed.bin' "$work/state/Vardelo/vardelo.log" 2>/dev/null ||
    fail "auto-start did not take the handed link: $(cat "$work/state/Vardelo/vardelo.log" 2>/dev/null)"
close_in_order "$keeper"

# A lock file of another user that this user cannot open: status 1 and a
# line on standard error, at once (checked where the test runs as root).
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    # Another user's process at the socket's name, in this user's own folder
    # (where only root could have let it in): a later start and the
    # browser's host hand it nothing, and say why, at once.
    socket="$work/run/vardelo-$(printf %s "$(realpath "$folder")" | sha256sum | cut -c1-24)"
    rm -f "$socket"
    perl -MSocket -MPOSIX -e '
        my ($path, $log) = @ARGV;
        socket(my $s, PF_UNIX, SOCK_STREAM, 0) or die "socket: $!";
        bind($s, pack_sockaddr_un($path)) or die "bind: $!";
        open(my $out, ">", $log) or die;
        $out->autoflush(1);
        POSIX::setgid(65534); POSIX::setuid(65534) or die "setuid: $!";
        listen($s, 5) or die "listen: $!";
        print $out "listening\n";
        while (accept(my $c, $s)) { my $n = sysread($c, my $got, 65536); print $out "got $n\n"; close $c; }
    ' "$socket" "$work/stranger.txt" &
    pids+=("$!")
    # One process that holds the lock itself, so that ending it frees the lock.
    perl -e 'use Fcntl ":flock"; open(my $f, "<", $ARGV[0]) or die; flock($f, LOCK_EX) or die; sleep 60' \
        "$folder/Vardelo.lock" &
    pids+=("$!")
    for _ in $(seq 100); do
        grep -q listening "$work/stranger.txt" 2>/dev/null && ! flock -n -x "$folder/Vardelo.lock" true && break
        sleep 0.1
    done
    grep -q listening "$work/stranger.txt" || fail "the stranger did not listen"
    began=$(now_ms)
    status=0
    XDG_CONFIG_HOME="$folder/config" XDG_RUNTIME_DIR="$work/run" timeout 20 "$folder/vardelo" "$(link 12)" \
        2>"$work/stranger-err.txt" || status=$?
    took=$(($(now_ms) - began))
    [ "$status" -eq 1 ] || fail "a stranger at the socket: status $status ($(cat "$work/stranger-err.txt"))"
    [ "$took" -lt 3000 ] || fail "a stranger at the socket: gave up after $took ms"
    grep -q 'másik felhasználó (uid 65534)' "$work/stranger-err.txt" ||
        fail "a stranger at the socket: $(cat "$work/stranger-err.txt")"
    frame() { # message -> the browser's frame: its length in 4 little-endian bytes, then it
        local n=${#1}
        printf '%b%s' "\\x$(printf %02x $((n & 255)))\\x$(printf %02x $((n >> 8 & 255)))\\x00\\x00" "$1"
    }
    answer=$(frame '{"links": ["http://127.0.0.1:9/from-the-browser.zip"]}' |
        XDG_CONFIG_HOME="$folder/config" XDG_RUNTIME_DIR="$work/run" \
            timeout 20 "$folder/vardelo" --native-messaging 2>"$work/host-err.txt" | tail -c +5)
    grep -q '"ok":false' <<<"$answer" && grep -q 'másik felhasználó programja' <<<"$answer" ||
        fail "the browser's host handing to a stranger answered: $answer ($(cat "$work/host-err.txt"))"
    ! grep -q 'got [1-9]' "$work/stranger.txt" || fail "the stranger was told: $(cat "$work/stranger.txt")"
    for p in "${pids[@]: -2}"; do kill -KILL "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done

    # The running program hears nothing from another user's process (here one
    # that the folders and the socket let in, as only root could have set
    # them): the message is refused unread, with a line on standard error, and
    # nothing is queued.
    rm -f "$folder/config/Vardelo.conf"
    run
    keeper=$pid
    wait_until_up
    chmod 711 "$work" "$work/run"
    chmod 777 "$socket"
    stranger_link=http://rapidshare.com/files/13/from-a-stranger.zip
    reply=$(setpriv --reuid=nobody --regid=nogroup --clear-groups perl -MSocket -e '
        my ($path, $link) = @ARGV;
        # The program may close the connection before the message is out.
        $SIG{PIPE} = "IGNORE";
        socket(my $s, PF_UNIX, SOCK_STREAM, 0) or die "socket: $!";
        connect($s, pack_sockaddr_un($path)) or die "connect: $!";
        my $message = "\x00" . pack("N", 1) . pack("N", length $link) . $link;
        syswrite($s, pack("N", length $message) . $message);
        my $reply = ""; while (sysread($s, my $got, 4096)) { $reply .= $got; }
        print length($reply) ? "replied" : "closed";
    ' "$socket" "$stranger_link" 2>"$work/connect-err.txt") ||
        fail "the stranger could not reach the socket: $(cat "$work/connect-err.txt")"
    chmod 700 "$work" "$work/run"
    [ "$reply" = closed ] || fail "the running program answered another user: $reply"
    grep -q 'másik felhasználó (uid 65534)' "$folder/err.txt" || fail "no line on another user: $(cat "$folder/err.txt")"
    close_in_order "$keeper"
    queue_now=$(queued)
    ! grep -qF "$stranger_link" <<<"$queue_now" || fail "another user's link was queued"

    chmod 600 "$folder/Vardelo.lock"
    chmod 755 "$work"
    chmod 777 "$folder"
    mkdir -m 700 "$work/run-nobody"
    chown nobody "$work/run-nobody"
    status=0
    HOME="$work" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run-nobody" \
        timeout 20 setpriv --reuid=nobody --regid=nogroup --clear-groups \
        "$folder/vardelo" "$(link 10)" 2>"$work/other-err.txt" || status=$?
    [ "$status" -eq 1 ] || fail "another user's lock: status $status ($(cat "$work/other-err.txt"))"
    grep -q 'Vardelo.lock' "$work/other-err.txt" || fail "another user's lock: $(cat "$work/other-err.txt")"

    # Another user holding a shared lock on a lock file an older program left
    # readable to all: this start ends at once, and the file becomes private.
    chmod 644 "$folder/Vardelo.lock"
    # One process that holds the lock itself, so its id is the holder's.
    setpriv --reuid=nobody --regid=nogroup --clear-groups perl -e \
        'use Fcntl ":flock"; open(my $f, "<", $ARGV[0]) or die; flock($f, LOCK_SH) or die; sleep 60' \
        "$folder/Vardelo.lock" &
    pids+=("$!")
    for _ in $(seq 100); do
        flock -n -x "$folder/Vardelo.lock" true 2>/dev/null || break
        sleep 0.1
    done
    flock -n -x "$folder/Vardelo.lock" true 2>/dev/null && fail "the other user's lock was not taken"
    began=$(now_ms)
    status=0
    XDG_CONFIG_HOME="$folder/config" XDG_RUNTIME_DIR="$work/run" timeout 20 "$folder/vardelo" "$(link 11)" \
        2>"$work/shared-err.txt" || status=$?
    took=$(($(now_ms) - began))
    [ "$status" -eq 1 ] || fail "another user's shared lock: status $status ($(cat "$work/shared-err.txt"))"
    [ "$took" -lt 3000 ] || fail "another user's shared lock: gave up after $took ms"
    grep -q 'másik felhasználó' "$work/shared-err.txt" || fail "another user's shared lock: $(cat "$work/shared-err.txt")"
    [ "$(stat -c %a "$folder/Vardelo.lock")" = 600 ] || fail "the lock file stayed readable to all"
else
    echo "another user's locks: skipped (needs root and setpriv)"
fi

echo "1 passed, 0 failed"
