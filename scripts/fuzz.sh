#!/bin/bash
# Fuzzes the parsers of outside input with libFuzzer, time-boxed.
#
#   scripts/fuzz.sh [-j JOBS] [-r RUNS] [SECONDS] [TARGET...]
#
# Configures and builds the Clang fuzz build in build-fuzz (libraries under
# ASan + UBSan with coverage), then runs each target (all of fuzz/*_fuzz.cpp
# when none is named; default 60 seconds each) over its seed corpus
# fuzz/corpus/TARGET. New inputs go to build-fuzz/corpus/TARGET, never to the
# repository, and are kept for the next run; crashes, leaks, timeouts and
# out-of-memory inputs go to build-fuzz/findings/TARGET. Prints, per target:
# executions, executions a second, edges covered and findings.
#   -j JOBS  parallel jobs per target (libFuzzer -jobs and -workers)
#   -r RUNS  stop after this many executions of each target, shared among its
#            jobs (0: only the time box)
# FUZZ_FLAGS adds libFuzzer options (e.g. "-fork=2 -ignore_ooms=1").
# Needs clang, cmake, ninja and the project's packages. A developer's tool,
# not part of the test command.
set -eu

usage() {
    sed -n '4p' "$0" | sed 's/^#  */usage: /' >&2
    exit 2
}

jobs=1
runs=0
while getopts j:r:h opt; do
    case $opt in
    j) jobs=$OPTARG ;;
    r) runs=$OPTARG ;;
    *) usage ;;
    esac
done
shift $((OPTIND - 1))
seconds=60
if [ $# -gt 0 ] && [ "$1" -eq "$1" ] 2>/dev/null; then
    seconds=$1
    shift
fi

cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-fuzz
if [ $# -gt 0 ]; then
    targets="$*"
else
    targets=$(for f in fuzz/*_fuzz.cpp; do basename "$f" .cpp; done)
fi

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DINDAHOUSE_FUZZ=ON -DINDAHOUSE_BENCH=OFF >/dev/null
# shellcheck disable=SC2086 # one word per target
cmake --build "$build" -j "$(nproc)" --target $targets

# Each job's log gives its figures: the final statistics (executions, their
# rate) and the last status line's "cov:" (edges). Jobs are summed.
summarise() { # LOG...
    awk '
        /^#[0-9]+/ && / cov: / {
            for (i = 1; i < NF; ++i) if ($i == "cov:" && $(i + 1) > edges) edges = $(i + 1)
        }
        /^stat::number_of_executed_units:/ { execs += $2 }
        /^stat::average_exec_per_sec:/ { rate += $2 }
        END { printf "%d %d %d\n", execs, rate, edges }' "$@"
}

status=0
report=""
for target in $targets; do
    scratch=$build/corpus/$target
    findings=$build/findings/$target
    logs=$build/fuzz-logs/$target
    mkdir -p "$scratch" "$findings" "$logs"
    rm -f "$logs"/*.log
    touch "$logs/start" # findings of earlier runs stay, and are not counted again
    flags=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512
        -artifact_prefix="$findings/" -print_final_stats=1)
    [ -f "fuzz/dict/$target.dict" ] && flags+=(-dict="$root/fuzz/dict/$target.dict")
    [ "$runs" -gt 0 ] && flags+=(-runs=$(((runs + jobs - 1) / jobs)))
    [ "$jobs" -gt 1 ] && flags+=(-jobs="$jobs" -workers="$jobs")
    # shellcheck disable=SC2206 # one word per option
    flags+=(${FUZZ_FLAGS:-})
    echo "== $target: $seconds s, $jobs job(s) =="
    # Runs in the log folder: with -jobs, libFuzzer writes fuzz-N.log there.
    (cd "$logs" && "$build/fuzz/$target" "${flags[@]}" "$scratch" "$root/fuzz/corpus/$target" \
        >run.log 2>&1) || true
    [ "$jobs" -gt 1 ] || mv "$logs/run.log" "$logs/fuzz-0.log"
    read -r execs rate edges < <(summarise "$logs"/fuzz-*.log)
    found=$(find "$findings" -type f -newer "$logs/start" | wc -l)
    [ "$found" -eq 0 ] || status=1
    line=$(printf '%-26s %12s execs %8s exec/s %6s edges %3s findings' \
        "$target" "$execs" "$rate" "$edges" "$found")
    echo "$line"
    report+="$line"$'\n'
done

echo "== summary (logs in $build/fuzz-logs, findings in $build/findings) =="
printf '%s' "$report"
exit $status
