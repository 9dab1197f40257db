#!/usr/bin/env bash
# Installs the Debian packages that the lists in tools/packages/ name (a list per purpose, a '#'
# starts a comment); those named, or else every list but those whose first line begins
# "# Only when named" (making a release needs more than building and testing does). Does nothing
# when all are there.
#   tools/install-packages.sh [LIST...]        e.g. tools/install-packages.sh build-and-test
set -euo pipefail
cd "$(dirname "$0")/packages"

lists=("$@")
if [ ${#lists[@]} -eq 0 ]; then
    for list in *.txt; do
        head -n 1 "$list" | grep -q '^# Only when named' || lists+=("$list")
    done
fi
packages=()
for list in "${lists[@]}"; do
    read -r -a named <<<"$(sed 's/#.*//' "${list%.txt}.txt" | tr '\n' ' ')"
    packages+=("${named[@]}")
done

# A name without an architecture is ambiguous to dpkg once copies for others are installed too
# (libmicrohttpd-dev beside libmicrohttpd-dev:arm64): then the machine's own is the one meant.
native=$(dpkg --print-architecture)
missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || dpkg -s "$package:$native" >/dev/null 2>&1 || missing+=("$package")
done
# npm, for the browser test's playwright-core: Debian's nodejs leaves it to a package of its own,
# while NodeSource's nodejs carries it and conflicts with that package.
if printf '%s\n' "${packages[@]}" | grep -qx nodejs && ! command -v npm >/dev/null; then
    missing+=(npm)
fi
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing ${missing[*]}"
# Packages of other architectures (wine32:i386, say) need theirs added first.
for architecture in $(printf '%s\n' "${missing[@]}" | sed -n 's/.*:\([a-z0-9]*\)$/\1/p' | sort -u); do
    "${as_root[@]}" dpkg --add-architecture "$architecture"
done
"${as_root[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q "${missing[@]}"
