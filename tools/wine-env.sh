# Sourced by the project's scripts: the project's own Wine prefix and quiet Wine defaults.
TW_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export TW_ROOT
export TW_BUILD_DIR="${TW_BUILD_DIR:-$TW_ROOT/build}"
export WINEPREFIX="${WINEPREFIX:-$TW_BUILD_DIR/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko download prompts, no desktop menu entries.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
