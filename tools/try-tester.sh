#!/usr/bin/env bash
# Tries the tester against a simulated LX200 mount, no telescope needed. Installs what is
# missing, builds the tester and the simulator, joins them with a socat pair of pseudo-terminals
# that a scratch Wine prefix shows as COM1, and starts the tester.
#  - With a display (DISPLAY set), the tester is yours: pick COM1, press Connect, then the arrows.
#    Close the dialog to end.
#  - Without one, it runs on Xvfb and plays a short session by itself: connect, one pulse each
#    way, disconnect, close; it prints what crossed the line, with timings, saves a screenshot,
#    and exits with 0 if the session went as it should, 1 if not.
#   tools/try-tester.sh [--headless]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

headless=false
[ "${1:-}" = --headless ] && headless=true
[ -n "${DISPLAY:-}" ] || headless=true

tools/install-packages.sh
# The 32-bit tester, as shipped, where the 32-bit Wine runs; elsewhere (a kernel without 32-bit
# x86 support) the same program built for the 64-bit Wine, in a prefix of its own.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    windows=windows
    prefix_name=wineprefix
else
    windows=windows64
    prefix_name=wineprefix64
fi
echo "Building the tester ($windows) and the mount simulator..."
cmake --preset "$windows" >/dev/null
cmake --build --preset "$windows" -j "$(nproc)" --target guide-link-tester dialog-driver >/dev/null
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target lx200-mount-sim >/dev/null

work=$root/build/tryout
mkdir -p "$work"
prefix=$work/$prefix_name
line=$(mktemp -d "${TMPDIR:-/tmp}/tryout-line.XXXXXX")
pids=()
# Ends everything started here, the dialog driver too (it would wait for more commands), and
# leaves the script's exit code as it was.
cleanup() {
    local status=$?
    kill "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    rm -rf "$line"
    exit "$status"
}
trap cleanup EXIT

socat pty,raw,echo=0,link="$line/pc" pty,raw,echo=0,link="$line/mount" &
pids+=($!)
for _ in $(seq 200); do [ -e "$line/pc" ] && [ -e "$line/mount" ] && break; sleep 0.025; done

echo "The simulated mount is on COM1. What crosses the line (seconds since the mount started):"
build/native/mount_simulator/lx200-mount-sim --device "$line/mount" &
pids+=($!)

export WINE_COM_PORTS="1=$line/pc"
tester=build/$windows/app/guide-link-tester.exe
if ! $headless; then
    cmake/wine-run.sh "$prefix" "$tester"
    exit 0
fi

display=:$((90 + RANDOM % 500))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
sleep 1
tools/dialog-session.sh cmake/wine-run.sh "$prefix" "$tester" \
    build/$windows/tools/dialog_driver/dialog-driver.exe COM1 "Z:${work//\//\\}\\tester.bmp"
echo "Screenshot of the connected dialog: $work/tester.bmp"
