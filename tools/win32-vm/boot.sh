#!/usr/bin/env bash
# Boots the 32-bit Windows machine once and runs the job in a shared folder: SHARE/job.sh runs as
# root in the guest, which sees SHARE as /mnt/share; its output comes back as SHARE/job.log and
# its exit status as SHARE/job.status, which is also this script's exit status. The guest's
# second serial port (/dev/ttyS1, COM2 to Wine) is a pseudo-terminal here, on which MOUNT (the
# simulated mount, with "--device PTY" added) plays when given. The disk is left as it was unless
# --keep is given. The guest's console goes to SHARE/console.log.
#   tools/win32-vm/boot.sh [--image DIR] [--keep] [--limit SECONDS] SHARE [MOUNT [ARGS...]]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

image="" snapshot=on limit=600
while [ $# -gt 0 ]; do
    case $1 in
        --image) image=$2; shift 2 ;;
        --keep) snapshot=off; shift ;;
        --limit) limit=$2; shift 2 ;;
        *) break ;;
    esac
done
share=$(realpath "$1")
shift
[ -n "$image" ] || image=$("$here/build-image.sh")
mount_program=("$@")

rm -f "$share/job.status" "$share/job.log" "$share/console.log"
# The guest ends its job half a minute before the host gives up on the machine.
echo $((limit - 30)) >"$share/job.limit"

pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

# With SMAP, qemu 7.2's emulated CPU makes the guest kernel kill every 32-bit Wine process.
qemu-system-x86_64 -nodefaults -display none -no-reboot -name win32-vm \
    -accel tcg,thread=multi -smp 2 -m 2048 -cpu max,-smap \
    -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
    -append "root=/dev/vda rw init=/sbin/vm-init console=ttyS0 quiet" \
    -drive "file=$image/root.img,format=raw,if=virtio,snapshot=$snapshot" \
    -virtfs "local,path=$share,mount_tag=share,security_model=none,id=share" \
    -serial "file:$share/console.log" \
    -chardev pty,id=mount -serial chardev:mount \
    -monitor none >"$share/qemu.log" 2>&1 </dev/null &
qemu=$!
pids+=("$qemu")

if [ ${#mount_program[@]} -gt 0 ]; then
    pty=""
    for _ in $(seq 100); do
        pty=$(sed -n 's/.*char device redirected to \(\/dev\/pts\/[0-9]*\) (label mount).*/\1/p' "$share/qemu.log")
        [ -n "$pty" ] && break
        sleep 0.1
    done
    [ -n "$pty" ] || { echo "qemu made no pseudo-terminal for the serial port" >&2; cat "$share/qemu.log" >&2; exit 1; }
    "${mount_program[@]}" --device "$pty" >"$share/mount.log" 2>&1 &
    pids+=($!)
fi

status=0
timeout -s KILL "$limit" tail --pid="$qemu" -f /dev/null || status=$?
if [ $status -ne 0 ]; then
    echo "The machine did not power off within $limit s" >&2
    kill "$qemu" 2>/dev/null || true
fi
wait "$qemu" 2>/dev/null || true
[ -f "$share/job.log" ] && cat "$share/job.log"
if [ ! -f "$share/job.status" ]; then
    echo "The job left no exit status; the guest's console ends:" >&2
    tail -n 20 "$share/console.log" >&2 || true
    exit 1
fi
exit "$(cat "$share/job.status")"
