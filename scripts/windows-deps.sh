#!/bin/bash
# Builds the third-party libraries of the Windows build: installs Debian's
# MinGW-w64 cross compiler and Wine if missing, then builds static SDL2, FLTK,
# libsndfile (with Ogg Vorbis, FLAC and Opus), kissfft, FreeType and libpng
# from their release archives into an install prefix cached outside the clone.
# Prints the prefix and the cmake line that configures a project build with it.
usage() {
  cat <<'EOF'
usage: scripts/windows-deps.sh [--vendor DIR] [--prefix DIR] [--with-openmpt] [--trust-archives]
                               [--print-prefix]

  --vendor DIR       folder holding the release archives (or INDAHOUSE_VENDOR=DIR);
                     default: ../shared/vendor beside the clone. Elsewhere, make the
                     same archives from the upstream release tags listed below with
                     `git archive --prefix=NAME-VERSION/ -o NAME-VERSION.tar.gz TAG`.
  --prefix DIR       install into DIR instead of the cache (or INDAHOUSE_MINGW_PREFIX=DIR);
                     libraries already built there with the same recipe are kept.
  --with-openmpt     also build libopenmpt (C++, several minutes on 2 cores).
  --trust-archives   build archives whose sha256 differs from the known one (for
                     archives made from the same tags by another git version);
                     the cache key still follows their real hashes.
  --print-prefix     print the prefix this run would fill, build nothing.

Cached prefix: ${XDG_CACHE_HOME:-$HOME/.cache}/indahouse/mingw-KEY, where KEY hashes the
archives and this script's recipes; a second run only checks and prints.
Upstream tags: SDL2 libsdl-org/SDL release-2.32.10, FLTK fltk/fltk release-1.3.11,
libsndfile 1.2.2, libogg xiph/ogg v1.3.5, libvorbis xiph/vorbis v1.3.7,
FLAC xiph/flac 1.4.3, Opus xiph/opus v1.4 (plus its release tarball's package_version),
kissfft mborgerding/kissfft 131.1.0, FreeType VER-2-13-2, libpng pnggroup/libpng v1.6.58,
libopenmpt OpenMPT/openmpt libopenmpt-0.7.21.
EOF
}
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
toolchain="$here/mingw-w64-toolchain.cmake"

vendor=${INDAHOUSE_VENDOR:-$root/../shared/vendor}
prefix=${INDAHOUSE_MINGW_PREFIX:-}
with_openmpt=0
trust=0
print_only=0
while [ $# -gt 0 ]; do
  case "$1" in
    --vendor) vendor=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    --with-openmpt) with_openmpt=1; shift ;;
    --trust-archives) trust=1; shift ;;
    --print-prefix) print_only=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "windows-deps: unknown option '$1'" >&2; usage >&2; exit 2 ;;
  esac
done

# --- toolchain ---------------------------------------------------------------
# The -posix compilers are the ones whose libstdc++ has std::thread. Not in
# install-deps.sh on purpose: they and Wine weigh about 1 GB.
PACKAGES="g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools
  libz-mingw-w64-dev wine wine64 xvfb xauth cmake ninja-build pkg-config"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "windows-deps: installing$missing (about 40 s, 1.1 GB)"
  $SUDO apt-get update -q
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
fi
MINGW_ROOT=/usr/x86_64-w64-mingw32

