#!/usr/bin/env bash
# Screenshots of the program's windows under Xvfb, into a folder (default
# build/screenshots): the auto variant's main window (and the shutdown dialog, when the
# product is still running long enough), the wait dialog during a slow patch, one picture per
# percentage it showed ("wait-dialog-<percent>.png"), the completion message, and the web
# variant's window with its "&Install Now" dialog. Each run installs the sample product
# afresh and removes it again.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/wine-env.sh"
source "$here/xvfb.sh"
source "$here/e2e-lib.sh"
TW_SKIP_CLANG=1 bash "$here/setup.sh" "${TW_RUN_TARGETS[@]}" || { echo "screenshots: set-up failed" >&2; exit 1; }
tw_start_display
wineserver -p >/dev/null 2>&1 || true

# The prefix is put back on every exit, after a failed step or an interrupt too: the
# product still running is ended, then the current work folder's run is cleaned up; the
# display goes last, as the clean-up still runs Wine.
work=
product_pid=
cleanup() {
    [ -n "$product_pid" ] && kill "$product_pid" 2>/dev/null
    tw_cleanup_work "$work"
    tw_stop_display
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

out=$(realpath -m "${1:-$TW_BUILD_DIR/screenshots}")
mkdir -p "$out"
rm -f "$out"/*.png

# Auto variant with a first patch that takes a few seconds. The product runs for a moment
# when the update starts, so the update waits for it with only its main window shown (and,
# if it runs long enough, the shutdown dialog).
work="$TW_BUILD_DIR/screenshots-work/auto"
tw_install_product "$work" "Tallyworks 28 screenshots" || { echo "install failed"; exit 1; }
tw_offcycle_setup "$work"
tw_make_update "$work" slow || { echo "update folder failed"; exit 1; }
tw_status_log_isolate "$work"
wine "$TW_PRODUCT_DIR/tww.exe" /sleep 3500 >/dev/null 2>&1 &
product_pid=$!
sleep 0.5
# shellcheck disable=SC2086
tw_start_update "$work" 120 /A /P $TW_PRODUCT_WINDIR
end=$((SECONDS + 60))
best=-1
while tw_run_running && ((SECONDS < end)); do
    windows=$(tw_probe windows)
    if [ ! -f "$out/auto-window.png" ] && grep -q '^TWPatchClass|' <<<"$windows" && ! grep -q '^#32770|' <<<"$windows"; then
        tw_screenshot "$out/auto-window.png"
        echo "auto window: $(grep '^TWPatchClass|' <<<"$windows" | cut -d'|' -f2)"
    fi
    if [ ! -f "$out/shutdown-dialog.png" ] && tw_probe text 1003 >/dev/null; then
        tw_screenshot "$out/shutdown-dialog.png"
        echo "shutdown dialog shown"
    fi
    if percent=$(tw_probe text 402) && [ -n "$percent" ]; then
        value=${percent%\%}
        if [[ $value =~ ^[0-9]+$ ]] && ((value > best)); then
            best=$value
            tw_screenshot "$out/wait-dialog-$value.png"
            echo "wait dialog: $percent ($(tw_probe text 301 | sed 's/^ *//'))"
        fi
    fi
    if awk -F'|' '$1 == "#32770" && $3 != "" { f = 1 } END { exit !f }' <<<"$windows"; then
        tw_screenshot "$out/completion-message.png"
        break
    fi
    sleep 0.2
done
wait "$product_pid" 2>/dev/null
product_pid=
tw_answer_all_boxes 60
echo "auto run exit code: $(tw_run_exit_code "$work")"
tw_cleanup_work "$work"

# Web variant: the window with its confirmation dialog.
work="$TW_BUILD_DIR/screenshots-work/web"
tw_install_product "$work" "Tallyworks 28 screenshots web" || { echo "install failed"; exit 1; }
tw_offcycle_setup "$work"
tw_make_update "$work" good || { echo "update folder failed"; exit 1; }
tw_status_log_isolate "$work"
tw_start_update "$work" 120
if tw_wait_control 1043 "&Install Now" 60 >/dev/null; then
    sleep 0.5
    tw_screenshot "$out/web-window.png"
    tw_click_control 1043 "&Install Now"
    tw_answer_all_boxes 90
else
    echo "the web dialog did not show"
    tw_stop_update "$work"
fi
echo "web run exit code: $(tw_run_exit_code "$work")"
tw_cleanup_work "$work"
work=

echo "== screenshots in $out:"
ls -1 "$out"
