#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the whole test suite under Wine and Xvfb.
# Exits non-zero on any failure.
set -euo pipefail
here="$(dirname "$0")"
bash "$here/setup.sh"
source "$here/wine-env.sh"
source "$here/xvfb.sh"
tw_start_display
# Keep one wineserver and Wine's helper services for the whole suite, so each test program
# starts faster. They are started here, with their output away from ctest's pipes: a helper
# that inherited a test's pipe would keep ctest waiting for it.
wineserver -p 2>/dev/null || true  # exits 2 when a server of the prefix is still running
wine cmd.exe /c exit >/dev/null 2>&1 || true
ctest --test-dir "$TW_BUILD_DIR" --output-on-failure "$@"
