#!/bin/sh
# Installs what is missing, builds the show and its tools, makes the show's
# content from assets/ into build/showdir (only what changed since the last
# time), and plays the show from there. Without a display it says so and prints the command that
# renders the show to a video instead.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Only what playing needs: the show, makeshow, and capture for a machine
# without a display. The test command builds the tests and benchmarks.
cmake --build build -j "$(nproc)" --target indahouse makeshow capture
build/tools/makeshow build/showdir

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo
    echo "No display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so the show cannot"
    echo "open its window. It is built in build/showdir; to render it to a video with"
    echo "its music instead (137 s of show, a few minutes on a software renderer):"
    echo
    echo "  build/tools/capture build/showdir --size 640x480 --fps 30 --video show.mp4"
    exit 0
fi

cd build/showdir
exec ../runtime/indahouse
