#!/usr/bin/env bash
# Checks the release artefacts in a folder (build/release by default) as someone installing them
# would meet them, and ends with "N passed, N failed, N skipped" and code 1 if any check failed.
#  - each .deb: its name, version and architecture; its files where Debian puts them; dependencies
#    computed; its programs start (ARM ones under qemu) and guide-link passes against its own
#    simulated mount and against lx200-mount-sim; its guide-link serve answers /api/state with
#    the token it printed and refuses it without; the man pages name every option; lintian
#    finds no error
#  - the Windows zip: one folder with the name and version, holding just the files it should;
#    SHA256SUMS right; README.txt in CRLF with every status line; the exe a PE GUI program
#    carrying the version and needing no DLL beyond Windows' own; guide-link.exe a console
#    program; under Wine, the tester's dialog shows and closes (set DIALOG_DRIVER to a
#    dialog-driver.exe of the same kind). Where this machine cannot run 32-bit x86 code, the
#    32-bit programs run in a 32-bit Windows machine in software (tools/win32-vm/) instead:
#    guide-link.exe's check and pulse on COM2 against the simulated mount, and a session on the
#    dialog (connect, a pulse each way, disconnect, close); WIN32_VM=1 asks for that anyway
#  - SHA256SUMS of the folder, if there is one
#   tools/check-release.sh [FOLDER]
set -uo pipefail
cd "$(dirname "$0")/.."
folder=$(realpath "${1:-build/release}")
version=$(sed -n 's/^project(GuideLinkTester VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
package=guide-link-tester

scratch=$(mktemp -d "${TMPDIR:-/tmp}/check-release.XXXXXX")
pids=()
cleanup() {
    kill "${pids[@]}" 2>/dev/null
    wait 2>/dev/null
    [ -d "$scratch/wineprefix" ] && WINEPREFIX=$scratch/wineprefix wineserver -k 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

passed=0 failed=0 skipped=0
pass() { echo "  ok    $*"; passed=$((passed + 1)); }
fail() { echo "  FAIL  $*"; failed=$((failed + 1)); }
skip() { echo "  skip  $*"; skipped=$((skipped + 1)); }
# check WHAT COMMAND...: passes when the command succeeds.
check() {
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

same() {
    [ "$1" = "$2" ] && return 0
    if [[ "$2" == *$'\n'* ]]; then
        diff <(echo "$2") <(echo "$1") | sed -n 's/^</        missing:/p; s/^>/        extra:  /p'
    else
        echo "        got '$1', expected '$2'"
    fi
    return 1
}

# The option names a help text lists, but --help itself.
options_in_help() { grep -o -- '--[a-z][a-z-]*' | grep -vx -- '--help' | sort -u; }

# The commands a CLI11 help text lists under "Subcommands:".
subcommands_in_help() { sed -n '/^Subcommands:/,/^$/s/^  \([a-z]\+\) .*/\1/p'; }

# man_page_names_options PAGE HELP...: every option the help texts list is in the page.
man_page_names_options() {
    local page=$1 option missing=0
    shift
    local text options
    text=$(zcat "$page" | sed 's/\\-/-/g')
    options=$(printf '%s\n' "$@" | options_in_help)
    [ -n "$options" ] || { echo "        the help texts list no option"; return 1; }
    for option in $options; do
        grep -q -- "$option" <<<"$text" || { echo "        $option is not in $(basename "$page")"; missing=1; }
    done
    return $missing
}

# Each check of the link gets a minute: a hang is a failure, not the end of the check.
within_a_minute() { timeout -s KILL 60 "$@"; }

# shows_log_if_failing LOG COMMAND...: runs the command with its output in LOG, shown if it fails.
shows_log_if_failing() {
    local log=$1
    shift
    "$@" >"$log" 2>&1 && return 0
    tail -n 15 "$log" | sed 's/^/        | /'
    return 1
}

passes_against_own_simulator() {
    local bin=$1
    shift
    shows_log_if_failing "$scratch/simulated.log" within_a_minute "$@" "$bin/guide-link" --simulate check
}

# A simulator from the package serves a pseudo-terminal; guide-link from the package checks it.
passes_against_packaged_simulator() {
    local bin=$1
    shift
    local run=("$@") line status
    coproc SIMULATOR { exec timeout -s KILL 90 "${run[@]}" "$bin/lx200-mount-sim"; }
    pids+=("$SIMULATOR_PID")
    if IFS= read -r -t 30 line <&"${SIMULATOR[0]}"; then
        shows_log_if_failing "$scratch/against-simulator.log" \
            within_a_minute "${run[@]}" "$bin/guide-link" check "${line##* }"
        status=$?
    else
        echo "        lx200-mount-sim said nothing for 30 s"
        status=1
    fi
    kill "$SIMULATOR_PID" 2>/dev/null
    wait "$SIMULATOR_PID" 2>/dev/null
    return $status
}

# guide-link serve from the package, on a free loopback port, answers /api/state with the token
# it printed (200) and refuses it without (401).
serves_state_to_token_only() {
    local bin=$1
    shift
    local line="" base token with without
    coproc SERVER { exec timeout -s KILL 90 "$@" "$bin/guide-link" serve --listen 127.0.0.1:0 2>&1; }
    pids+=("$SERVER_PID")
    while IFS= read -r -t 30 line <&"${SERVER[0]}"; do
        [[ $line =~ (http://127\.0\.0\.1:[0-9]+)/\?token=([0-9a-f]+) ]] && break
    done
    base=${BASH_REMATCH[1]:-} token=${BASH_REMATCH[2]:-}
    with=$(curl -s -o /dev/null -w '%{http_code}' -H "X-Guide-Link-Token: $token" "$base/api/state")
    without=$(curl -s -o /dev/null -w '%{http_code}' "$base/api/state")
    kill -INT "$SERVER_PID" 2>/dev/null
    wait "$SERVER_PID" 2>/dev/null
    [ -n "$base" ] || { echo "        guide-link serve printed no address: $line"; return 1; }
    same "$with $without" "200 401"
}

check_deb() {
    local deb=$1 name arch
    name=$(basename "$deb")
    arch=$(dpkg-deb --field "$deb" Architecture)
    echo "$name"
    check "named ${package}_${version}_ARCH.deb" same "$name" "${package}_${version}_${arch}.deb"
    check "version field $version" same "$(dpkg-deb --field "$deb" Version)" "$version"
    check "dependencies computed (libc6 among them)" \
        grep -q 'libc6 (>=' <<<"$(dpkg-deb --field "$deb" Depends)"

    local listed expected
    listed=$(dpkg-deb --contents "$deb" | awk '$6 !~ /\/$/ {print $2, $6}' | sort)
    expected=$(sort <<EOF
root/root ./usr/bin/guide-link
root/root ./usr/bin/lx200-mount-sim
root/root ./usr/share/doc/$package/changelog.gz
root/root ./usr/share/doc/$package/copyright
root/root ./usr/share/doc/$package/usage.md
root/root ./usr/share/man/man1/guide-link.1.gz
root/root ./usr/share/man/man1/lx200-mount-sim.1.gz
EOF
)
    check "files where Debian puts them, owned by root" same "$listed" "$expected"
    local modes
    modes=$(dpkg-deb --contents "$deb" | awk '{print $1, $6}' |
        grep -v -E '^(drwxr-xr-x .*/|-rwxr-xr-x \./usr/bin/.*|-rw-r--r-- .*[^/])$')
    check "directories and programs 0755, other files 0644" same "$modes" ""

    local unpacked=$scratch/$arch
    dpkg-deb -x "$deb" "$unpacked"
    local doc=$unpacked/usr/share/doc/$package bin=$unpacked/usr/bin
    check "copyright in the machine-readable format" \
        grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$doc/copyright"
    check "changelog.gz names $version" \
        same "$(zcat "$doc/changelog.gz" | dpkg-parsechangelog -l- -SVersion)" "$version"

    # Programs of another architecture run under qemu with the cross compiler's C library and its
    # own loader, as the ARM builds' tests do (cmake/linux-cross.cmake): the library path keeps
    # the loader from taking Debian's multiarch copy (libc6:arm64, installed for dpkg-shlibdeps),
    # with which the programs hang.
    local run=()
    if [ "$arch" != "$(dpkg --print-architecture)" ]; then
        local cpu triple
        cpu=$(dpkg-architecture -a "$arch" -qDEB_HOST_GNU_CPU 2>/dev/null)
        triple=$(dpkg-architecture -a "$arch" -qDEB_HOST_GNU_TYPE 2>/dev/null)
        run=("qemu-$cpu-static" -L "/usr/$triple" -E "LD_LIBRARY_PATH=/usr/$triple/lib")
    fi
    local program
    for program in guide-link lx200-mount-sim; do
        check "$program --version says $version" \
            same "$(within_a_minute "${run[@]}" "$bin/$program" --version 2>&1)" "$program $version"
    done
    check "guide-link passes against its simulated mount" passes_against_own_simulator "$bin" "${run[@]}"
    check "guide-link passes against lx200-mount-sim" passes_against_packaged_simulator "$bin" "${run[@]}"
    check "guide-link serve answers /api/state with the token only" serves_state_to_token_only "$bin" "${run[@]}"

    local help=() command
    help+=("$("${run[@]}" "$bin/guide-link" --help 2>&1)")
    for command in $(subcommands_in_help <<<"${help[0]}"); do
        help+=("$("${run[@]}" "$bin/guide-link" "$command" --help 2>&1)")
    done
    check "guide-link's man page names every option" \
        man_page_names_options "$unpacked/usr/share/man/man1/guide-link.1.gz" "${help[@]}"
    check "lx200-mount-sim's man page names every option" \
        man_page_names_options "$unpacked/usr/share/man/man1/lx200-mount-sim.1.gz" \
        "$("${run[@]}" "$bin/lx200-mount-sim" --help 2>&1)"

    lintian --fail-on error "$deb" >"$scratch/lintian-$arch.txt" 2>&1
    local status=$?
    grep -v 'running with root privileges' "$scratch/lintian-$arch.txt" | sed 's/^/        /'
    check "lintian finds no error" [ $status -eq 0 ]
}

# pe_field EXE PATTERN: the value objdump -p shows after PATTERN.
pe_field() { objdump -p "$1" | awk -v field="$2" '$1 == field {print $2; exit}'; }

# Only DLLs that come with Windows: the MinGW runtime is linked in.
needs_only_windows_dlls() {
    local own
    own=$(objdump -p "$1" | sed -n 's/^\s*DLL Name: //p' | grep -i -E '^lib|mingw|pthread|stdc\+\+|gcc')
    [ -z "$own" ] || { echo "        needs $own"; return 1; }
}

crlf_only() { ! grep -q $'[^\r]$\|^$' "$1"; }

names_every_status_line() {
    local texts text missing=0
    texts=$(sed -n 's/^ *u"\(.*\)", *\/\/ [0-9]*$/\1/p' link/StatusText.cpp)
    [ -n "$texts" ] || { echo "        found no status texts in link/StatusText.cpp"; return 1; }
    while IFS= read -r text; do
        grep -qxF "$text" <(tr -d '\r' <"$1") || { echo "        \"$text\" is not in README.txt"; missing=1; }
    done <<<"$texts"
    return $missing
}

# Starts the tester under Wine on a display of its own, waits for its dialog and closes it.
dialog_shows_and_closes() {
    local exe=$1 prefix=$scratch/wineprefix display answers
    display=:$((90 + RANDOM % 500))
    Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
    DISPLAY=$display cmake/wine-run.sh "$prefix" "$exe" >/dev/null 2>&1 &
    local tester=$!
    pids+=("$tester")
    answers=$(printf 'wait 30000\nclose\ngone 10000\n' |
        DISPLAY=$display cmake/wine-run.sh "$prefix" "$DIALOG_DRIVER" 2>/dev/null | tr -d '\r' | tr '\n' ' ')
    same "$answers" "ok ok ok " || return 1
    local waited
    for waited in $(seq 150); do kill -0 "$tester" 2>/dev/null || break; sleep 0.1; done
    wait "$tester"
}

# The simulated mount from the amd64 package, or else from the native build.
host_simulator() {
    local packaged=$scratch/amd64/usr/bin/lx200-mount-sim
    if [ -x "$packaged" ]; then echo "$packaged"; else echo build/native/mount_simulator/lx200-mount-sim; fi
}

# Runs the zip's own 32-bit programs in the 32-bit Windows machine and shows what they printed.
runs_in_win32_machine() {
    local unpacked=$1 status=0
    tools/win32-vm/test-programs.sh "$unpacked/guide-link.exe" "$unpacked/guide-link-tester.exe" \
        "$DIALOG_DRIVER" "$(host_simulator)" >"$scratch/win32-vm.log" 2>&1 || status=$?
    sed 's/^/        | /' "$scratch/win32-vm.log"
    return $status
}

check_zip() {
    local zip=$1 name kind top
    name=$(basename "$zip")
    kind=${name##*-}
    kind=${kind%.zip}
    top=$package-$version-$kind
    echo "$name"
    check "named $package-$version-KIND.zip" same "$name" "$top.zip"

    local listed expected
    listed=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
    expected=$(printf "$top/%s\n" guide-link-tester.exe guide-link.exe README.txt LICENSE.txt \
        THIRD-PARTY-NOTICES.txt SHA256SUMS | sort)
    check "one folder $top/ with the programs, README, licences and SHA256SUMS" same "$listed" "$expected"

    unzip -q "$zip" -d "$scratch"
    local unpacked=$scratch/$top
    check "SHA256SUMS matches the files beside it" \
        bash -c "cd '$unpacked' && sha256sum --quiet -c SHA256SUMS"
    check "README.txt explains every status line" names_every_status_line "$unpacked/README.txt"
    check "README.txt names version $version" grep -q "Guide-link tester $version " "$unpacked/README.txt"
    check "LICENSE.txt is the MIT licence" grep -q '^MIT License' "$unpacked/LICENSE.txt"
    local text
    for text in README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt; do
        check "$text has CRLF line ends" crlf_only "$unpacked/$text"
    done

    local exe=$unpacked/guide-link-tester.exe magic=010b
    [ "$kind" = win64 ] && magic=020b
    check "guide-link-tester.exe is a Windows GUI program (Magic $magic, Subsystem 2)" \
        same "$(pe_field "$exe" Magic) $(pe_field "$exe" Subsystem)" "$magic 00000002"
    check "guide-link.exe is a Windows console program (Magic $magic, Subsystem 3)" \
        same "$(pe_field "$unpacked/guide-link.exe" Magic) $(pe_field "$unpacked/guide-link.exe" Subsystem)" \
        "$magic 00000003"
    check "guide-link-tester.exe's version resource says $version" \
        grep -qx "$version" <(strings -el "$exe")
    check "guide-link-tester.exe needs no DLL beyond Windows' own" needs_only_windows_dlls "$exe"
    check "guide-link.exe needs no DLL beyond Windows' own" needs_only_windows_dlls "$unpacked/guide-link.exe"

    local wine=/usr/lib/wine/wine
    [ "$kind" = win64 ] && wine=/usr/lib/wine/wine64
    if [ "$kind" = win32 ] && { [ "${WIN32_VM:-0}" = 1 ] || ! "$wine" --version >/dev/null 2>&1; }; then
        if [ -z "${DIALOG_DRIVER:-}" ]; then
            fail "the 32-bit programs in the 32-bit Windows machine: DIALOG_DRIVER names no dialog-driver.exe"
        else
            check "in the 32-bit Windows machine (tools/win32-vm/), guide-link.exe's check and pulse on COM2 pass, and the dialog connects, pulses each way, disconnects and closes with code 0" \
                runs_in_win32_machine "$unpacked"
        fi
    elif ! "$wine" --version >/dev/null 2>&1; then
        skip "guide-link-tester.exe under Wine: '$wine --version' fails here (this machine cannot" \
             "run $([ "$kind" = win64 ] && echo 64 || echo 32)-bit x86 code, or has no such Wine)," \
             "so the dialog was not started"
    elif [ -z "${DIALOG_DRIVER:-}" ]; then
        skip "guide-link-tester.exe under Wine: DIALOG_DRIVER names no dialog-driver.exe to work it"
    else
        check "guide-link-tester.exe starts under Wine, shows its dialog and closes with code 0" \
            dialog_shows_and_closes "$exe"
        check "guide-link.exe --version under Wine says $version" same \
            "$(cmake/wine-run.sh "$scratch/wineprefix" "$unpacked/guide-link.exe" --version 2>/dev/null | tr -d '\r')" \
            "guide-link $version"
    fi
}

shopt -s nullglob
debs=("$folder"/*.deb)
zips=("$folder"/*.zip)
[ ${#debs[@]} -gt 0 ] || fail "no .deb in $folder"
[ ${#zips[@]} -gt 0 ] || fail "no .zip in $folder"
for deb in "${debs[@]}"; do check_deb "$deb"; done
for zip in "${zips[@]}"; do check_zip "$zip"; done
if [ -f "$folder/SHA256SUMS" ]; then
    echo "SHA256SUMS"
    check "matches every artefact" bash -c "cd '$folder' && sha256sum --quiet -c SHA256SUMS"
fi

echo "check-release: $passed passed, $failed failed, $skipped skipped"
[ $failed -eq 0 ]
