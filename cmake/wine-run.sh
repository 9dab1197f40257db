#!/usr/bin/env bash
# Runs a Windows program under Wine in a scratch prefix, creating the prefix on first use.
#   wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# Wine's exit status is the program's exit code.
set -euo pipefail

prefix=$1
shift
export WINEPREFIX=$prefix
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers: nothing here needs them and there is no network for them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ ! -e "$prefix/.ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -e "$prefix/.ready" ]; then
            wineboot --init >/dev/null 2>&1
            # Without a window manager Wine waits about 2 s whenever a managed window hides.
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
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
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
fi

# WINE_COM_PORTS="5=/dev/pts/3 6=/tmp/x": devices the program sees as COM5 and COM6.
for mapping in ${WINE_COM_PORTS:-}; do
    ln -sfn "${mapping#*=}" "$prefix/dosdevices/com${mapping%%=*}"
done

exec wine "$@"
