#!/bin/sh
# Installs every Debian package the project builds, tests or runs with.
# Idempotent: when everything is present it only checks and returns.
set -eu

PACKAGES="
  cmake ninja-build pkg-config g++ clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libasound2-dev xvfb xauth libgl1-mesa-dri libglu1-mesa-dev
  libsndfile1-dev libkissfft-dev libopenmpt-dev
  libfltk1.3-dev fluid
  libpng-dev libcli11-dev
  libturbojpeg0-dev libjpeg-turbo-progs
  libcairo2-dev librsvg2-dev fonts-dejavu-core libfreetype-dev
  xdotool imagemagick ffmpeg
"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing="$missing $p"
  fi
done

if [ -z "$missing" ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

echo "install-deps: installing$missing"
$SUDO apt-get update -q
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
