#!/bin/sh
# Opens the window with Qt's Wayland plugin on a headless Weston of its own, then hands it a start
# that only brings it forward and one with a program, which it runs through the fake Wine.
#   check-wayland.sh QUILLMERE SUPPORT_DIR WAYLAND_PLUGIN
# Prints "SKIP: …" when Weston or the plugin is missing; any fault exits non-zero.
set -u
quillmere=$1 support=$2 plugin=$3
if ! command -v weston >/dev/null || [ ! -e "$plugin" ]; then
    echo "SKIP: weston or Qt's Wayland plugin (packages weston, qt6-wayland) not installed"
    exit 0
fi

scratch=$(mktemp -d)
weston_pid='' window_pid=''
cleanup() {
    for pid in $window_pid $weston_pid; do kill "$pid" 2>/dev/null; done
    wait
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    for log in "$scratch"/*.log; do echo "--- $log"; cat "$log"; done
    exit 1
}
# Runs the command until it succeeds, for up to ten seconds.
await() {
    for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done
    return 1
}
handoff_socket() { ls "$XDG_RUNTIME_DIR"/quillmere-*.socket >/dev/null 2>&1; }

export XDG_RUNTIME_DIR="$scratch/runtime" WAYLAND_DISPLAY=quillmere-test QT_QPA_PLATFORM=wayland
export HOME="$scratch" XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config"
export FAKE_RECORD_DIR="$scratch/record"
export QUILLMERE_WEBSITE_URL=http://127.0.0.1:9 QUILLMERE_STEAM_STORE_URL=http://127.0.0.1:9
export QUILLMERE_STEAM_API_URL=http://127.0.0.1:9
unset DISPLAY XDG_ACTIVATION_TOKEN
mkdir -m 0700 "$XDG_RUNTIME_DIR"
# A runtime in Quillmere’s own folder whose name sorts before the system’s Wine is the default.
mkdir -p "$XDG_DATA_HOME/Quillmere/Runtimes/engine-a/bin"
cp "$support/fake-wine" "$XDG_DATA_HOME/Quillmere/Runtimes/engine-a/bin/wine"
cp "$support/fake-wineserver" "$XDG_DATA_HOME/Quillmere/Runtimes/engine-a/bin/wineserver"
printf 'MZ' > "$scratch/Program.exe"

weston --backend=headless-backend.so --socket="$WAYLAND_DISPLAY" --idle-time=0 \
    >"$scratch/weston.log" 2>&1 &
weston_pid=$!
await test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" || fail "weston did not start"

"$quillmere" >"$scratch/window.log" 2>&1 &
window_pid=$!
await handoff_socket || fail "the window did not open"

"$quillmere" >"$scratch/show.log" 2>&1 || fail "a second start did not hand over"
(cd "$scratch" && XDG_ACTIVATION_TOKEN=from-the-desktop "$quillmere" Program.exe) \
    >"$scratch/run.log" 2>&1 || fail "a start with a program did not hand it over"
await grep -qs Program.exe "$FAKE_RECORD_DIR/wine.args" || fail "the window did not run the program"

kill -0 "$window_pid" 2>/dev/null || fail "the window did not stay open"
# The window has no way to be asked to close from here; it is ended as the desktop ends it at
# logout, and must not have died of anything else before.
kill -TERM "$window_pid"
wait "$window_pid"
status=$?
window_pid=''
[ "$status" -eq 143 ] || fail "the window ended with status $status instead of by SIGTERM"
for log in window show run; do
    [ -s "$scratch/$log.log" ] && fail "$log wrote to its output"
done
echo "PASS: the window opened, handed over and ran the program on Wayland"