# --- archives ----------------------------------------------------------------
# Name, archive and its known sha256, in build order (dependencies first; the
# two slow ones early, so a change to an audio recipe does not rebuild them).
ARCHIVES="
zlibpc   -                                 -
libpng   libpng-1.6.58.tar.gz              f4eb29df04df5f4ff724a1e13204c48c456b9f1bb2a6f6185bbbebf658383ba4
sdl2     SDL2-2.32.10.tar.gz               8087bad3d8ad2f1afbc8f53152b3e0a480ab4303acb4cb998cbca5a69a7581a0
fltk     fltk-1.3.11.tar.gz                1b16300484c1637ac04f2b6546ad199edf85aceb30d5e3cee7de7feb9c520632
freetype freetype-2.13.2.tar.gz            751ae640a150a28bb0ddc5296e19bb64f54b6d60020c6de02109a1c3d813050d
kissfft  kissfft-131.1.0.tar.gz            0d03c43ecbe6243bfca8a011260f9b91e595843205264beff8e654ea8bb869cb
ogg      libogg-1.3.5.tar.gz               71a242330f15fb7205bc3cca571eeb4111b0e01aca70cdd8cb7e438860af5647
vorbis   libvorbis-1.3.7.tar.gz            54ae803956b403a0e0ed34f9b79df1f4a5704e0621ba1b77a10cfbe17b23533c
flac     flac-1.4.3.tar.gz                 d050f5535c5a5d42ffe5ff4fa37f2d89140484f8d29f528f12f0c2e130fd24ed
opus     opus-1.4.tar.gz                   01efa9e2f40a110a6de3a0db255412bba766d9d8f66a4f0c068269f6820dcab0
sndfile  libsndfile-1.2.2.tar.gz           de45affe02072db8bc57f033b00f22411813d401fa01da60ad5530c2796272ea
openmpt  libopenmpt-0.7.21-sources.tar.gz  5a982665f713bbe0771e84ba204019ea5b6ff849e57fd43b1456d192998c7dd3
"
libs=$(echo "$ARCHIVES" | awk 'NF { print $1 }')
[ "$with_openmpt" -eq 1 ] || libs=$(echo "$libs" | grep -v '^openmpt$')

archive_of() { echo "$ARCHIVES" | awk -v n="$1" '$1 == n { print $2 }'; }
known_sha_of() { echo "$ARCHIVES" | awk -v n="$1" '$1 == n { print $3 }'; }

# Verify before anything is built: a wrong or damaged archive stops here.
declare -A sha
for lib in $libs; do
  a=$(archive_of "$lib")
  [ "$a" != "-" ] || { sha[$lib]=-; continue; }
  if [ ! -f "$vendor/$a" ]; then
    echo "windows-deps: $vendor/$a is missing (see --help for the upstream tag; --vendor names another folder)" >&2
    exit 1
  fi
  sha[$lib]=$(sha256sum "$vendor/$a" | cut -d' ' -f1)
  if [ "${sha[$lib]}" != "$(known_sha_of "$lib")" ]; then
    if [ "$trust" -eq 1 ]; then
      echo "windows-deps: note: $a has sha256 ${sha[$lib]} (not the known one); building it as asked"
    else
      echo "windows-deps: $vendor/$a: sha256 ${sha[$lib]} is not the expected $(known_sha_of "$lib")" >&2
      echo "  (a damaged download, or another release; --trust-archives builds it anyway)" >&2
      exit 1
    fi
  fi
done

# --- recipes -----------------------------------------------------------------
# Each build_NAME runs in the library's unpacked source folder; $P is the
# prefix. Everything is static, without programs, tests, examples or docs.
# Stack protector and _FORTIFY_SOURCE stay off where a library turns them on:
# under MinGW they pull in libssp, one more thing every program must link.
JOBS=2

# The install directories are named because some projects (kissfft) include
# GNUInstallDirs only for native builds and would otherwise install into /.
cmake_lib() {
  nice -n 10 cmake -S . -B _build -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DINDAHOUSE_MINGW_PREFIX="$P" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$P" -DCMAKE_PREFIX_PATH="$P" \
    -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_INCLUDEDIR=include -DCMAKE_INSTALL_BINDIR=bin \
    -DBUILD_SHARED_LIBS=OFF "$@" >_configure.log 2>&1 ||
    { tail -30 _configure.log; return 1; }
  nice -n 10 cmake --build _build -j "$JOBS" >_build.log 2>&1 || { tail -30 _build.log; return 1; }
  DESTDIR="$PWD/_stage" cmake --install _build >_install.log 2>&1 || { tail -30 _install.log; return 1; }
  install_stage
}

# Installs go to a staging folder first: whatever lands outside the prefix is
# an error here, not a stray file in the build machine's /.
install_stage() {
  stray=$(cd _stage && find . -mindepth 1 \( -type f -o -type l \) | grep -v "^\.$P/" | head -5 || true)
  if [ -n "$stray" ]; then
    echo "would install outside $P:"
    echo "$stray"
    return 1
  fi
  cp -a "_stage$P/." "$P/"
}

