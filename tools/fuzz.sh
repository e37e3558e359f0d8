#!/usr/bin/env bash
# Runs the mutation fuzzer of the program's outside inputs under Wine (and Xvfb), one kind
# after the other, and prints per kind: inputs run, crashes, hangs, time. Crashing and
# hanging inputs are saved to build/fuzz/findings.
#   bash tools/fuzz.sh [--count N] [--seconds S] [--kind K] [--seed X]
#   bash tools/fuzz.sh --native [--count N] [--seconds S]   # clang libFuzzer build on Linux
set -uo pipefail
here="$(dirname "$0")"
count=100000 seconds=1800 kind="" seed=1 native=0
while (($#)); do
    case "$1" in
        --count) count="$2"; shift 2 ;;
        --seconds) seconds="$2"; shift 2 ;;
        --kind) kind="$2"; shift 2 ;;
        --seed) seed="$2"; shift 2 ;;
        --native) native=1; shift ;;
        *) echo "usage: $0 [--count N] [--seconds S] [--kind K] [--seed X] [--native]" >&2; exit 64 ;;
    esac
done
source "$here/wine-env.sh"

if ((native)); then
    # The pieces that compile without Windows headers, with ASan and UBSan.
    out="$TW_BUILD_DIR/fuzz-native"
    mkdir -p "$out/corpus"
    clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -I"$TW_ROOT/src" \
        "$TW_ROOT/fuzz/native/FormEncodingFuzz.cpp" "$TW_ROOT/src/logging/FormEncoding.cpp" \
        -o "$out/formencoding_fuzz" || exit 1
    start=$SECONDS
    (cd "$out" && ./formencoding_fuzz -runs="$count" -max_total_time="$seconds" -max_len=4096 \
        -seed="$seed" corpus "$TW_ROOT/fuzz/seeds/endpoint" 2>&1 | tail -3)
    rc=${PIPESTATUS[0]}
    echo "fuzz native formencoding: inputs=$count rc=$rc seconds=$((SECONDS - start))"
    exit "$rc"
fi

TW_SKIP_CLANG=1 bash "$here/setup.sh" twfuzz >/dev/null || { echo "fuzz: set-up or the build of twfuzz failed" >&2; exit 1; }
source "$here/xvfb.sh"
tw_start_display
kinds=(ini manifest endpoint cmdline patchlog registry msimessage support)
[ -n "$kind" ] && kinds=("$kind")
findings="$TW_BUILD_DIR/fuzz/findings"
mkdir -p "$findings"
failed=0
for k in "${kinds[@]}"; do
    line=$(wine "$TW_BUILD_DIR/fuzz/twfuzz.exe" --kind "$k" --count "$count" --seconds "$seconds" --seed "$seed" \
               --seeds "$(winepath -w "$TW_ROOT/fuzz/seeds")" --out "$(winepath -w "$findings")" 2>&1)
    rc=$?
    echo "$line" | grep '^twfuzz:'
    ((rc == 0)) || failed=1
done
exit "$failed"
