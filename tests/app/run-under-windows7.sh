#!/usr/bin/env bash
# Runs a test program with the prefix set to Windows 7, inside a network namespace of its own
# (online or offline, see tw_netns_run), and sets the prefix back to Windows 10 afterwards,
# whatever the program's outcome:  run-under-windows7.sh online|offline program.exe [args...]
# TW_GATE_EXPECT tells the program which setting it runs in ("6.1,online" or "6.1,offline").
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/tools/wine-env.sh"
source "$root/tools/e2e-lib.sh"
mode=${1:?usage: run-under-windows7.sh online|offline program [args...]}
shift
# The setting made here, for a program that checks that Windows reports it (the support
# gate's suite fails otherwise); a setting given by the caller is kept.
export TW_GATE_EXPECT=${TW_GATE_EXPECT:-6.1,$mode}
tw_netns_run "$mode" bash -c '
    wine reg add "HKCU\\Software\\Wine" /v Version /d win7 /f >/dev/null 2>&1 || exit 93
    # Output through a file: a loopback server the tests started may hold a pipe a while.
    log=$(mktemp)
    wine "$@" >"$log" 2>&1
    rc=$?
    cat "$log"
    rm -f "$log"
    wine reg add "HKCU\\Software\\Wine" /v Version /d win10 /f >/dev/null 2>&1 || rc=94
    exit $rc' run-under-windows7 "$@"
