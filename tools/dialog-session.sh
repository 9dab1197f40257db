#!/usr/bin/env bash
# Plays a short session on the tester's dialog through the dialog driver, as a person would: picks
# PORT, presses Connect, sends a 1000 ms pulse each way, presses Disconnect and closes the dialog.
# Prints each step and the status it led to; exits with 0 only if every status came as it should
# and the tester ended with code 0 within 30 s of closing. The tester and the driver run through
# WINE_RUN (cmake/wine-run.sh) in PREFIX, each killed after five minutes at most; with
# SCREENSHOT, a .bmp of the connected dialog is saved there. Needs DISPLAY.
#   tools/dialog-session.sh WINE_RUN PREFIX TESTER DRIVER PORT [SCREENSHOT]
set -uo pipefail
[ $# -ge 5 ] || { sed -n 's/^#   /usage: /p' "$0" >&2; exit 2; }
wine_run=$1 prefix=$2 tester=$3 driver=$4 port=$5 screenshot=${6:-}

windows() { timeout -s KILL 300 bash "$wine_run" "$prefix" "$@"; }

windows "$tester" &
tester_pid=$!
coproc DRIVER { windows "$driver" 2>/dev/null; }
driver_pid=$DRIVER_PID
answer=""
ask() {
    echo "$*" >&"${DRIVER[1]}"
    IFS= read -r -t 60 answer <&"${DRIVER[0]}" || answer="(no answer)"
    answer=${answer%$'\r'}
}
# await_status TEXT: waits up to 30 s for the status line to read TEXT.
await_status() {
    local _
    for _ in $(seq 150); do
        ask text 110
        [ "$answer" = "$1" ] && { echo "    status: $answer"; return 0; }
        sleep 0.2
    done
    echo "    status: $answer (expected \"$1\")"
    return 1
}
# Selects PORT in the port list.
select_port() {
    local index count
    ask count 102
    count=$answer
    for ((index = 0; index < count; index++)); do
        ask item 102 "$index"
        [ "$answer" = "$port" ] && { ask select 102 "$index"; return 0; }
    done
    echo "$port is not among the $count ports the dialog offers" >&2
    return 1
}
session() {
    local arrow
    ask wait 120000
    [ "$answer" = ok ] || { echo "The tester's dialog did not appear." >&2; return 1; }
    echo "--- pressing Connect with $port selected"
    select_port || return 1
    ask click 100
    await_status Ready || return 1
    if [ -n "$screenshot" ]; then ask screenshot "$screenshot"; fi
    for arrow in 140:north 141:south 142:east 143:west; do
        echo "--- a 1000 ms pulse ${arrow#*:}"
        ask click "${arrow%%:*}"
        await_status "Sending correction pulse." || return 1
        await_status Ready || return 1
    done
    echo "--- pressing Disconnect"
    ask click 101
    await_status "Connection closed" || return 1
    echo "--- closing the tester"
    ask close
    ask gone 20000
    [ "$answer" = ok ] || { echo "The tester's dialog did not close." >&2; return 1; }
}

status=0
session || status=1
# The driver ends with its input; the tester, if the session broke off, is ended here.
driver_input=${DRIVER[1]:-}
[ -n "$driver_input" ] && exec {driver_input}>&-
wait "$driver_pid" 2>/dev/null
for _ in $(seq 300); do kill -0 "$tester_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$tester_pid" 2>/dev/null; then
    [ $status -eq 0 ] && echo "The tester did not end within 30 s of closing." >&2
    kill -KILL "$tester_pid" 2>/dev/null
    status=1
fi
code=0
wait "$tester_pid" || code=$?
if [ $status -eq 0 ] && [ "$code" != 0 ]; then
    echo "The tester ended with code $code." >&2
    status=1
fi
exit $status
