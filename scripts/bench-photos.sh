#!/bin/sh
# Writes the colour photographs of a Debian package's sample data into DIR as
# PNG, cropped about their centre to multiples of 32, for bench/hwl_rd_bench.
# The package is only downloaded and unpacked here, never installed.
set -eu
if [ $# -ne 1 ]; then
    echo "usage: $0 DIR" >&2
    exit 2
fi
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download python3-skimage >/dev/null)
dpkg-deb -x "$work"/python3-skimage_*.deb "$work/x"
data=$(find "$work/x" -type d -path '*/skimage/data' | head -1)
for name in astronaut chelsea coffee motorcycle_left motorcycle_right ihc rocket retina \
    hubble_deep_field; do
    src=$(ls "$data/$name".* | head -1)
    size=$(identify -format '%w %h' "$src")
    w=$((${size% *} / 32 * 32))
    h=$((${size#* } / 32 * 32))
    convert "$src" -gravity center -crop "${w}x${h}+0+0" +repage -strip \
        -define png:color-type=2 "$out/$name.png"
    echo "$out/$name.png ${w}x${h}"
done
