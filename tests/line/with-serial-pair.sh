#!/usr/bin/env bash
# Runs a test program with a real serial line of its own: a socat pair of pseudo-terminals.
#   with-serial-pair.sh PROGRAM [ARGUMENTS...]
# The program learns the line from its environment:
#   SERIAL_PAIR_LINK   the end for the guide link (COM5 under Wine)
#   SERIAL_PAIR_MOUNT  the end for the simulated mount (COM6 under Wine)
#   SERIAL_PAIR_ABSENT a device path that does not exist (COM7 under Wine)
#   SERIAL_PAIR_CUT    a file to create to cut the line, as a pulled USB adapter would: both
#                      ends vanish, and then the file's name with ".done" appended appears.
# WINE_COM_PORTS carries the same mapping to cmake/wine-run.sh when PROGRAM runs under Wine.
# The program's exit status is the script's.
set -euo pipefail

dir=$(mktemp -d "${TMPDIR:-/tmp}/serial-pair.XXXXXX")
socat pty,raw,echo=0,link="$dir/link" pty,raw,echo=0,link="$dir/mount" &
socat_pid=$!
watcher_pid=

# Either may have ended already; that is no failure of the program's.
cleanup() {
    kill "$socat_pid" ${watcher_pid:+"$watcher_pid"} 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$dir"
}
trap cleanup EXIT

for _ in $(seq 200); do
    [ -e "$dir/link" ] && [ -e "$dir/mount" ] && break
    sleep 0.025
done
if [ ! -e "$dir/link" ] || [ ! -e "$dir/mount" ]; then
    echo "with-serial-pair.sh: socat made no pseudo-terminal pair" >&2
    exit 1
fi

(
    while [ ! -e "$dir/cut" ]; do sleep 0.05; done
    kill "$socat_pid"
    # Gone once it is a zombie: its descriptors, and so both terminals, are closed by then.
    while [ -e "/proc/$socat_pid" ] && [ "$(cut -d' ' -f3 "/proc/$socat_pid/stat" 2>/dev/null)" != Z ]; do
        sleep 0.02
    done
    touch "$dir/cut.done"
) &
watcher_pid=$!

export SERIAL_PAIR_LINK=$dir/link
export SERIAL_PAIR_MOUNT=$dir/mount
export SERIAL_PAIR_ABSENT=$dir/absent
export SERIAL_PAIR_CUT=$dir/cut
export WINE_COM_PORTS="5=$dir/link 6=$dir/mount 7=$dir/absent"

status=0
"$@" || status=$?
exit "$status"
