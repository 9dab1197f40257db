#!/usr/bin/env bash
# Runs a Windows program under Wine in a scratch prefix, creating the prefix on first use. A
# 64-bit program runs under the 64-bit Wine in a 64-bit prefix, anything else under the 32-bit
# Wine; one prefix serves programs of one kind.
#   wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# Wine's exit status is the program's exit code.
set -euo pipefail

prefix=$1
shift

# "win64" for a 64-bit PE file (machine 0x8664 in its header), "win32" for anything else.
pe_arch() {
    local header machine
    [ -f "$1" ] || { echo win32; return; }
    header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    machine=$(od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' ')
    [ "$machine" = 8664 ] && echo win64 || echo win32
}

export WINEPREFIX=$prefix
export WINEARCH=$(pe_arch "$1")
if [ "$WINEARCH" = win64 ]; then
    loader=/usr/lib/wine/wine64
    export WINELOADER=$loader
else
    loader=wine
    if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
        echo "wine-run.sh: this machine cannot run 32-bit x86 code, so not the 32-bit Wine either;" \
             "the windows64 preset builds the same program for the 64-bit Wine" >&2
        exit 126
    fi
fi
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers: nothing here needs them and there is no network for them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ ! -e "$prefix/.ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -e "$prefix/.ready" ]; then
            "$loader" wineboot --init >/dev/null 2>&1
            # Without a window manager Wine waits about 2 s whenever a managed window hides.
            "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
            wineserver --wait
            touch "$prefix/.ready"
        fi
    ) 9>"$prefix.lock"
fi

# A wineserver that outlives each program by a while spares the next one its start-up, which
# dominates the run of a short test program. When this call starts it (it fails harmlessly when
# one runs already), Wine's background services are started too, with output going nowhere:
# started by the program, they would hold its output open, and whoever reads that (CTest) would
# wait for them to quit as well.
if wineserver -p30 </dev/null >/dev/null 2>&1; then
    "$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
fi

# WINE_COM_PORTS="5=/dev/pts/3 6=/tmp/x": devices the program sees as COM5 and COM6.
for mapping in ${WINE_COM_PORTS:-}; do
    ln -sfn "${mapping#*=}" "$prefix/dosdevices/com${mapping%%=*}"
done

exec "$loader" "$@"
