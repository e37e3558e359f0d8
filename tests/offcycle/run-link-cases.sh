#!/usr/bin/env bash
# Runs the ULIP staging cases that make Unix symbolic links, in a throw-away copy of the
# project's Wine prefix with its own wineserver: making links from a test has been seen to
# leave a prefix without its COM class registrations, which must not reach the suite's prefix.
# Usage: run-link-cases.sh <offcycle_tests.exe>
set -euo pipefail
program="$1"
source "$(dirname "$0")/../../tools/wine-env.sh"
scratch="$(mktemp -d /tmp/tw-linkprefix.XXXXXX)"
cleanup() {
    WINEPREFIX="$scratch/prefix" wineserver -k 2>/dev/null || true
    WINEPREFIX="$scratch/prefix" wineserver -w 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
cp -a "$WINEPREFIX" "$scratch/prefix"
export WINEPREFIX="$scratch/prefix"
export TW_UNIX_LINK_TESTS=1
out="$scratch/out.txt"
status=0
wine "$program" --gtest_filter='StagingFoldersTest.*Link*' --gtest_color=no >"$out" 2>&1 || status=$?
cat "$out"
# The cases must have run here, not skipped.
if grep -q '^\[  SKIPPED \]' "$out" || ! grep -q '^\[  PASSED  \] 3 tests' "$out"; then
    echo "run-link-cases: the link cases did not all run and pass" >&2
    exit 1
fi
exit "$status"
