#!/usr/bin/env bash
# Makes the ULIP package of the sample product (Tallyworks 28.0 R5, country "us") for the
# end-to-end run and the demo: make-ulip-package.sh <outdir> [signer [hostile]]
#   <outdir>/original.twc   the cabinet, signed by the test signer (default "veltra")
#   <outdir>/src/           what it holds: the ULIP manifest "r5.xml", "KillProcesses.xml",
#                           the release's copies of the files, 32-bit ones under "x32"
#   <outdir>/installed/     the copies a ULIP update left installed, to lay out beforehand
# "hostile" adds manifest items whose file texts point outside their folders ("..", an
# absolute path, a device name), with a "decoy.dll" in the package for them: a restore that
# followed them would overwrite the decoys laid out there (a copy of installed/decoy.dll).
# The versioned libraries come from the build (tests/fixtures/ulippackage), the certificates
# from tools/make-test-pki.sh.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
out=${1:?usage: make-ulip-package.sh <outdir> [signer]}
signer=${2:-veltra}
hostile=${3:-}
files="$TW_BUILD_DIR/tests/fixtures/ulippackage"
pki="$TW_BUILD_DIR/pki"
bash "$TW_ROOT/tools/make-test-pki.sh" "$pki"

rm -rf "$out" && mkdir -p "$out/src/x32" "$out/installed"
for name in ulipmain shared commonb tagged absent; do cp "$files/${name}_release.dll" "$out/src/$name.dll"; done
cp "$files/commonc_release.dll" "$out/src/x32/commonc.dll"
for name in ulipmain shared commonb commonc tagged; do cp "$files/${name}_ulip.dll" "$out/installed/$name.dll"; done
hostile_items=
if [ -n "$hostile" ]; then
    cp "$files/shared_release.dll" "$out/src/decoy.dll"
    cp "$files/shared_ulip.dll" "$out/installed/decoy.dll"
    hostile_items='<item><file>..\decoy.dll</file><feature>Ulip</feature></item>
  <item><file>C:\Program Files\Veltra\decoy.dll</file><feature>Ulip</feature></item>
  <item><file base="CommonAppDataFolder">..\..\decoy.dll</file><feature>Ulip</feature></item>
  <item><file>Components\CON</file><feature>Ulip</feature></item>'
fi

identity='<identity><type>patch</type><version>1</version><channel>release</channel><product><name>Tallyworks</name><version>28</version></product></identity>'
sed 's/$/\r/' >"$out/src/r5.xml" <<XML
<?xml version="1.0" encoding="utf-8"?>
<manifest>
  $identity
  <item><file>Components\\Ulip\\ulipmain.dll</file><feature>Ulip</feature></item>
  <item><file>shared.dll</file><feature>Ulip</feature></item>
  <item><file base="CommonAppDataFolder">commonb.dll</file><feature>Ulip</feature></item>
  <item><file base="CommonAppDataFolder32Bit">commonc.dll</file><feature>Ulip</feature></item>
  <item><file>Components\\Ulip\\tagged.dll.r5</file><feature>Ulip</feature></item>
  <item><file>Components\\Ulip\\absent.dll</file><feature>Ulip</feature></item>
  $hostile_items
</manifest>
XML
sed 's/$/\r/' >"$out/src/KillProcesses.xml" <<XML
<?xml version="1.0" encoding="utf-8"?>
<manifest>
  $identity
  <item><file>TWW.EXE</file><feature>Processes</feature></item>
</manifest>
XML

(cd "$out/src" && gcab -c ../plain.cab r5.xml KillProcesses.xml ulipmain.dll shared.dll commonb.dll tagged.dll \
    absent.dll x32/commonc.dll ${hostile:+decoy.dll})
osslsigncode sign -certs "$pki/$signer.chain" -key "$pki/$signer.key" -h sha256 \
    -in "$out/plain.cab" -out "$out/original.twc" >/dev/null
rm -f "$out/plain.cab"
