#!/usr/bin/env bash
# Release artifacts from one command: a Release build of twpatch.exe and twpatchcheck.exe
# that is reproducible, each signed with Authenticode and its signature verified, and a
# SHA256SUMS file.
#   bash tools/release.sh [output folder]          (default build/release)
# Output:
#   <out>/twpatch.exe, <out>/twpatchcheck.exe      signed (SHA-256 digest, no time stamp:
#                                                  time-stamping is the signing service's)
#   <out>/SHA256SUMS                               of the signed programs
#   <out>/unsigned/*.exe, <out>/unsigned/SHA256SUMS  the programs before signing: two builds
#                                                  of one commit, in any folders, give the
#                                                  same bytes
# The signer comes from the environment, by default the project's test signer made by
# tools/make-test-pki.sh into build/pki:
#   TW_SIGN_CERTS  PEM: the signer certificate, then its chain up to the root
#   TW_SIGN_KEY    PEM: the signer's private key
#   TW_SIGN_ROOT   PEM: the root the signature is verified against (and trusted in the
#                  project's Wine prefix for the WinVerifyTrust check)
# Each signature is verified after signing by `osslsigncode verify` against that root and
# under Wine by WinVerifyTrust through the program's own check (tools/signcheck, built in the
# release tree),
# which also requires the signer's name to be the maker's ("Veltra Inc").
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/wine-env.sh"
out=$(realpath -m "${1:-$TW_BUILD_DIR/release}")
programs=(twpatch twpatchcheck)
# Windows path (Z:) of a host path.
winpath() { local path; path=$(realpath -m "$1"); printf 'Z:%s' "${path//\//\\}"; }

# Packages, the prefix with the test root trusted and the test signer; set-up builds only
# what it runs itself.
TW_SKIP_CLANG=1 bash "$here/setup.sh" trustroot

certs=${TW_SIGN_CERTS:-$TW_BUILD_DIR/pki/veltra.chain}
key=${TW_SIGN_KEY:-$TW_BUILD_DIR/pki/veltra.key}
root=${TW_SIGN_ROOT:-$TW_BUILD_DIR/pki/root.pem}
for f in "$certs" "$key" "$root"; do
    [ -r "$f" ] || { echo "release: cannot read $f" >&2; exit 1; }
done

# The commit's time stands for "now" wherever a tool would write the time: the compilers'
# date macros and the signing time of the signatures.
if commit=$(git -C "$TW_ROOT" rev-parse HEAD 2>/dev/null); then
    SOURCE_DATE_EPOCH=$(git -C "$TW_ROOT" log -1 --format=%ct HEAD)
    dirty=$(git -C "$TW_ROOT" status --porcelain --untracked-files=no | head -n 1)
else
    commit=unknown dirty=
    SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-0}
fi
export SOURCE_DATE_EPOCH

# A tree of its own: Release, only the two programs, symbols stripped. The source and build
# folders are mapped away by the project's compile options and the linker writes no time
# stamp (CMakeLists.txt), so the folder this runs in does not show in the bytes.
tree="$out/tree"
echo "release: building ${programs[*]} of $commit${dirty:+ (with uncommitted changes)} in $tree"
cmake -S "$TW_ROOT" -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$TW_ROOT/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DTW_WERROR=ON -DTW_BUILD_TESTS=OFF -DCMAKE_EXE_LINKER_FLAGS=-s >/dev/null
cmake --build "$tree" -j"$(nproc)" --target "${programs[@]}" signcheck

rm -rf "$out/unsigned" && mkdir -p "$out/unsigned"
for p in "${programs[@]}"; do cp "$tree/$p.exe" "$out/unsigned/$p.exe"; done
(cd "$out/unsigned" && sha256sum ./*.exe | sed 's| \./| |' >SHA256SUMS)

# The root is trusted in the prefix for the WinVerifyTrust check (the default test root is
# already; adding it again changes nothing).
openssl x509 -in "$root" -outform DER -out "$out/root.der"
wine "$TW_BUILD_DIR/tests/fixtures/trustroot/trustroot.exe" add "$(winpath "$out/root.der")"

failed=0
for p in "${programs[@]}"; do
    signed="$out/$p.exe"
    rm -f "$signed"
    osslsigncode sign -certs "$certs" -key "$key" -h sha256 -n "Tallyworks Update" \
        -time "$SOURCE_DATE_EPOCH" -in "$out/unsigned/$p.exe" -out "$signed" >/dev/null
    if osslsigncode verify -CAfile "$root" -in "$signed" >"$out/$p.osslsigncode.txt" 2>&1; then
        echo "release: $p.exe: osslsigncode verify: ok"
    else
        echo "release: $p.exe: osslsigncode verify FAILED:" >&2
        sed 's/^/    /' "$out/$p.osslsigncode.txt" >&2
        failed=1
    fi
    if check=$(wine "$tree/tools/signcheck/signcheck.exe" "$(winpath "$signed")" 2>&1); then
        echo "release: $p.exe: WinVerifyTrust under Wine: ok ($(tr -d '\r' <<<"$check" | paste -sd' '))"
    else
        echo "release: $p.exe: WinVerifyTrust under Wine FAILED: $(tr -d '\r' <<<"$check" | paste -sd' ')" >&2
        failed=1
    fi
done
wineserver -w 2>/dev/null || true
((failed == 0)) || { echo "release: a signature did not verify" >&2; exit 1; }
(cd "$out" && sha256sum ./*.exe | sed 's| \./| |' >SHA256SUMS)

echo "release: $out"
echo "== unsigned (reproducible):"
sed 's/^/   /' "$out/unsigned/SHA256SUMS"
echo "== signed (SHA256SUMS):"
sed 's/^/   /' "$out/SHA256SUMS"
