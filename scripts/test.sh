#!/bin/sh
# Installs what is missing, builds, and runs every test twice: once in the
# normal build and once under AddressSanitizer + UndefinedBehaviorSanitizer.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

JOBS=$(nproc)

echo "== normal build =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINDAHOUSE_FUZZ=ON
cmake --build build -j "$JOBS"
ctest --test-dir build --output-on-failure -j "$JOBS"

echo "== sanitizer build =="
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DINDAHOUSE_SANITIZE=ON -DINDAHOUSE_BENCH=OFF
cmake --build build-asan -j "$JOBS"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$JOBS"

echo "== all tests passed =="