# libpng's and libopenmpt's .pc files name zlib, and PKG_CONFIG_LIBDIR sees
# only the prefix: copy MinGW's static zlib in and describe it there. The
# prefix's lib folder has no zlib1.dll import library beside it, so -lz can
# only mean the static one; and as -lz it keeps its place after the
# libraries that need it, which a full path in Libs would not.
build_zlibpc() {
  mkdir -p "$P/lib/pkgconfig" "$P/include"
  cp "$MINGW_ROOT/lib/libz.a" "$P/lib/"
  cp "$MINGW_ROOT/include/zlib.h" "$MINGW_ROOT/include/zconf.h" "$P/include/"
  cat >"$P/lib/pkgconfig/zlib.pc" <<EOF
prefix=$P
Name: zlib
Description: zlib from Debian's libz-mingw-w64-dev, static
Version: 1.2.13
Libs: -L\${prefix}/lib -lz
Cflags: -I\${prefix}/include
EOF
}
build_libpng() { cmake_lib -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_TOOLS=OFF -DPNG_EXECUTABLES=OFF; }
# Only what the overlay's glyphs need: no bzip2, PNG, HarfBuzz or Brotli.
build_freetype() {
  cmake_lib -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
}
build_kissfft() { cmake_lib -DKISSFFT_DATATYPE=float -DKISSFFT_STATIC=ON -DKISSFFT_TEST=OFF -DKISSFFT_TOOLS=OFF; }
build_ogg() { cmake_lib -DINSTALL_DOCS=OFF; }
build_vorbis() { cmake_lib; }
build_flac() {
  cmake_lib -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF \
    -DBUILD_DOCS=OFF -DINSTALL_MANPAGES=OFF -DWITH_FORTIFY_SOURCE=OFF -DWITH_STACK_PROTECTOR=OFF
}
build_opus() {
  cmake_lib -DOPUS_BUILD_PROGRAMS=OFF -DOPUS_BUILD_TESTING=OFF -DOPUS_STACK_PROTECTOR=OFF \
    -DOPUS_FORTIFY_SOURCE=OFF
}
# MP3 would need mpg123 and LAME: the show plays Ogg, WAV and FLAC.
# libsndfile finds FLAC through its own find module, which does not carry
# FLAC__NO_DLL: without it FLAC's header declares the functions as DLL
# imports and the static link fails.
build_sndfile() {
  cmake_lib -DENABLE_EXTERNAL_LIBS=ON -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF \
    -DBUILD_TESTING=OFF -DENABLE_CPACK=OFF -DINSTALL_MANPAGES=OFF -DCMAKE_C_FLAGS=-DFLAC__NO_DLL
}
build_sdl2() { cmake_lib -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_TESTS=OFF; }
# The show draws with SDL's GL context, not FLTK's; fluid is not built when
# cross-compiling anyway. libpng and zlib are the prefix's own, so a program
# linking both FLTK and libpng has one copy; JPEG is FLTK's bundled one.
build_fltk() {
  cmake_lib -DOPTION_USE_GL=OFF -DFLTK_BUILD_TEST=OFF -DOPTION_BUILD_HTML_DOCUMENTATION=OFF \
    -DOPTION_BUILD_PDF_DOCUMENTATION=OFF -DOPTION_USE_SYSTEM_LIBPNG=ON -DOPTION_USE_SYSTEM_ZLIB=ON \
    -DOPTION_USE_SYSTEM_LIBJPEG=OFF
}
# Its cross-build settings turn zlib off; NO_ZLIB=0 brings it back (MinGW's,
# through the prefix's zlib.pc) for compressed modules. The vendored sources
# hold only the library's folders: no bundled miniz, minimp3 or stb_vorbis,
# and no examples, which the Makefile's install target copies; so build the
# library and install its three parts by hand.
build_openmpt() {
  PKG_CONFIG_LIBDIR="$P/lib/pkgconfig" nice -n 10 make -j "$JOBS" CONFIG=mingw-w64 WINDOWS_ARCH=amd64 \
    CC=x86_64-w64-mingw32-gcc-posix CXX=x86_64-w64-mingw32-g++-posix \
    LD=x86_64-w64-mingw32-g++-posix AR=x86_64-w64-mingw32-ar PKG_CONFIG=pkg-config \
    STATIC_LIB=1 SHARED_LIB=0 EXAMPLES=0 OPENMPT123=0 TEST=0 \
    NO_ZLIB=0 NO_MPG123=1 NO_OGG=1 NO_VORBIS=1 NO_VORBISFILE=1 NO_PORTAUDIO=1 NO_PORTAUDIOCPP=1 \
    NO_PULSEAUDIO=1 NO_SDL2=1 NO_SNDFILE=1 NO_FLAC=1 NO_MINIZ=1 NO_MINIMP3=1 NO_STBVORBIS=1 \
    PREFIX="$P" all >_build.log 2>&1 || { tail -30 _build.log; return 1; }
  mkdir -p "$P/include/libopenmpt" "$P/lib/pkgconfig"
  cp libopenmpt/libopenmpt*.h libopenmpt/libopenmpt*.hpp "$P/include/libopenmpt/"
  cp bin/libopenmpt.a "$P/lib/"
  cp bin/libopenmpt.pc "$P/lib/pkgconfig/"
}

