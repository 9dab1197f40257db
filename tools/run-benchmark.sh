#!/usr/bin/env bash
# Measures how fast the guide link works and what it costs, natively and as the real Windows
# program under Wine (the 32-bit one that ships, or its 64-bit twin on a machine that cannot run
# 32-bit x86 code; the report says which), against a simulated LX200 mount on a socat pair of pseudo-terminals, and
# rewrites docs/performance.md and its plot, docs/images/pulse-length-error.png.
#   tools/run-benchmark.sh            the full run, about 12 minutes
#   tools/run-benchmark.sh --quick    a short run with fewer samples, about 3 minutes
# Installs what is missing (as root, or with sudo), including gnuplot-nox for the plot. Builds in
# trees of its own under build/bench/ (native and Windows, both Release), so it never disturbs the
# preset trees; the raw records are left in build/bench/run/. Figures are reported, never judged:
# the exit status only tells whether the run itself went through.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$(date +%s)

mode=()
case "${1:-}" in
    "") ;;
    --quick) mode=(--quick) ;;
    *)
        echo "usage: tools/run-benchmark.sh [--quick]" >&2
        exit 2
        ;;
esac

tools/install-packages.sh
if ! dpkg -s gnuplot-nox >/dev/null 2>&1; then
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    echo "Installing gnuplot-nox"
    if ! DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q gnuplot-nox >/dev/null; then
        "${as_root[@]}" apt-get update -q >/dev/null
        DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q gnuplot-nox >/dev/null
    fi
fi

work=$root/build/bench
run=$work/run
rm -rf "$run"
mkdir -p "$run" docs/images

# Quiet unless it fails: then the whole log.
quietly() {
    local log=$run/build.log
    "$@" >>"$log" 2>&1 || { cat "$log" >&2; return 1; }
}
# The 32-bit program that ships, where this machine runs 32-bit x86 code; elsewhere its 64-bit
# twin (the windows64 preset) stands for it under the 64-bit Wine, and the report says so.
windows=windows
wine=wine
wine_build="the 32-bit build that ships (the windows preset)"
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    windows=windows64
    wine=/usr/lib/wine/wine64
    wine_build="the 64-bit build (the windows64 preset): this machine cannot run 32-bit x86 code"
fi
echo "Building the Windows program ($windows), the dialog driver and the benchmark..."
quietly cmake --preset "$windows" -B "$work/$windows"
quietly cmake --build "$work/$windows" -j "$(nproc)" --target guide-link-tester dialog-driver
quietly cmake -S . -B "$work/native" -DCMAKE_BUILD_TYPE=Release
quietly cmake --build "$work/native" -j "$(nproc)" --target guide-link-bench
bench=$work/native/bench/guide-link-bench
tester=$work/$windows/app/guide-link-tester.exe
driver=$work/$windows/tools/dialog_driver/dialog-driver.exe
prefix=$work/wineprefix-$windows

line=$(mktemp -d "${TMPDIR:-/tmp}/bench-line.XXXXXX")
pids=()
cleanup() {
    kill "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    rm -rf "$line"
}
trap cleanup EXIT

socat pty,raw,echo=0,link="$line/link" pty,raw,echo=0,link="$line/mount" &
pids+=($!)
for _ in $(seq 200); do [ -e "$line/link" ] && [ -e "$line/mount" ] && break; sleep 0.025; done
if [ ! -e "$line/link" ] || [ ! -e "$line/mount" ]; then
    echo "socat made no pseudo-terminal pair" >&2
    exit 1
fi

"$bench" native --link "$line/link" --mount "$line/mount" --results "$run/native.tsv" "${mode[@]}"

display=:$((90 + RANDOM % 500))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
# A new prefix takes a minute or so to set up; that happens here, before anything is timed.
echo "Preparing the Wine prefix..."
cmake/wine-run.sh "$prefix" "$driver" --help >/dev/null 2>&1
wine_results=$run/wine.tsv
if ! "$bench" wine --link "$line/link" --mount "$line/mount" --results "$wine_results" \
    --wine-run "$root/cmake/wine-run.sh" --prefix "$prefix" --tester "$tester" --driver "$driver" \
    "${mode[@]}"; then
    echo "The measurements under Wine did not go through; the report keeps what they took." >&2
fi

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
machine="$(nproc) cores (${cpu:-unknown processor}), Linux $(uname -r), $("$wine" --version); the Wine figures are of $wine_build"
echo
"$bench" report --native "$run/native.tsv" --wine "$wine_results" --markdown docs/performance.md \
    --plot-data "$run/pulse-errors.dat" --plot-script "$run/pulse-errors.gp" \
    --image docs/images/pulse-length-error.png --image-link images/pulse-length-error.png \
    --started "$started" --machine "$machine" "${mode[@]}"
gnuplot "$run/pulse-errors.gp"
took=$(($(date +%s) - started))
echo
echo "Wrote docs/performance.md and docs/images/pulse-length-error.png in $((took / 60)) min $((took % 60)) s."
echo "The Wine figures are of $wine_build."
