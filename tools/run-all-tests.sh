#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: natively, under ThreadSanitizer,
# under AddressSanitizer with UndefinedBehaviorSanitizer, and cross-built for 32-bit Windows
# under Wine. Stops at the first preset that fails.
#   tools/run-all-tests.sh [PRESET...]
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-packages.sh

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native native-tsan native-asan windows)
jobs=$(nproc)

# The Windows tests run under Wine on a display of their own. Wine's server outlives each program
# for a while and holds on to the display it met first, so it must not live on from another run.
run_windows_tests() {
    local prefix=build/windows/wineprefix
    WINEPREFIX=$PWD/$prefix wineserver -k 2>/dev/null || true
    local status=0
    xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" ctest --preset windows -j "$jobs" || status=$?
    WINEPREFIX=$PWD/$prefix wineserver -k 2>/dev/null || true
    return "$status"
}

for preset in "${presets[@]}"; do
    echo "=== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    if [ "$preset" = windows ]; then
        run_windows_tests
    else
        ctest --preset "$preset" -j "$jobs"
    fi
done
echo "=== all tests passed: ${presets[*]}"
