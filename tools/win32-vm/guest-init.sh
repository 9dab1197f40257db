#!/bin/sh
# The guest's first and only process (the kernel starts it as init): mounts what a program needs,
# the shared folder among it, runs the job the host left there, and powers the machine off. No
# service manager: booting takes seconds, not the better part of a minute under emulation.
# The job's output goes to job.log and its exit status to job.status, both in the shared folder.
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH HOME=/root

# The initrd hands over /proc, /sys and /dev already mounted.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sysfs /sys
mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
hostname win32-vm

share=/mnt/share
modprobe 9pnet_virtio
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 share "$share"

if [ -f "$share/job.sh" ]; then
    # The host's limit is the last word; this one ends the job a little earlier, so that its
    # status still reaches the host.
    limit=$(cat "$share/job.limit" 2>/dev/null || echo 600)
    timeout -s KILL "$limit" bash "$share/job.sh" >"$share/job.log" 2>&1 </dev/null
    echo $? >"$share/job.status"
else
    echo "no job.sh in the shared folder" >"$share/job.log"
    echo 2 >"$share/job.status"
fi

sync
umount "$share"
mount -o remount,ro /
echo 1 >/proc/sys/kernel/sysrq
echo o >/proc/sysrq-trigger
sleep 60
