#!/usr/bin/env bash
# Installs what building and testing the tester needs on Debian: the MinGW-w64 cross compilers
# for 32-bit Windows (the program that ships) and 64-bit Windows, Wine with its 32-bit part, Xvfb as Wine's display, socat for serial lines,
# clang for the sanitizer builds, and GoogleTest's sources. Does nothing when all are there.
set -euo pipefail

packages=(cmake g++ clang libclang-rt-14-dev googletest socat xvfb
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine32:i386 wine64
          libcli11-dev libfmt-dev nlohmann-json3-dev)

missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing ${missing[*]}"
# wine32 is an i386 package.
"${as_root[@]}" dpkg --add-architecture i386
"${as_root[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q "${missing[@]}"
