#!/usr/bin/env bash
# Builds the fuzz targets with libFuzzer (the native-fuzz preset: clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and fuzzes each for SECONDS (300 unless given), one after the other.
#
#   tools/run-fuzzers.sh [SECONDS] [TARGET...]      TARGET: reply_stream, control_frame (both)
#   FUZZ_RUNS=10000000 tools/run-fuzzers.sh 900      each stops at 10 million executions or 900 s
#
# Each target works on its own corpus in build/native-fuzz/fuzzing/<target>/corpus, seeded from
# fuzz/corpus/<target> and fuzz/regressions/<target> and kept between runs; the committed corpus
# is never changed. An input that makes a target fail is written to
# build/native-fuzz/fuzzing/<target>/artifacts/; copy it to fuzz/regressions/<target>/ to have
# every test run replay it. Prints executions, executions per second and failures per target,
# and exits non-zero if any target failed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-300}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(reply_stream control_frame)

runs=${FUZZ_RUNS:--1}  # -1: no limit
for number in "$seconds" "${runs#-1}"; do
    case "$number" in
        *[!0-9]*) echo "usage: [FUZZ_RUNS=N] $0 [SECONDS] [TARGET...]" >&2; exit 2 ;;
    esac
done
[ -n "$seconds" ] || { echo "usage: [FUZZ_RUNS=N] $0 [SECONDS] [TARGET...]" >&2; exit 2; }

cd "$root"
cmake --preset native-fuzz >/dev/null
cmake --build --preset native-fuzz

build=$root/build/native-fuzz
summary=()
failed=0
for target in "${targets[@]}"; do
    program=$build/fuzz/${target}_fuzzer
    if [ ! -d "fuzz/corpus/$target" ] || [ ! -x "$program" ]; then
        echo "no fuzz target $target" >&2
        exit 2
    fi
    work=$build/fuzzing/$target
    mkdir -p "$work/corpus" "$work/artifacts"
    for input in "fuzz/corpus/$target"/* "fuzz/regressions/$target"/*; do
        case "${input##*/}" in README*) continue ;; esac
        [ -e "$work/corpus/${input##*/}" ] || cp "$input" "$work/corpus/"
    done
    marker=$work/.started
    touch "$marker"
    log=$work/fuzz-0.log
    rm -f "$log"

    echo "=== $target: fuzzing for $seconds s"
    status=0
    # With -jobs the fuzzing runs in one child process whose output goes to fuzz-0.log.
    (cd "$work" && ASAN_OPTIONS="abort_on_error=1:detect_leaks=1" \
        UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        "$program" -jobs=1 -workers=1 -max_total_time="$seconds" -runs="$runs" -timeout=10 \
        -dict="$root/fuzz/lx200.dict" -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
        corpus) || status=$?
    [ -f "$log" ] || : >"$log"

    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    crashes=$(find "$work/artifacts" -maxdepth 1 -type f -newer "$marker" | wc -l)
    if [ "$status" -ne 0 ] && [ "$crashes" -eq 0 ]; then
        crashes=1  # failed without writing an input, such as a crash while reading the corpus
    fi
    if [ "$crashes" -ne 0 ]; then
        failed=1
        echo "--- $target failed (exit status $status); end of $log:"
        tail -n 80 "$log"
        find "$work/artifacts" -maxdepth 1 -type f -newer "$marker" -printf 'input kept: %p\n'
    fi
    summary+=("$(printf '%-14s %14s %10s %8s' "$target" "${executions:-?}" "${rate:-?}" "$crashes")")
done

echo
printf '%-14s %14s %10s %8s\n' target executions exec/s crashes
printf '%s\n' "${summary[@]}"
exit "$failed"