# A library's key: its archive's hash, its recipe, the helper it calls, the
# toolchain file, the compiler version, and the key of the library before it
# (which it may build on), so a change rebuilds that library and those after.
compiler_id=$(x86_64-w64-mingw32-g++-posix --version | head -1)
declare -A key
previous=""
for lib in $libs; do
  key[$lib]=$({ echo "$previous ${sha[$lib]}"; declare -f "build_$lib" cmake_lib
    cat "$toolchain"; echo "$compiler_id"; } | sha256sum | cut -c1-16)
  previous=${key[$lib]}
done

# --- prefix ------------------------------------------------------------------
# Named by the last library everyone builds; libopenmpt, optional and last,
# joins the same prefix.
if [ -z "$prefix" ]; then
  prefix="${XDG_CACHE_HOME:-$HOME/.cache}/indahouse/mingw-${key[sndfile]:0:12}"
fi
if [ "$print_only" -eq 1 ]; then
  echo "$prefix"
  exit 0
fi
mkdir -p "$prefix/.stamps"
P=$(cd "$prefix" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/indahouse-mingw.XXXXXX")
trap 'rm -rf "$work"' EXIT

total_start=$(date +%s)
for lib in $libs; do
  if [ "$(cat "$P/.stamps/$lib" 2>/dev/null)" = "${key[$lib]}" ]; then
    echo "windows-deps: $lib cached"
    continue
  fi
  start=$(date +%s)
  printf 'windows-deps: %-8s building ...' "$lib"
  src="$work/$lib"
  mkdir -p "$src"
  a=$(archive_of "$lib")
  if [ "$a" != "-" ]; then
    # One top folder, NAME-VERSION/, whose name we do not need. The vendored
    # libopenmpt archive starts with a line of git's stderr before its gzip
    # stream: read from the gzip magic on.
    off=$(LC_ALL=C grep -obUaP -m1 '\x1f\x8b\x08' "$vendor/$a" | head -1 | cut -d: -f1)
    tail -c +"$((${off:-0} + 1))" "$vendor/$a" | tar xz -C "$src" --strip-components=1
  fi
  if ! (cd "$src" && "build_$lib"); then
    echo
    echo "windows-deps: building $lib failed (logs above; sources in $src kept)" >&2
    trap - EXIT
    exit 1
  fi
  echo "${key[$lib]}" >"$P/.stamps/$lib"
  rm -rf "$src"
  echo " $(($(date +%s) - start)) s"
done

# What a project build needs, also written down for scripts to read.
cat >"$P/configure-args.txt" <<EOF
-DCMAKE_TOOLCHAIN_FILE=$toolchain
-DINDAHOUSE_MINGW_PREFIX=$P
-DCMAKE_PREFIX_PATH=$P
-DFLTK_DIR=$P/CMake
EOF
echo "windows-deps: prefix $P ($(du -sh "$P" | cut -f1), $(($(date +%s) - total_start)) s)"
echo "windows-deps: configure a build with:"
echo "  cmake -S . -B build-win -G Ninja -DCMAKE_BUILD_TYPE=Release $(tr '\n' ' ' <"$P/configure-args.txt")"
