#!/usr/bin/env bash
# Installs what the project needs on a Debian 12 machine (as root), creates the project's
# Wine prefix and builds the program and its tests. Safe to run again: it only does what is
# missing.
#   bash tools/setup.sh                 everything: program, checker, tests, fixtures, fuzzer
#   bash tools/setup.sh <target>...     only these build targets (and what set-up itself runs)
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
targets=("$@")
# Set-up runs it to trust the test root in the prefix.
setup_targets=(trustroot)

packages=(cmake make g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          googletest wine wine64 xvfb xdotool x11-apps x11-utils imagemagick wixl msitools
          gcab osslsigncode openssl python3 iproute2 util-linux fonts-dejavu-core clang lld llvm fonts-wine)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if ! dpkg --print-foreign-architectures | grep -q i386; then dpkg --add-architecture i386; fi
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "setup: creating the Wine prefix $WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
fi
# Windows 10; windows not handed to an X window manager (there is none under Xvfb, and
# waiting for one costs two seconds per window).
if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    wineserver -w
fi

# Dialog templates are laid out in dialog units of "MS Shell Dlg", which Wine maps to Tahoma.
# Wine 8 as Debian packages it does not load the Tahoma of fonts-wine from its data folder,
# so the wider DejaVu Sans stood in and pushed buttons off the right edge of the dialogs.
# Tahoma in the prefix's own fonts folder gives the dialogs the metrics they have on Windows.
prefix_fonts="$WINEPREFIX/drive_c/windows/Fonts"
for font in tahoma.ttf tahomabd.ttf; do
    if ! cmp -s "/usr/share/wine/fonts/$font" "$prefix_fonts/$font"; then
        mkdir -p "$prefix_fonts"
        cp "/usr/share/wine/fonts/$font" "$prefix_fonts/$font"
    fi
done
if ! grep -q '^"MS Shell Dlg"="Tahoma"' "$WINEPREFIX/system.reg" ||
   ! grep -q '^"MS Shell Dlg 2"="Tahoma"' "$WINEPREFIX/system.reg"; then
    for face in "MS Shell Dlg" "MS Shell Dlg 2"; do
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
             /v "$face" /d Tahoma /f >/dev/null 2>&1 || true
    done
    wineserver -w
fi

echo "setup: building in $TW_BUILD_DIR"
cmake -S "$TW_ROOT" -B "$TW_BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$TW_ROOT/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DTW_WERROR=ON >/dev/null
if ((${#targets[@]})); then
    echo "setup: building only ${targets[*]}"
    cmake --build "$TW_BUILD_DIR" -j"$(nproc)" --target "${targets[@]}" "${setup_targets[@]}"
else
    cmake --build "$TW_BUILD_DIR" -j"$(nproc)"
fi

# The same tree with clang for the same target, warnings as errors too, so the code stays
# portable beyond one compiler. Only built; the tests run the GCC build. TW_SKIP_CLANG=1 skips
# it (the demo and the screenshots do not need it).
if [ "${TW_SKIP_CLANG:-0}" != 1 ]; then
    echo "setup: building with clang in $TW_BUILD_DIR/clang"
    cmake -S "$TW_ROOT" -B "$TW_BUILD_DIR/clang" -DCMAKE_TOOLCHAIN_FILE="$TW_ROOT/cmake/clang-mingw-w64-x86_64.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DTW_WERROR=ON >/dev/null
    if ((${#targets[@]})); then
        cmake --build "$TW_BUILD_DIR/clang" -j"$(nproc)" --target "${targets[@]}" "${setup_targets[@]}"
    else
        cmake --build "$TW_BUILD_DIR/clang" -j"$(nproc)"
    fi
fi

# Test certificates, and the test root trusted by the prefix's user: signed cabinets and the
# loopback TLS servers of the tests are issued under it, as the maker's are under a public root.
bash "$TW_ROOT/tools/make-test-pki.sh" "$TW_BUILD_DIR/pki"
if ! wine reg query 'HKCU\Software\Microsoft\SystemCertificates\Root\Certificates' 2>/dev/null |
        grep -qi "$(openssl x509 -in "$TW_BUILD_DIR/pki/root.pem" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')"; then
    wine "$TW_BUILD_DIR/tests/fixtures/trustroot/trustroot.exe" add "$(winepath -w "$TW_BUILD_DIR/pki/root.der")"
    wineserver -w
fi
