# Sourced by the tests that wait for a window under Xvfb.

# Waits until a visible window matches xdotool's search arguments; status 1
# when none came up within the given seconds. A search is repeated rather than
# kept open with --sync: xdotool ends with a BadWindow error when a window it
# is walking is destroyed under it, as the short-lived windows of a start-up
# are, and that says nothing about the window awaited.
wait_for_window() { # seconds xdotool-search-arguments...
    local deadline=$((SECONDS + $1))
    shift
    until xdotool search --onlyvisible "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}
