#!/usr/bin/env bash
# Makes every release artefact into build/release/ from a commit (HEAD unless another is named,
# such as a tag: what is being edited stays out of a release), then checks them with
# tools/check-release.sh:
#  - guide-link-tester_VERSION_ARCH.deb for each Linux preset CMakePresets.json has: linux-amd64,
#    and linux-arm64 and linux-armhf where those are
#  - guide-link-tester-VERSION-win32.zip, the 32-bit Windows programs of the windows preset
#  - SHA256SUMS of them all
# Installs what it needs first. Ends with the check's code.
#   tools/make-release.sh [COMMIT]
set -euo pipefail
# The packages' directories and files take their modes from what the build makes.
umask 022
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build/release-work
release=$root/build/release
jobs=$(nproc)
commit=$(git rev-parse --verify "${1:-HEAD}^{commit}")

echo "Making the release from commit ${commit:0:12}"
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
    echo "(the work tree has uncommitted changes: they are not in the release)"
rm -rf "$work" "$release"
mkdir -p "$work/source" "$release"
git archive "$commit" | tar -x -C "$work/source"
cd "$work/source"
tools/install-packages.sh build-and-test release

# Dates in the packages (man pages, archive members) are the changelog's, not the build's.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l packaging/debian/changelog -STimestamp)
export SOURCE_DATE_EPOCH

# build PRESET TARGET...: a clean Release build of the targets in build/release-work/PRESET,
# with its output in a log that is shown only if the build fails.
build() {
    local preset=$1 log=$work/$1.log
    shift
    if ! { cmake --preset "$preset" -B "$work/$preset" -DBUILD_TESTING=OFF &&
           cmake --build "$work/$preset" -j "$jobs" --target "$@"; } >"$log" 2>&1; then
        tail -40 "$log"
        echo "Building $preset failed; the whole log is $log" >&2
        exit 1
    fi
}

# pack PRESET: CPack's package of a build, moved into build/release.
pack() {
    local log=$work/$1-cpack.log
    if ! (cd "$work/$1" && cpack) >"$log" 2>&1; then
        cat "$log"
        exit 1
    fi
    sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' "$log" | xargs -I{} mv {} "$release/"
}

linux_presets=$(cmake --list-presets | sed -n 's/^ *"\(linux-[a-z0-9]*\)".*/\1/p')
for preset in $linux_presets; do
    architecture=${preset#linux-}
    echo "Building the $architecture package ($preset)..."
    if [ "$architecture" != "$(dpkg --print-architecture)" ]; then
        tools/install-packages.sh cross-arm "release-$architecture"
    fi
    # Debian's own build flags, hardening included.
    (
        export DEB_HOST_ARCH=$architecture DEB_BUILD_MAINT_OPTIONS=hardening=+all
        CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
        LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
        export CXXFLAGS LDFLAGS
        build "$preset" package_contents
    )
    pack "$preset"
done
for missing in linux-arm64 linux-armhf; do
    grep -qx "$missing" <<<"$linux_presets" || echo "No $missing preset: no ${missing#linux-} package."
done

echo "Building the Windows zip (windows)..."
# The dialog's check works it with the dialog driver: under Wine where the 32-bit Wine runs, in
# the 32-bit Windows machine (tools/win32-vm/) elsewhere.
build windows package_contents dialog-driver
export DIALOG_DRIVER=$work/windows/tools/dialog_driver/dialog-driver.exe
pack windows

(cd "$release" && sha256sum -- *.deb *.zip >SHA256SUMS)
echo
echo "Artefacts in build/release:"
for artefact in "$release"/*; do
    printf '  %-44s %9d bytes\n' "$(basename "$artefact")" "$(stat -c %s "$artefact")"
done
echo
echo "Checking them:"
tools/check-release.sh "$release"
