#!/bin/sh
# Builds the show for Windows on this machine and packs it:
# dist/indahouse-win64.zip, unzipped and double-clicked on Windows.
#
#   scripts/windows.sh [--vendor DIR] [--smoke]
#
# 1. MinGW-w64 and Wine if missing, and the third-party libraries, built
#    once from their release archives and cached (scripts/windows-deps.sh).
# 2. The show directory, made by the Linux makeshow from assets/ (only what
#    changed since the last run), in build/showdir.
# 3. The cross-compiled programs, in build-win.
# 4. The zip: the show and its data in one folder, the font the overlay
#    draws with, the tools, the libraries' licenses and a readme.
# --smoke then runs the Windows smoke suite on it under Wine and Xvfb.
set -eu
cd "$(dirname "$0")/.."
root=$PWD

vendor_args=""
smoke=0
while [ $# -gt 0 ]; do
  case "$1" in
    --vendor) vendor_args="--vendor $2"; shift 2 ;;
    --smoke) smoke=1; shift ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "windows: unknown option '$1' (see --help)" >&2; exit 2 ;;
  esac
done

JOBS=$(nproc)
start=$(date +%s)
step() { echo "== windows: $1 ($(($(date +%s) - start)) s) =="; }

step "packages and libraries"
./scripts/install-deps.sh
# shellcheck disable=SC2086
./scripts/windows-deps.sh $vendor_args
# shellcheck disable=SC2086
prefix=$(./scripts/windows-deps.sh $vendor_args --print-prefix)

step "the show directory (Linux makeshow)"
# An existing build folder keeps its own settings; only its tools are needed.
[ -f build/CMakeCache.txt ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$JOBS" --target makeshow capture indahouse
build/tools/makeshow build/showdir

step "cross-compiling"
cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/scripts/mingw-w64-toolchain.cmake" \
  -DINDAHOUSE_MINGW_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DFLTK_DIR="$prefix/CMake"
cmake --build build-win -j "$JOBS"

step "packing"
name=indahouse-win64
stage=build-win/dist/$name
rm -rf "$stage" && mkdir -p "$stage/data" "$stage/tools" "$stage/fonts" "$stage/licenses"
cp build-win/runtime/indahouse.exe "$stage/"
for tool in texedit hwl texgen; do cp "build-win/tools/$tool.exe" "$stage/tools/"; done
# The show: the script, the music it names, the pictures and the scene
# files. makeshow's own bookkeeping (state, lock, the music's cache) stays
# behind.
cp build/showdir/script.sqx "$stage/"
music=$(awk '$1 == "@music" { print $3; exit }' build/showdir/script.sqx | tr -d '\r')
cp "build/showdir/$music" "$stage/"
cp build/showdir/data/*.hwl "$stage/data/"
if [ -d build/showdir/scenes ]; then mkdir -p "$stage/scenes" && cp build/showdir/scenes/* "$stage/scenes/"; fi
cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$stage/fonts/"
cp /usr/share/doc/fonts-dejavu-core/copyright "$stage/licenses/DejaVu-fonts.txt"
# The licenses of the libraries linked into the programs, from their archives.
vendor=$(echo "$vendor_args" | sed 's/^--vendor //')
[ -n "$vendor" ] || vendor=${INDAHOUSE_VENDOR:-$root/../shared/vendor}
for entry in SDL2-2.32.10:LICENSE.txt fltk-1.3.11:COPYING libsndfile-1.2.2:COPYING \
  libogg-1.3.5:COPYING libvorbis-1.3.7:COPYING flac-1.4.3:COPYING.Xiph opus-1.4:COPYING \
  kissfft-131.1.0:COPYING freetype-2.13.2:docs/FTL.TXT libpng-1.6.58:LICENSE; do
  folder=${entry%%:*} file=${entry#*:}
  tar -xzOf "$vendor/$folder.tar.gz" "$folder/$file" >"$stage/licenses/$folder.txt"
done
cp scripts/windows-readme.txt "$stage/readme.txt"
# Windows' own tools read the readme best with CR LF line ends.
sed -i 's/$/\r/' "$stage/readme.txt"
mkdir -p dist
rm -f "dist/$name.zip"
(cd build-win/dist && cmake -E tar cf "$root/dist/$name.zip" --format=zip "$name")
size=$(du -k "dist/$name.zip" | cut -f1)
step "dist/$name.zip: ${size} KiB"

if [ "$smoke" -eq 1 ]; then
  step "the smoke suite under Wine"
  tests/windows/smoke.sh "dist/$name.zip"
fi
step "done"
