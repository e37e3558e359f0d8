#!/usr/bin/env bash
# Benchmarks of the installer against bare programs doing the same work, under Wine.
#   bash bench/run.sh [--quick] [--only start|manifest|files|update|network]...
# Sets up and builds like tools/test.sh, builds the benchmark programs, then runs
# bench/bench.py on a private display with one wineserver for the whole run.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../tools/wine-env.sh"
TW_SKIP_CLANG=1 bash "$here/../tools/setup.sh" >/dev/null
source "$here/../tools/xvfb.sh"
cmake --build "$TW_BUILD_DIR" -j2 --target tw_bench >/dev/null
tw_start_display
wineserver -p 2>/dev/null || true
wine cmd.exe /c exit >/dev/null 2>&1 || true
python3 "$here/bench.py" "$@"
