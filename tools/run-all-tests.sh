#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: natively, under ThreadSanitizer,
# under AddressSanitizer with UndefinedBehaviorSanitizer, a short fuzzing of each fuzz target
# (native-fuzz, FUZZ_SECONDS each, 20 unless set), and cross-built for Windows under Wine,
# 32-bit (the program that ships) and 64-bit; cross-built for ARM Linux under qemu (linux-arm64,
# linux-armhf), leaving out the slowest there, when named. A machine that cannot run 32-bit x86
# code (some virtual machines cannot) runs no 32-bit Wine: there the 32-bit programs run in a
# 32-bit Windows machine in software, and the 64-bit build runs the whole suite; where the
# 32-bit Wine runs, the 32-bit build runs the whole suite and the 64-bit one is left out. Stops
# at the first preset that fails.
#   tools/run-all-tests.sh [PRESET...]        (WIN32_VM=1: the 32-bit programs in the machine anyway)
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-packages.sh

presets=("$@")
# The ARM runs under qemu (linux-arm64, linux-armhf) are named, not run by default: they would
# add a quarter of an hour to a run that already takes twenty minutes or more.
[ ${#presets[@]} -gt 0 ] || presets=(native native-tsan native-asan native-fuzz windows windows64)
jobs=$(nproc)
# The native tests mostly wait on timers, each over a serial line of its own: three times as many
# as there are cores run at once (the tests that time fresh programs never beside the browser's).
# Under the sanitizers, which slow every thread, and under Wine, whose tests over a line take
# turns, one per core.
native_jobs=$((3 * jobs))
# The sanitizer runs leave out the longest timing scenarios, which exercise no thread or memory
# path that shorter tests do not: guide-link's motion measurements, the twelve fresh pulses, the
# pulse timing and quirk table over TCP, the noise flood, and the motion checks through INDI.
# The native run has them all.
sanitizer_skips='GuideLinkMotion\.|MotionOverTcp\.|PulsesFromFreshPrograms|GuideLinkNetwork\.PulsesAreTimed|NoiseFlood|IndiChain\.|IndiGuideLink\.Motion'
# Under Wine, where the tests over a line take turns, the motion measurements alone would take a
# quarter of an hour: their reasoning is the same portable code the native run measures, and
# guide-link.exe's pulses and checks over the line still run.
wine_skips='GuideLinkMotion\.|MotionOverTcp\.'

# The Windows tests run under Wine on a display of their own. Wine's server outlives each program
# for a while and holds on to the display it met first, so it must not live on from another run.
run_windows_tests() {
    local preset=$1
    local prefix=build/$preset/wineprefix
    WINEPREFIX=$PWD/$prefix wineserver -k 2>/dev/null || true
    local status=0
    xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" ctest --preset "$preset" -j "$jobs" -E "$wine_skips" || status=$?
    WINEPREFIX=$PWD/$prefix wineserver -k 2>/dev/null || true
    return "$status"
}

# Under qemu the tests run several times slower, and those over a serial line still take turns,
# so the ARM builds leave out the longest; every one of them runs natively, under both sanitizers
# and under Wine. arm64 leaves out three fault scenarios (the noise flood, the thousand rapid
# commands, the error replies at random moments) and guide-link's motion measurements; armhf
# runs the unit tests and the tests over the pseudo-terminal line. `ctest --preset linux-arm64`
# runs them all.
run_tests_under_qemu() {
    local preset=$1
    if [ "$preset" = linux-arm64 ]; then
        ctest --preset "$preset" -j "$jobs" \
            -E 'FaultScenarioTest\.(NoiseFlood|ThousandRapid|ErrorRepliesAtRandom)|GuideLinkMotion\.|PulsesFromFreshPrograms'
    else
        ctest --preset "$preset" -j "$jobs" -LE '^(fault_tests|cli_line_tests|cli_timing_tests)$'
    fi
}

# The tester that ships must be a 32-bit Windows GUI program (PE32, GUI subsystem).
check_shipped_tester() {
    local headers
    headers=$(i686-w64-mingw32-objdump -p build/windows/app/guide-link-tester.exe)
    grep -q 'Magic[[:space:]]*010b' <<<"$headers" && grep -q 'Subsystem[[:space:]]*00000002' <<<"$headers" || {
        echo "build/windows/app/guide-link-tester.exe is not a 32-bit Windows GUI program" >&2
        return 1
    }
    echo "guide-link-tester.exe: a 32-bit Windows GUI program (PE32)"
}

# Where this machine cannot run 32-bit x86 code, and so no 32-bit Wine, the shipped programs run
# in a 32-bit Windows machine in software (tools/win32-vm/), against the simulated mount, in one
# boot: guide-link.exe's check and pulse on COM2 and the tester's dialog worked through the dialog
# driver. The windows64 preset runs the whole suite on the same sources.
run_in_win32_machine() {
    echo "The shipped 32-bit programs run in the 32-bit Windows machine (tools/win32-vm/)."
    cmake --preset native >/dev/null
    cmake --build --preset native -j "$jobs" --target lx200-mount-sim
    tools/win32-vm/test-programs.sh build/windows/guide_link/guide-link.exe \
        build/windows/app/guide-link-tester.exe build/windows/tools/dialog_driver/dialog-driver.exe \
        build/native/mount_simulator/lx200-mount-sim
}

# WIN32_VM=1 takes the 32-bit Windows machine even where the 32-bit Wine runs here.
runs_32_bit_wine=false
if [ "${WIN32_VM:-0}" != 1 ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then runs_32_bit_wine=true; fi

for preset in "${presets[@]}"; do
    echo "=== $preset"
    if [ "$preset" = windows64 ] && $runs_32_bit_wine && [[ " ${presets[*]} " == *" windows "* ]]; then
        # The 64-bit twin stands in for the 32-bit programs only where those cannot run.
        echo "The 32-bit build ran the whole suite under Wine: the 64-bit twin is left out."
        continue
    fi
    if [ "$preset" = native-fuzz ]; then
        # Fuzzing, not only replaying the corpus: a check that no longer knows what the link may
        # do fails the day it goes stale.
        tools/run-fuzzers.sh "${FUZZ_SECONDS:-20}"
        continue
    fi
    cmake --preset "$preset" >/dev/null
    if [ "$preset" = windows ] && ! $runs_32_bit_wine; then
        # The 32-bit test programs cannot run here: only what the machine runs is built.
        cmake --build --preset windows -j "$jobs" --target guide-link guide-link-tester dialog-driver
    else
        cmake --build --preset "$preset" -j "$jobs"
    fi
    if [ "$preset" = windows ]; then
        check_shipped_tester
        if $runs_32_bit_wine; then
            run_windows_tests windows
        else
            run_in_win32_machine
        fi
    elif [ "$preset" = windows64 ]; then
        run_windows_tests windows64
    elif [[ $preset == linux-arm* ]]; then
        run_tests_under_qemu "$preset"
    elif [ "$preset" = native ]; then
        ctest --preset native -j "$native_jobs"
    else
        ctest --preset "$preset" -j "$jobs" -E "$sanitizer_skips"
    fi
done
echo "=== all tests passed: ${presets[*]}"
