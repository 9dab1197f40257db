#!/usr/bin/env bash
# Makes the 32-bit Windows machine's disk once and keeps it in a cache outside the build trees,
# named by a hash of its recipe (this script, the guest's init and cmake/wine-run.sh), so a change
# to any of them makes a new one and nothing else does. Prints the folder holding the kernel
# (vmlinuz), its initrd (initrd.img) and the root file system (root.img).
#   tools/win32-vm/build-image.sh
# The machine is Debian 12 for amd64 with i386 beside it, carrying Wine (32-bit), Xvfb and a
# ready Wine prefix, and nothing else: no service manager, no documentation. Making it needs root
# (debootstrap, chroot) and a mirror; it takes about ten minutes on two cores, half of them Wine
# setting up its prefix in the emulated machine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

recipe=$(cat "$here/build-image.sh" "$here/guest-init.sh" "$root/cmake/wine-run.sh" | sha256sum | cut -c1-16)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/guide-link-tester
image=$cache/win32-vm-$recipe
if [ -f "$image/root.img" ]; then
    echo "$image"
    exit 0
fi

[ "$(id -u)" -eq 0 ] || exec sudo --preserve-env=XDG_CACHE_HOME,HOME "$0" "$@"
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
started=$(date +%s)
mkdir -p "$cache"
# One build at a time: a second caller waits for the first one's image.
exec 9>"$cache/build.lock"
flock 9
if [ -f "$image/root.img" ]; then
    echo "$image"
    exit 0
fi
work=$(mktemp -d "$cache/building.XXXXXX")
tree=$work/tree
mounted=()
cleanup() {
    local point
    for point in "${mounted[@]}"; do umount -l "$point" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
step() { echo "[$(($(date +%s) - started)) s] $*" >&2; }

step "debootstrap (minbase) from $mirror"
debootstrap --variant=minbase --arch=amd64 bookworm "$tree" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 30 "$work/debootstrap.log" >&2; exit 1; }

# No documentation, manual pages or translations: a smaller disk is a faster one to make.
cat >"$tree/etc/dpkg/dpkg.cfg.d/excludes" <<'CFG'
path-exclude=/usr/share/doc/*
path-exclude=/usr/share/man/*
path-exclude=/usr/share/info/*
path-exclude=/usr/share/locale/*
path-include=/usr/share/locale/locale.alias
CFG
for point in proc sys dev; do
    mount --bind "/$point" "$tree/$point"
    mounted=("$tree/$point" "${mounted[@]}")
done
in_tree() { chroot "$tree" env DEBIAN_FRONTEND=noninteractive LC_ALL=C "$@"; }
step "installing the kernel, Wine (32-bit) and Xvfb"
in_tree dpkg --add-architecture i386
in_tree apt-get update -q >"$work/apt.log" 2>&1
in_tree apt-get install -y -q --no-install-recommends \
    linux-image-amd64 wine wine32:i386 xvfb >>"$work/apt.log" 2>&1 ||
    { tail -n 30 "$work/apt.log" >&2; exit 1; }
in_tree apt-get clean
rm -rf "$tree"/var/lib/apt/lists/*
for point in "${mounted[@]}"; do umount -l "$point"; done
mounted=()

install -m 0755 "$here/guest-init.sh" "$tree/sbin/vm-init"
mkdir -p "$tree/mnt/share"
cp "$tree"/boot/vmlinuz-* "$work/vmlinuz"
cp "$tree"/boot/initrd.img-* "$work/initrd.img"

step "making the root file system"
size=$(($(du -sm "$tree" | cut -f1) + 1536))
mkfs.ext4 -q -L root -d "$tree" "$work/root.img" "${size}M" >/dev/null
rm -rf "$tree"

# Wine makes its prefix inside the machine (this one cannot run 32-bit code); that boot writes to
# the disk itself, so every test boot starts with the prefix ready.
step "booting once to set up the Wine prefix"
share=$work/share
mkdir -p "$share"
cp "$root/cmake/wine-run.sh" "$share/"
cat >"$share/job.sh" <<'JOB'
set -e
WINEDLLOVERRIDES='mscoree,mshtml=;winedbg.exe=d' bash /mnt/share/wine-run.sh /root/.wine cmd /c exit
wineserver --kill || true
echo "prefix ready"
JOB
# What the job prints goes to stderr: this script's output is the image's folder alone.
"$here/boot.sh" --image "$work" --keep --limit 1800 "$share" >&2

# root.img last: its presence says the image is whole.
mkdir -p "$image"
mv "$work/vmlinuz" "$work/initrd.img" "$image/"
mv "$work/root.img" "$image/"
step "image ready in $image"
echo "$image"
