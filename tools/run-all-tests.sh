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

for preset in "${presets[@]}"; do
    echo "=== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done
echo "=== all tests passed: ${presets[*]}"
