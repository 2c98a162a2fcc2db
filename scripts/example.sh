#!/bin/sh
# The garden, a second show drawn only by its own scene files: installs what
# is missing, builds the show and makeshow, makes build/garden from
# examples/garden (its scenes/ and script, the main show's pictures and
# music) and plays it in the live mode, watching examples/garden: save a
# scene or track file there and the show draws it from the next frame.
# Without a display it says so and prints the capture command instead.
set -eu
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target indahouse makeshow capture
build/tools/makeshow --assets examples/garden build/garden

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo
    echo "No display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so the show cannot"
    echo "open its window. The garden is built in build/garden; to render it to a video"
    echo "with its music instead:"
    echo
    echo "  build/tools/capture build/garden --size 640x480 --fps 30 --video garden.mp4"
    exit 0
fi

cd build/garden
exec ../runtime/indahouse --live --assets ../../examples/garden
