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

exec wine "$@"
