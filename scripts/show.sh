#!/bin/sh
# Installs what is missing, builds, and runs the main job. The show itself
# is not built yet: until it is, this builds everything and prints the
# tools' help.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

for tool in hwl texgen; do
    if [ -x "build/tools/$tool" ]; then
        echo
        "build/tools/$tool" --help
    fi
done
