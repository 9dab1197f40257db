#!/usr/bin/env bash
# Runs the 32-bit Windows programs in the 32-bit Windows machine, against the simulated mount
# played on the host, in one boot: guide-link.exe's --version, check and pulse on COM2, and the
# tester's dialog worked through the dialog driver (connect, a pulse each way, disconnect,
# close). Prints what session.sh reports and exits with 0 only if every check passed. Makes the
# machine's disk first if this machine has none cached (about ten minutes).
#   tools/win32-vm/test-programs.sh GUIDE_LINK_EXE TESTER_EXE DIALOG_DRIVER_EXE LX200_MOUNT_SIM
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -eq 4 ] || { sed -n 's/^#   /usage: /p' "$0" >&2; exit 2; }

"$here/../install-packages.sh" win32-vm
image=$("$here/build-image.sh")
share=$(mktemp -d "${TMPDIR:-/tmp}/win32-vm.XXXXXX")
trap 'rm -rf "$share"' EXIT
cp "$1" "$share/guide-link.exe"
cp "$2" "$share/guide-link-tester.exe"
cp "$3" "$share/dialog-driver.exe"
cp "$here/session.sh" "$share/job.sh"
cp "$here/../../cmake/wine-run.sh" "$here/../dialog-session.sh" "$share/"
mount_sim=$(realpath "$4")

started=$(date +%s)
status=0
"$here/boot.sh" --image "$image" --limit 600 "$share" "$mount_sim" || status=$?
if [ $status -ne 0 ] && [ -f "$share/mount.log" ]; then
    echo "What the simulated mount saw last:"
    tail -n 20 "$share/mount.log" | sed 's/^/    /'
fi
echo "The 32-bit Windows machine took $(($(date +%s) - started)) s."
exit $status
