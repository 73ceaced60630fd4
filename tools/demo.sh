#!/usr/bin/env bash
# Vardelo against the local file host: a handful of sample files, a dead link,
# a busy page, links of other hosts' page shapes (walked by their host
# profiles; one of them asks to wait 20 seconds first) among them, short
# waits. Run through `./run demo`.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/deps.sh

demo=build/demo
rm -rf "$demo"
mkdir -p "$demo/config" "$demo/Letoltesek" "$demo/screens"
cp build/vardelo build/vardelo_webengine.so "$demo/"
cp -r build/Skins build/HostProfiles "$demo/"
# The other host shapes' profiles, as a user would drop them in.
cp tests/e2e/HostProfiles/30-redirect-form.json tests/e2e/HostProfiles/50-xfilesharing.json \
    tests/e2e/HostProfiles/60-xfilesharing-seconds.json "$demo/HostProfiles/"

build/vardelo_testhost --wait 5 --links "$demo/links.txt" >"$demo/host.log" 2>&1 &
host=$!
cleanup() {
    kill "$host" 2>/dev/null || true
    [ -n "${VARDELO_XVFB_PID:-}" ] && kill "$VARDELO_XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -s "$demo/links.txt" ] && break; sleep 0.1; done
mapfile -t links <"$demo/links.txt"
build/vardelo_records queue "$demo/Lista.Vdl" "${links[@]}"
cat >"$demo/config/Vardelo.conf" <<CONF
[General]
Automatikus_letoltes=1
Mentes_helye=$(pwd)/$demo/Letoltesek
Ujraprobalkozasok=2
Elhalt=3
Egyszerre=3
CONF
export XDG_CONFIG_HOME="$(pwd)/$demo/config"

echo "Demo folder: $(pwd)/$demo (its own program copy, queue, log and settings)"
echo "The file host serves:"
printf '  %s\n' "${links[@]}"

if [ -n "${DISPLAY:-}" ]; then
    "$demo/vardelo"
    exit 0
fi

vardelo_start_xvfb
"$demo/vardelo" &
app=$!
# A screenshot a second while the queue runs; the queue is done when the
# background save has written an empty Lista.Vdl.
for second in $(seq -w 1 90); do
    sleep 1
    import -window root "$demo/screens/$second.png" 2>/dev/null || true
    if [ "$second" -gt 5 ] && build/vardelo_records empty "$demo/Lista.Vdl"; then
        break
    fi
done
kill -TERM "$app"
wait "$app" || true

echo
echo "Log (Naplo.Vdl):"
build/vardelo_records print "$demo/Naplo.Vdl" | sed 's/^/  /'
echo "All-time statistics:"
grep -E '^osszes_' "$demo/config/Vardelo.conf" | sed 's/^/  /'
echo "Downloaded files:"
ls -l "$demo/Letoltesek" | tail -n +2 | sed 's/^/  /'
echo "Screenshots, one a second (a countdown and transfers among them): $(pwd)/$demo/screens/"
