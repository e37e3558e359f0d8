# The checks of the end-to-end scripts (run-e2e.sh, run-faults.sh), sourced after
# tools/e2e-lib.sh. Each check prints "ok: <what>" or "FAILED: <what>" and counts its
# failures in $failures; <what> begins with "$check_label: " when the label is set (the
# fault table's row). Checks of the patch log read the update folder's Patchlog.txt under
# $work.

failures=0
check_label=

check() {  # description, command...
    local what=${check_label:+$check_label: }$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
        return 1
    fi
}
equals() { [ "$1" = "$2" ] || { echo "   got \"$1\", expected \"$2\""; return 1; }; }
contains() { [[ "$1" == *"$2"* ]] || { echo "   \"$1\" does not contain \"$2\""; return 1; }; }
same_file() { cmp -s "$1" "$2" || { echo "   $2 differs from $1"; return 1; }; }
no_file() { [ ! -e "$1" ] || { echo "   $1 exists"; return 1; }; }
log_has() { tr -d '\r' <"$work/update/Patchlog.txt" 2>/dev/null | grep -- "$1" >/dev/null || { echo "   Patchlog.txt has no line matching \"$1\""; return 1; }; }
not_log_has() { ! tr -d '\r' <"$work/update/Patchlog.txt" 2>/dev/null | grep -- "$1" >/dev/null || { echo "   Patchlog.txt has a line matching \"$1\""; return 1; }; }
