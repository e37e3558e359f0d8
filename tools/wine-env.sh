# Sourced by the project's scripts: the project's own Wine prefix and quiet Wine defaults.
TW_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export TW_ROOT
export TW_BUILD_DIR="${TW_BUILD_DIR:-$TW_ROOT/build}"
export WINEPREFIX="${WINEPREFIX:-$TW_BUILD_DIR/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko download prompts, no desktop menu entries.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"

# A step that ends a `set -e` script says what failed, where, and with which exit code,
# before the script ends (inside functions too: errtrace). Scripts without `set -e`, and
# command substitutions (which run without it), report nothing: there a failure is handled
# by the script itself.
tw_report_failure() {
    local rc=$1 line=$2 file=$3 command=$4
    [[ $- == *e* ]] || return 0
    printf '%s: line %s of %s: "%s" failed with exit code %s\n' "${0##*/}" "$line" "${file##*/}" "$command" "$rc" >&2
}
set -E
trap 'tw_report_failure $? "$LINENO" "${BASH_SOURCE[0]:-$0}" "$BASH_COMMAND"' ERR
