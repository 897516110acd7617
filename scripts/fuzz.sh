#!/usr/bin/env bash
# Fuzzes the tag stripper against its reference, and the readable stripper against gumbo, with
# libFuzzer, in build-fuzz/.
#   scripts/fuzz.sh [SECONDS [LIBFUZZER_OPTION...]]   each target for SECONDS (default 60)
# e.g. scripts/fuzz.sh 600 -jobs=2 -workers=2      two processes, each for 600 s
#
# First each committed seed in fuzz/corpus/ is run once (ctest). Then the target fuzzes its own
# corpus in build-fuzz/corpus/TARGET/, which starts as a copy of the seeds and keeps what
# libFuzzer finds from one run to the next; the committed seeds are never written. Exits non-zero
# on a crash, a difference from the reference, a leak or a timeout, and names the input that
# caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
plaintrove_install_missing

seconds=${1:-60}
[ $# -gt 0 ] && shift
# libFuzzer reads 0 as "no limit", which would never end.
case $seconds in
'' | *[!0-9]* | 0 | 0*)
    echo "usage: $0 [SECONDS [LIBFUZZER_OPTION...]]" >&2
    exit 2
    ;;
esac

cmake --preset fuzz
cmake --build --preset fuzz -j "$(nproc)"
ctest --preset fuzz

root=$PWD/build-fuzz
max_len=$(sed -n 's/^PLAINTROVE_FUZZ_MAX_LEN:STRING=//p' "$root/CMakeCache.txt")
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
for target in strip_tags readable; do
    corpus=$root/corpus/$target
    artifacts=$root/artifacts/$target
    work=$root/runs/$target # the logs of the processes that -jobs starts land here
    log=$root/logs/$target.log
    mkdir -p "$corpus" "$artifacts" "$work" "$(dirname "$log")"
    rm -f "$work"/fuzz-*.log
    # Again each time: libFuzzer may have replaced a seed by a shorter input, or a seed changed.
    cp fuzz/corpus/$target/* "$corpus/"

    echo "== ${target}_fuzzer: ${seconds} s on $corpus, log in $log"
    status=0
    (cd "$work" && "$root/bin/${target}_fuzzer" -max_total_time="$seconds" -max_len="$max_len" \
        -timeout=10 -detect_leaks=1 -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$@" "$corpus") >"$log" 2>&1 || status=$?

    # With -jobs each process writes a log of its own, which libFuzzer also copies into $log.
    job_logs=("$work"/fuzz-*.log)
    [ -e "${job_logs[0]}" ] || job_logs=("$log")
    grep -hE '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "${job_logs[@]}" || true
    if [ "$status" -ne 0 ]; then
        echo "!! ${target}_fuzzer failed with status $status; the end of its log:"
        tail -n 60 "$log"
        grep -h 'Test unit written to' "${job_logs[@]}" | sed 's/^/!! /' || true
        failed+=("$target")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "Fuzzing failed: ${failed[*]}. Run a target on the saved input to see it again, e.g."
    echo "  build-fuzz/bin/TARGET_fuzzer build-fuzz/artifacts/TARGET/crash-..."
    exit 1
fi
echo "Fuzzing passed: strip_tags and readable, ${seconds} s each"
