#!/bin/bash
# Whole-process decoding of a 2048 x 2048 photograph: `hwl decode --raw`
# against libjpeg-turbo's `djpeg` of a quality-85 JPEG of the same picture,
# each writing the pixels to a file. Prints the best wall time of RUNS runs
# and the peak resident memory of each.
#
#   bench/decode_process.sh PHOTO_DIR [BUILD_DIR] [RUNS]
#
# PHOTO_DIR holds PNG photographs (scripts/bench-photos.sh makes one); the
# picture is a 4 x 4 montage of 512 x 512 crops of them, so it has the
# detail of real photographs at their own scale.
set -eu
photos=$1
build=${2:-build}
runs=${3:-10}
hwl=$build/tools/hwl
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

i=0
for tile in $(seq 16); do
    set -- "$photos"/*.png
    shift $((i % $#))
    convert "$1" -gravity center -background gray -extent 512x512 -depth 8 "PNG24:$work/tile$i.png"
    i=$((i + 1))
done
montage "$work"/tile*.png -tile 4x4 -geometry +0+0 -depth 8 "PNG24:$work/photo.png"
"$hwl" encode "$work/photo.png" "$work/photo.hwl" >/dev/null
convert "$work/photo.png" ppm:- | cjpeg -quality 85 -outfile "$work/photo.jpg"

# best wall seconds (to the millisecond) and largest peak KiB over the runs
measure() {
    best=999 peak=0
    for run in $(seq "$runs"); do
        start=$EPOCHREALTIME
        /usr/bin/time -f "%M" -o "$work/time" "$@" >/dev/null
        end=$EPOCHREALTIME
        kib=$(cat "$work/time")
        best=$(echo "$end $start $best" | awk '{w = $1 - $2; print (w < $3) ? w : $3}')
        peak=$((kib > peak ? kib : peak))
    done
    echo "$best $peak"
}

set -- $(measure "$hwl" decode --raw "$work/photo.hwl" "$work/out.raw")
hwlWall=$1 hwlPeak=$2
set -- $(measure djpeg -outfile "$work/out.ppm" "$work/photo.jpg")
jpegWall=$1 jpegPeak=$2
picture=$((2048 * 2048 * 3 / 1024))
echo "2048 x 2048 photograph, best of $runs runs, pixels written to a file"
printf '%-28s %8s %10s %12s\n' decoder "wall s" "peak MiB" "file bytes"
printf '%-28s %8.3f %10.1f %12s\n' "hwl decode --raw" "$hwlWall" "$(echo "$hwlPeak / 1024" | bc -l)" \
    "$(stat -c %s "$work/photo.hwl")"
printf '%-28s %8.3f %10.1f %12s\n' "djpeg (quality 85)" "$jpegWall" \
    "$(echo "$jpegPeak / 1024" | bc -l)" "$(stat -c %s "$work/photo.jpg")"
echo "wall ratio $(echo "$hwlWall / $jpegWall" | bc -l | cut -c1-4)x;" \
    "peak limit (2 x the $((picture / 1024)) MiB picture + 16 MiB): $((2 * picture / 1024 + 16)) MiB"
