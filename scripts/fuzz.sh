#!/bin/sh
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer throughout) and runs each one over its seed corpus
# in fuzz/corpus/<target>, then for a bounded time on fresh input. Any finding
# (crash, sanitizer report, broken check, leak, hang) fails the run; the input
# that caused it is kept under <build>/findings/.
#
#   scripts/fuzz.sh [ci]            about 30 seconds of fresh input per target
#   scripts/fuzz.sh long SECONDS    SECONDS per target
#
# The seed corpus is copied to a scratch directory first, so the inputs found
# along the way never land in the repository. RFID_FUZZ_BUILD names another
# build directory (default build/fuzz).
set -eu
cd "$(dirname "$0")/.."

mode=${1:-ci}
case "$mode" in
ci) seconds=30 ;;
long)
    seconds=${2:-}
    case "$seconds" in
    '' | *[!0-9]*)
        echo "usage: $0 long SECONDS" >&2
        exit 2
        ;;
    esac
    ;;
*)
    echo "usage: $0 [ci|long SECONDS]" >&2
    exit 2
    ;;
esac

build=${RFID_FUZZ_BUILD:-build/fuzz}
case "$build" in
/*) ;;
*) build="$PWD/$build" ;;
esac
targets="fuzz_hex fuzz_exchange fuzz_simreader fuzz_reports fuzz_serial fuzz_cardtest fuzz_usbinput fuzz_settings fuzz_record"
started=$(date +%s)

echo "== building the fuzz targets in $build =="
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
    -DRFID_FUZZ=ON -DRFID_BUILD_TESTS=OFF -DRFID_BUILD_BENCH=OFF -DRFID_BUILD_USB=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j"$(nproc)" --target $targets
built=$(date +%s)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT TERM
findings="$build/findings"
mkdir -p "$findings"

# A smaller quarantine keeps the resident size of the long Qt runs bounded;
# the platform's font library keeps some allocations for good.
export ASAN_OPTIONS="quarantine_size_mb=64:detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

failed=""
for t in $targets; do
    bin="$build/fuzz/$t"
    corpus="$scratch/$t"
    log="$scratch/$t.log"
    mkdir -p "$corpus"
    cp fuzz/corpus/"$t"/* "$corpus"/
    extra=""
    case "$t" in
    # The window's log keeps what every input adds, which libFuzzer's per-input
    # leak check would take for a leak each time and rerun the input to look.
    fuzz_reports | fuzz_serial) extra="-detect_leaks=0" ;;
    esac

    # shellcheck disable=SC2086
    if ! "$bin" -timeout=10 -rss_limit_mb=2048 "-artifact_prefix=$findings/$t-" $extra -runs=0 "$corpus" \
        >"$log" 2>&1; then
        echo "$t: FINDING in the seed corpus"
        tail -n 60 "$log"
        failed="$failed $t"
        continue
    fi
    # shellcheck disable=SC2086
    if ! "$bin" -timeout=10 -rss_limit_mb=2048 "-artifact_prefix=$findings/$t-" $extra \
        -max_total_time="$seconds" -print_final_stats=1 "$corpus" >"$log" 2>&1; then
        echo "$t: FINDING on fresh input"
        tail -n 60 "$log"
        failed="$failed $t"
        continue
    fi
    runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -n 1)
    echo "$t: ${runs:-?} inputs in ${seconds} s, no finding"
done

finished=$(date +%s)
echo "fuzzing: build $((built - started)) s, runs $((finished - built)) s"
if [ -n "$failed" ]; then
    echo "fuzz findings in:$failed (inputs in $findings)"
    exit 1
fi
echo "fuzzing: every target ran without a finding"
