# Installs the Debian packages Vardelo needs to build, run and test, when any
# is missing. Sourced by ./run and ./test.

VARDELO_PACKAGES=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-webengine-dev libgl-dev
    libcurl4-openssl-dev zlib1g-dev libcpp-httplib-dev libgtest-dev libre2-dev
    libgumbo-dev
    libarchive-dev zip p7zip-full
    xvfb xauth x11-utils xdotool imagemagick fonts-dejavu-core fonts-liberation2
    curl trayer libqt6svg6 qt6-translations-l10n dpkg-dev appstream lintian
    clang libfuzzer-14-dev
    libqt6webengine6-data libxcb1-dev
)

vardelo_install_packages() {
    local missing=()
    local package
    for package in "${VARDELO_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Starts a private X server when there is no display; sets DISPLAY and
# VARDELO_XVFB_PID.
vardelo_start_xvfb() {
    local number
    for number in $(seq 90 120); do
        [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ] || break
    done
    Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    VARDELO_XVFB_PID=$!
    export DISPLAY=":$number"
    for _ in $(seq 50); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "Xvfb did not start" >&2
    return 1
}
