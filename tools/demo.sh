#!/usr/bin/env bash
# The main job: sets up what is missing, builds, lays out a sample update folder next to a
# sample product folder in the project's Wine prefix, runs the update under Xvfb and shows
# what the program did.
set -euo pipefail
here="$(dirname "$0")"
bash "$here/setup.sh"
source "$here/wine-env.sh"
source "$here/xvfb.sh"
tw_start_display

demo="$TW_BUILD_DIR/demo"
update="$demo/update"
product="$WINEPREFIX/drive_c/Program Files/Veltra/Tallyworks 28"
rm -rf "$demo"
mkdir -p "$update" "$product"
cp "$TW_BUILD_DIR/twpatch.exe" "$update/"
cat >"$update/patch.ini" <<'INI'
[PatchConfig]
twfileversion=28.0
INI

echo "== running: twpatch.exe /A /P C:\\Program Files\\Veltra\\Tallyworks 28"
set +e
(cd "$update" && wine ./twpatch.exe /A /P 'C:\Program Files\Veltra\Tallyworks 28')
code=$?
set -e
echo "== exit code: $code"
echo "== Patchlog.txt:"
tr -d '\r' <"$update/Patchlog.txt"
echo "== relaunch batch file:"
tr -d '\r' <"$product/TWUpdateUtility.bat"
