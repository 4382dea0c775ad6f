#!/usr/bin/env bash
# Installs the Debian packages the project needs, and only those that are missing.
# Safe to run again and again: with everything present it does nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libsdl2-dev
  ncompress
  liblua5.4-dev lua5.4
  xvfb x11-apps x11-utils xdotool python3 xfonts-base
  tcc
  libpixman-1-dev
  libpcre2-dev
  libosmesa6-dev
  libfreetype-dev libfontconfig-dev fonts-ipafont-gothic fonts-ipafont-mincho
  libvorbis-dev
  libsdl2-mixer-dev
  libfluidsynth-dev timgm6mb-soundfont
  libffi-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev ffmpeg
  fonts-wqy-microhei
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
