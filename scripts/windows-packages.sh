#!/usr/bin/env bash
# Installs what the Windows cross build and its tests under Wine need (as root): the MinGW-w64
# i686 compilers, Wine with its 32-bit half, the x86-64 compilers and 64-bit Wine for the probe
# of the profile functions, pefile for the executable check, and the sources of
# tinyxml2 (from Debian's source packages) and GoogleTest for the cross build.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  apt-get update -qq || echo "apt-get update failed: the install below tries it again"
fi
# apt-get source needs deb-src entries beside the machine's deb entries.
sources=/etc/apt/sources.list.d/trelmoss-deb-src.sources
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && [ ! -e "$sources" ]; then
  sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$sources"
  apt-get update -qq || echo "apt-get update failed: the install below tries it again"
fi
bash scripts/install-packages.sh g++-mingw-w64-i686-posix binutils-mingw-w64-i686 \
  mingw-w64-i686-dev wine wine32:i386 python3-pefile libgtest-dev dpkg-dev \
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64
