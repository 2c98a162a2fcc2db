#!/bin/sh
# Installs what is missing, builds, and runs every test twice: once in the
# normal build and once under AddressSanitizer + UndefinedBehaviorSanitizer.
# The show directory that makeshow builds from assets/ is made once, by the
# normal build; the sanitizer pass tests the show over that same directory
# (makeshow itself still runs sanitized in its own tests, on small sources).
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

JOBS=$(nproc)
start=$(date +%s)
# Mesa's software renderer draws on one thread in every test: the tests run
# two at a time on this machine's two cores, and its own threads made them
# wait on each other (the normal build's tests took 51 s of wall time and
# 86 s of CPU time with them, 37 s and 54 s without).
export LP_NUM_THREADS=1

echo "== normal build =="
# The fuzz targets' corpora are replayed in the sanitizer build, where a
# replay can find something; the normal build leaves them out.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINDAHOUSE_FUZZ=OFF
cmake --build build -j "$JOBS"
ctest --test-dir build --output-on-failure -j "$JOBS"

echo "== sanitizer build =="
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 \
    -DINDAHOUSE_SANITIZE=ON -DINDAHOUSE_BENCH=OFF -DINDAHOUSE_FUZZ=ON -DINDAHOUSE_TEST_SHOWDIR="$PWD/build/showdir"
cmake --build build-asan -j "$JOBS"
# Leak detection is on for every test and every program the tests start
# (the show and capture included); only the third-party libraries in the
# suppressions file are excused.
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions="$PWD/scripts/lsan-suppressions.txt":print_suppressions=0 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$JOBS"

echo "== all tests passed in $(($(date +%s) - start)) s =="
