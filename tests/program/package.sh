#!/usr/bin/env bash
# The Debian package, made from the program this build has already built:
# its name, its maintainer, its dependencies from dpkg-shlibdeps, what it
# installs where, no error that lintian knows of (where lintian is
# installed), and that the program it installs keeps its records in
# $XDG_DATA_HOME/Vardelo, never in its own folder, also when that folder is
# writable. As root it also installs the package into a root folder of its own,
# removes and purges it again: every folder that was there before stays, an
# administrator's own manifest for Chrome stays, and nothing of the package is
# left.
#   package.sh BUILD_FOLDER VERSION
set -euo pipefail
source "$(dirname "$0")/../lib/wait-for-window.sh"
build=$1
version=$2
work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.txt" 2>&1 ||
    fail "cpack: $(cat "$work/cpack.txt")"
deb=$(ls "$work/out"/vardelo_"${version}"-*_amd64.deb 2>/dev/null | head -1)
[ -f "$deb" ] || fail "no vardelo_${version}-*_amd64.deb: $(ls "$work/out")"

[ "$(dpkg-deb -f "$deb" Package)" = vardelo ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || fail "architecture"
maintainer=$(dpkg-deb -f "$deb" Maintainer)
[[ "$maintainer" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "maintainer without an address: $maintainer"
grep -qF "$maintainer" "$(dirname "$0")/../../README.md" || fail "README does not name $maintainer"
[ -z "$(dpkg-deb -f "$deb" Homepage)" ] || fail "a home page nobody keeps: $(dpkg-deb -f "$deb" Homepage)"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libc6 libcurl4 libqt6core6 libqt6webenginewidgets6 libqt6svg6; do
    grep -Eq "(^|, )$needed( |,|$)" <<<"$depends" || fail "no $needed in Depends: $depends"
done

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in ./usr/bin/vardelo \
    ./usr/lib/vardelo/vardelo_webengine.so \
    ./usr/share/vardelo/Skins/WMP11/Options.dat \
    ./usr/share/vardelo/HostProfiles/rapidshare.json.example \
    ./usr/share/applications/vardelo.desktop \
    ./usr/share/icons/hicolor/scalable/apps/vardelo.svg \
    ./usr/share/metainfo/io.github.vardelo.Vardelo.metainfo.xml \
    ./usr/share/man/man1/vardelo.1.gz \
    ./usr/share/doc/vardelo/copyright \
    ./usr/share/doc/vardelo/changelog.Debian.gz \
    ./usr/libexec/vardelo/vardelo-native-host \
    ./etc/chromium/native-messaging-hosts/io.github.vardelo.vardelo.json \
    ./usr/share/vardelo/native-messaging-hosts/io.github.vardelo.vardelo.json \
    ./usr/lib/mozilla/native-messaging-hosts/io.github.vardelo.vardelo.json; do
    grep -qx "$file" <<<"$contents" || fail "$file is not in the package"
done
# Beside /usr/bin and /usr/share only the browser module, the host script and the
# browsers' manifests.
hosts='etc/chromium/native-messaging-hosts|usr/lib/mozilla/native-messaging-hosts'
parents='usr/lib|usr/lib/vardelo|usr/lib/mozilla|usr/libexec|etc|etc/chromium'
outside=$(grep -Ev "^\./(usr/?|usr/bin/?|usr/bin/vardelo|usr/share/.*|usr/libexec/vardelo/.*|usr/lib/vardelo/vardelo_webengine\.so|($parents)/?|($hosts)/.*)$" <<<"$contents" | grep -v '^\./$' || true)
[ -z "$outside" ] || fail "files outside their folders: $outside"

root="$work/root"
dpkg-deb -x "$deb" "$root"
grep -q '^Exec=vardelo %U$' "$root/usr/share/applications/vardelo.desktop" || fail "Exec line"
# The browsers' manifests name the host script, and the script the program.
for manifest in "$root"/etc/chromium/native-messaging-hosts/*.json "$root"/usr/lib/mozilla/native-messaging-hosts/*.json; do
    grep -q '"path": "/usr/libexec/vardelo/vardelo-native-host"' "$manifest" || fail "host path in $manifest"
done
[ "$(dpkg-deb -I "$deb" conffiles | grep -c '^/etc/.*native-messaging-hosts')" -eq 1 ] ||
    fail "the manifest in /etc/chromium is not a conffile"
# The browser module is no public library: no ldconfig in the maintainer scripts.
for script in postinst postrm triggers; do
    ! dpkg-deb -I "$deb" "$script" 2>/dev/null | grep -q ldconfig || fail "ldconfig in $script"
done
grep -q '^License: GPL-3+$' "$root/usr/share/doc/vardelo/copyright" || fail "copyright names no GPL-3+"
grep -q '<project_license>GPL-3.0-or-later</project_license>' \
    "$root/usr/share/metainfo/io.github.vardelo.Vardelo.metainfo.xml" || fail "AppStream licence"
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.vardelo.Vardelo.metainfo.xml" \
        >"$work/appstream.txt" 2>&1 || fail "appstream: $(cat "$work/appstream.txt")"
fi

if command -v lintian >/dev/null; then
    status=0
    lintian "$deb" >"$work/lintian.txt" 2>&1 || status=$?
    errors=$(grep -c '^E: ' "$work/lintian.txt" || true)
    [ "$errors" -eq 0 ] || fail "lintian found $errors errors: $(grep '^E: ' "$work/lintian.txt")"
    [ "$status" -le 1 ] || fail "lintian did not run ($status): $(cat "$work/lintian.txt")"
    # Only an optimised build can have checked functions; the others are
    # still held to the stack protector and the relocation rules.
    hardening=$(grep -o 'hardening-[a-z-]*' "$work/lintian.txt" | sort -u || true)
    if ! grep -Eq '^CMAKE_BUILD_TYPE:[A-Z]+=(Release|RelWithDebInfo|MinSizeRel)$' "$build/CMakeCache.txt"; then
        hardening=$(grep -v '^hardening-no-fortify-functions$' <<<"$hardening" || true)
    fi
    [ -z "$hardening" ] || fail "lintian: $hardening"
fi

# Installed into a root folder of its own, removed and purged again, once with
# /etc/opt alone (as base-files leaves it), once with Chrome's folders already
# there, and once with the administrator's own manifest there: removing takes
# away the manifest the install laid, never that one.
purge_leaves_what_was_there() { # [--own-manifest] folders made before the install...
    local sysroot="$work/sysroot" before after own=
    if [ "$1" = --own-manifest ]; then
        own='{"name": "io.github.vardelo.vardelo", "comment": "the administrator'"'"'s own"}'
        shift
    fi
    rm -rf "$sysroot"
    mkdir -p "$sysroot/var/lib/dpkg/info" "$sysroot/var/lib/dpkg/updates"
    touch "$sysroot/var/lib/dpkg/status" "$sysroot/var/lib/dpkg/available"
    for folder in "$@"; do mkdir -p "$sysroot$folder"; done
    local chrome="$sysroot/etc/opt/chrome/native-messaging-hosts/io.github.vardelo.vardelo.json"
    [ -z "$own" ] || printf '%s\n' "$own" >"$chrome"
    before=$(cd "$sysroot" && find . -path ./var/lib/dpkg -prune -o -print | sort)
    local dpkg=(dpkg --root="$sysroot" --force-script-chrootless --force-depends --log=/dev/null)
    "${dpkg[@]}" -i "$deb" >"$work/dpkg.txt" 2>&1 || fail "dpkg -i: $(cat "$work/dpkg.txt")"
    if [ -n "$own" ]; then
        [ "$(cat "$chrome")" = "$own" ] || fail "the install replaced the administrator's manifest"
    else
        cmp -s "$sysroot/usr/share/vardelo/native-messaging-hosts/io.github.vardelo.vardelo.json" \
            "$chrome" || fail "Chrome's manifest was not laid by the install"
    fi
    "${dpkg[@]}" -r vardelo >"$work/dpkg.txt" 2>&1 || fail "dpkg -r: $(cat "$work/dpkg.txt")"
    if [ -n "$own" ]; then
        [ "$(cat "$chrome" 2>/dev/null)" = "$own" ] ||
            fail "removing the package took the administrator's manifest"
    else
        [ ! -e "$chrome" ] || fail "removing the package left the manifest it laid"
    fi
    "${dpkg[@]}" -P vardelo >"$work/dpkg.txt" 2>&1 || fail "dpkg -P: $(cat "$work/dpkg.txt")"
    after=$(cd "$sysroot" && find . -path ./var/lib/dpkg -prune -o -print | sort)
    [ "$before" = "$after" ] || fail "purge changed the folders: $(diff <(echo "$before") <(echo "$after"))"
}
if [ "$(id -u)" -eq 0 ]; then
    purge_leaves_what_was_there /etc/opt /var/lib
    purge_leaves_what_was_there /etc/opt/chrome/native-messaging-hosts /var/lib
    purge_leaves_what_was_there --own-manifest /etc/opt/chrome/native-messaging-hosts /var/lib
else
    echo "not root: install and purge not tried"
fi

# The installed program, its folder writable as root's /usr/bin is.
chmod -R u+w "$root"
mkdir -p "$work/data" "$work/config" "$work/run"
chmod 700 "$work/run"
XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
    QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu" "$root/usr/bin/vardelo" \
    "http://rapidshare.com/files/1/a.zip" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
for _ in $(seq 150); do
    [ -s "$work/config/Vardelo.conf" ] && break
    sleep 0.1
done
wait_for_window 60 --pid "$pid" --name '^Vardelo$' ||
    fail "the installed program showed no window"
# A link sent from the web browser: through the host script to the running program.
frame() { # message -> the browser's frame: its length in 4 little-endian bytes, then it
    local n=${#1}
    printf '%b%s' "\\x$(printf %02x $((n & 255)))\\x$(printf %02x $((n >> 8 & 255)))\\x00\\x00" "$1"
}
sent=http://127.0.0.1/from-the-browser.zip
answer=$(frame "{\"links\": [\"$sent\"]}" |
    XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
        timeout 20 "$root/usr/libexec/vardelo/vardelo-native-host" chrome-extension://x/ | tail -c +5)
grep -q '"ok":true' <<<"$answer" || fail "native messaging host answered: $answer"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "installed program: status $status ($(cat "$work/err.txt"))"
[ -s "$work/data/Vardelo/Lista.Vdl" ] || fail "no Lista.Vdl in \$XDG_DATA_HOME/Vardelo"
modes=$(stat -c %a "$work/data/Vardelo" "$work/data/Vardelo/Vardelo.lock" "$work/data/Vardelo/Lista.Vdl" | tr '\n' ' ')
[ "$modes" = "700 600 600 " ] || fail "the record folder, lock and queue are not private: $modes"
grep -aq "$sent" "$work/data/Vardelo/Lista.Vdl" || fail "the link from the browser is not queued"
[ -z "$(find "$root" -name '*.Vdl' -o -name 'Vardelo.lock')" ] ||
    fail "records inside the installation: $(find "$root" -name '*.Vdl')"

echo "1 passed, 0 failed"
