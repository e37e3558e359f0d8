#!/usr/bin/env bash
# Makes the package cabinets of the cabinet tests into the folder given, signed with the test
# certificates of the second folder (made first when missing). Nothing here is committed.
#
#   good.twc       signed by "Veltra Inc": a.dll, readme.txt, KillProcesses.xml, x32\helper.dll
#   unsigned.twc   the same, not signed
#   other.twc      signed by "Other Vendor Inc" (same trusted root)
#   noveltra.twc   signed by "Noveltra Inc" (same trusted root)
#   stranger.twc   signed by a "Veltra Inc" under a root nobody trusts
#   corrupt.twc    good.twc with one content byte flipped after signing
#   deep.twc       signed, with an entry two folder levels deep (x32\sub\deep.dll)
#   hostile-N.twc  signed by "Veltra Inc": ok.dll, then one entry with a hostile name
#   hostile.txt    "N<TAB>name" for each hostile cabinet
#
#   make-cabinets.sh OUTDIR [PKIDIR [FINISHED]]
#
# FINISHED, when given, receives the exit status when the script ends (a caller under Wine
# cannot wait for a Unix process, so it waits for that file).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="$1"
pki="${2:-$here/../build/pki}"
finished="${3:-}"
[ -z "$finished" ] || trap 'echo $? > "$finished"' EXIT
mkdir -p "$out"
out="$(cd "$out" && pwd)"
# Made again when this script or the writer changed.
if [ -f "$out/done" ] && [ "$out/done" -nt "$0" ] && [ "$out/done" -nt "$here/write-cabinet.py" ]; then
    exit 0
fi
bash "$here/make-test-pki.sh" "$pki"
pki="$(cd "$pki" && pwd)"

work="$(mktemp -d)"
trap 'status=$?; rm -rf "$work"; [ -z "$finished" ] || echo $status > "$finished"' EXIT
mkdir -p "$work/src/x32"
cd "$work/src"
printf 'MZ a.dll of the release\n' > a.dll
printf 'release notes\r\n' > readme.txt
printf '<?xml version="1.0"?><manifest><items/></manifest>\n' > KillProcesses.xml
# Larger than one cabinet block, and with a marker to flip in the corrupt copy.
{ printf 'MZ helper FLIPMARKER '; head -c 70000 /dev/zero | tr '\0' 'h'; } > x32/helper.dll

sign() { # signer in out
    rm -f "$3"
    osslsigncode sign -certs "$pki/$1.chain" -key "$pki/$1.key" -h sha256 -in "$2" -out "$3" >/dev/null
}

gcab -c ../plain.cab a.dll readme.txt KillProcesses.xml x32/helper.dll
cp ../plain.cab "$out/unsigned.twc"
sign veltra ../plain.cab "$out/good.twc"
sign other ../plain.cab "$out/other.twc"
sign noveltra ../plain.cab "$out/noveltra.twc"
sign stranger ../plain.cab "$out/stranger.twc"

cp "$out/good.twc" "$out/corrupt.twc"
python3 - "$out/corrupt.twc" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
at = data.index(b"FLIPMARKER")
data[at] ^= 0x20
open(path, "wb").write(bytes(data))
PY

python3 "$here/write-cabinet.py" ../deep.cab 'a.dll=a.dll' 'x32\sub\deep.dll=a.dll'
sign veltra ../deep.cab "$out/deep.twc"

hostile=('..\evil.dll' 'C:\evil.dll' '\evil.dll' 'a/b.dll' 'CON' 'x32\..\..\evil.dll' 'original.twc'
         'x32\con.txt' 'a.dll:stream' 'evil.dll.' 'x32\\evil.dll')
: > "$out/hostile.txt"
for i in "${!hostile[@]}"; do
    python3 "$here/write-cabinet.py" ../hostile.cab 'ok.dll=a.dll' "${hostile[$i]}=a.dll"
    sign veltra ../hostile.cab "$out/hostile-$i.twc"
    printf '%s\t%s\n' "$i" "${hostile[$i]}" >> "$out/hostile.txt"
done
touch "$out/done"
