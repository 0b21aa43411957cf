# Helpers of the end-to-end scripts, sourced by each from its own folder. Every script keeps its
# temporary files in $work and adds what it starts in the background to `pids`.

fail() { echo "FAILED: $*" >&2; exit 1; }

# Skips the test (status 77) unless every named program is installed.
require() {
    local needed
    for needed in "$@"; do
        command -v "$needed" > /dev/null || { echo "SKIPPED: $needed is not installed"; exit 77; }
    done
}

# Polls `command...` every 0.1 s until it succeeds or `seconds` have passed.
wait_until() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || fail "timed out waiting for $what"
        sleep 0.1
    done
}

# Succeeds where `command...` fails, for wait_until.
not() { ! "$@"; }
alive() { kill -0 "$1" 2> /dev/null; }

# For the EXIT trap: ends the background processes and, after a failure, shows the logs.
pids=()
stop_background() {
    local status=$?
    kill "${pids[@]}" 2> /dev/null || true
    wait 2> /dev/null || true
    [ "$status" -eq 0 ] || tail -n 30 "$work"/*.log
}

# The executable $1 in a bundle of its own under $prefix, beside share/tesselmenu ($tools) with
# the tool $2 and an Info.json naming a demo repository; and a home of its own for every folder
# it could touch.
make_bundle() {
    prefix=$work/prefix
    tools=$prefix/share/tesselmenu
    mkdir -p "$prefix/bin" "$tools"
    cp "$1" "$prefix/bin/tesselmenu"
    cp "$2" "$tools/tessel"
    "$tools/tessel" demo --repo-dir "$work/repo" > /dev/null
    printf '{"TesselRepoDir": "%s"}\n' "$work/repo" > "$tools/Info.json"
    export HOME=$work/home
    export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share
    export XDG_CACHE_HOME=$HOME/.cache XDG_RUNTIME_DIR=$work/runtime
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
}

# Runs the calling script ($0) again as an ordinary user (made when missing: desktops refuse
# root, and CI runs as root on a throwaway machine) inside a session bus of its own, in a work
# folder that user owns, with copies of the executable $1, the tool $2, a helper program $3 (if
# given) and the resources. Only the inner run returns; it finds them as $app_binary,
# $fixture_tool, $helper and $resources.
run_as_test_user() {
    local test_user=tesselmenu-e2e status=0 outer
    if [ -n "${TESSELMENU_E2E_WORK:-}" ]; then
        app_binary=$1 fixture_tool=$2 helper=${3:-} resources=$TESSELMENU_E2E_WORK/resources
        return
    fi
    outer=$(mktemp -d)
    # A document portal started on the test's bus may keep its file system mounted in the
    # runtime folder for a moment after the bus has gone.
    trap 'fusermount3 -u -z "$outer/runtime/doc" 2> /dev/null || true; rm -rf "$outer"' EXIT
    cp "$0" "$(dirname "$0")/e2e_common.sh" "$outer/"
    cp -r "$(dirname "$0")/../../resources" "$outer/resources"
    cp "$1" "$outer/tesselmenu"
    cp "$2" "$outer/tessel"
    local helpers=()
    if [ -n "${3:-}" ]; then
        cp "$3" "$outer/helper"
        helpers=("$outer/helper")
    fi
    local as_user=()
    if [ "$(id -u)" -eq 0 ]; then
        id "$test_user" > /dev/null 2>&1 ||
            useradd --system --no-create-home --shell /usr/sbin/nologin "$test_user" ||
            { echo "SKIPPED: no ordinary user to run the desktop as"; exit 77; }
        chown -R "$test_user" "$outer"
        chmod 755 "$outer"
        # Where X servers put their sockets, as a booted system has it: on a fresh machine
        # the first server would make it with the user's umask, and GNOME Shell refuses to
        # start Xwayland in a folder others cannot write to.
        [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
        as_user=(runuser -u "$test_user" --)
    fi
    "${as_user[@]}" env -i PATH="$PATH" LANG=C.UTF-8 HOME="$outer/home" TESSELMENU_E2E_WORK="$outer" \
        TESSELMENU_E2E_SHOT="${TESSELMENU_E2E_SHOT:+$outer/shot.png}" \
        dbus-run-session -- bash "$outer/$(basename "$0")" "$outer/tesselmenu" "$outer/tessel" \
        "${helpers[@]}" ||
        status=$?
    [ -z "${TESSELMENU_E2E_SHOT:-}" ] || cp "$outer/shot.png" "$TESSELMENU_E2E_SHOT" || true
    exit "$status"
}
