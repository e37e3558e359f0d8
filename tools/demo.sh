#!/usr/bin/env bash
# The main job: sets up what is missing and builds; installs the sample product
# (Tallyworks 28.0 release 5) into the project's Wine prefix; lays out an update folder with
# twpatch.exe, patch.ini and two delta patches (R5->R6, R6->R7) made by mspgen, and the files
# a ULIP update left in the product; checks the folder with twpatchcheck.exe (the release
# gate, and --here: would it update this machine, from which revision to which); runs the
# update under Xvfb as an installer would ("/A /P <product folder>"), answers its messages,
# and shows what changed. The run happens in a network namespace of its own in which the
# maker's hosts are servers on 127.0.0.1: the release's ULIP package is downloaded from
# there, the telemetry endpoint configuration too, and the tracking messages are posted
# there and shown. Afterwards the prefix is left as it was (the product is removed again, the status
# record files put back); build/demo keeps the update folder and the screenshots of the
# messages.
#
# The outcome, for scripts (.ci/run reads it), is written to build/demo/summary.txt, one
# "name=value" line each: exit_code (of twpatch.exe), version_before and version_after (the
# product's "VersionString"), revision_before and revision_after (from "TWVersion"), result
# (ok or failed). The demo exits 0 only when the update did what it should: exit code 0,
# version 28.0.4005.1 -> 28.0.4007.1, revision 5 -> 7.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/wine-env.sh"
source "$here/e2e-lib.sh"
demo="$TW_BUILD_DIR/demo"
summary="$demo/summary.txt"
if [ -z "${TW_IN_NETNS:-}" ]; then
    rm -f "$summary"
    # Only what the demo runs is built: the program, the checker, and the probe, patch
    # generator and sample product files of the run; the tests come with tools/test.sh.
    TW_SKIP_CLANG=1 bash "$here/setup.sh" "${TW_RUN_TARGETS[@]}"
    echo "== the run happens in a network namespace of its own; the maker's hosts are 127.0.0.1 there"
    rc=0
    TW_IN_NETNS=1 tw_netns_run online bash "$0" "$@" || rc=$?
    if [ ! -s "$summary" ]; then
        echo "demo: the run in the network namespace ended with exit code $rc before its outcome was known" >&2
        exit $((rc ? rc : 1))
    fi
    exit "$rc"
fi
source "$here/xvfb.sh"
# From here on a failed step is shown, not fatal: the demo reports what the run left.
set +e
tw_start_display
wineserver -p >/dev/null 2>&1 || true
# Wine's helper services started once, before the timed steps, as tools/test.sh does.
wine cmd.exe /c exit >/dev/null 2>&1 || true

# The prefix is put back on every exit, after a failed step or an interrupt too; the
# display goes last, as the clean-up still runs Wine.
cleanup() {
    tw_ulip_cleanup
    tw_telemetry_cleanup
    tw_cleanup_work "$demo"
    tw_stop_display
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
echo "== installing the sample product"
tw_install_product "$demo" "Tallyworks 28" || { echo "the sample product could not be installed"; exit 1; }
tw_offcycle_setup "$demo"
tw_make_update "$demo" good || { echo "the update folder could not be laid out"; exit 1; }
tw_ulip_setup "$demo" || { echo "the ULIP package could not be served"; exit 1; }
rm -f "$demo/posts.jsonl"
tw_telemetry_config "$demo"
tw_telemetry_server "$demo" serve || { echo "the telemetry server could not be started"; exit 1; }
echo "   product code $TW_PRODUCT_CODE in $TW_PRODUCT_WINDIR"
echo "   update folder $demo/update: $(cd "$demo/update" && echo *)"
echo "== checking the update folder: twpatchcheck.exe (the release gate)"
wine "$TW_BUILD_DIR/twpatchcheck.exe" "$(tw_winpath "$demo/update")" | tr -d '\r' | sed 's/^/   /'
gate=${PIPESTATUS[0]}
echo "   gate: exit code $gate (0: no finding stops the update, 1: one does, 2: unreadable, 64: wrong usage)"
echo "== would it update this machine? twpatchcheck.exe --here <update folder> /P $TW_PRODUCT_WINDIR"
# shellcheck disable=SC2086
wine "$TW_BUILD_DIR/twpatchcheck.exe" --here "$(tw_winpath "$demo/update")" /P $TW_PRODUCT_WINDIR | tr -d '\r' |
    sed 's/^/   /'

version_before=$(tw_probe version "$TW_PRODUCT_CODE")
twversion_before=$(tw_reg_value "$TW_FLAVOR_KEY" TWVersion)
tw_status_log_isolate "$demo"
records=0

echo "== running: twpatch.exe /A /P $TW_PRODUCT_WINDIR"
# The folder contains blanks; it is passed unquoted, as an installer passes it.
# shellcheck disable=SC2086
tw_start_update "$demo" 120 /A /P $TW_PRODUCT_WINDIR
tw_answer_all_boxes 120 "$demo"
code=$(tw_run_exit_code "$demo")

version_after=$(tw_probe version "$TW_PRODUCT_CODE")
twversion_after=$(tw_reg_value "$TW_FLAVOR_KEY" TWVersion)

echo "== what changed"
echo "   product version (VersionString): $version_before -> $version_after"
echo "   installed revision (TWVersion):  $twversion_before -> $twversion_after"
echo "   patches registered:              $(tw_probe patches "$TW_PRODUCT_CODE" | wc -l)"
echo "   CriticalFixes folder:            $(ls "$TW_PRODUCT_DIR/CriticalFixes" | tr '\n' ' ')"
if [ -f "$TW_PRODUCT_DIR/PostPatch.done" ]; then
    echo "   PostPatch.bat ran:               $(tr -d '\r' <"$TW_PRODUCT_DIR/PostPatch.done")"
else
    echo "   PostPatch.bat ran:               no"
fi
for f in taxrates.dat localrates.dat; do
    if cmp -s "$demo/expected/$f" "$TW_PRODUCT_DIR/Components/Rates/$f"; then state="kept"; else state="CHANGED"; fi
    printf '   %-33s %s\n' "off-cycle file $f:" "$state"
done
echo "   twpatchcheck.exe --here now:     $(wine "$TW_BUILD_DIR/twpatchcheck.exe" --here "$(tw_winpath "$demo/update")" | tr -d '\r' | head -n 1)"
echo "== ULIP common files (the release's package from http://cdn.tallyworks.example/, served on 127.0.0.1)"
while IFS='|' read -r what expected installed; do
    if cmp -s "$expected" "$installed"; then state="yes"; else state="NO"; fi
    printf '   %-75s %s\n' "$what:" "$state"
done < <(tw_ulip_expectations "$demo")
tr -d '\r' <"$demo/update/Patchlog.txt" 2>/dev/null | grep -E "ULIP|TWC|Akamai|CopyAndDelete" | sed 's/^/   log: /'
echo "== tracking messages received by https://cdn.tallyworks.example (served on 127.0.0.1:443)"
tw_telemetry_posts "$demo" | while IFS='|' read -r -a post; do
    message=$(printf '%s\n' "${post[@]}" | grep -E '^ ?(TrackingMessage|ErrorMessage)=' | head -n 1)
    printf '   POST %s (%s): %s\n' "${post[0]}" "${post[2]}" "${message# }"
done
echo "== Patchlog.txt (last lines)"
tr -d '\r' <"$demo/update/Patchlog.txt" 2>/dev/null | tail -n 15 | sed 's/^/   /'
echo "== status record"
tw_new_status_records "$records" | sed 's/^/   /'
echo "== exit code: $code"

# The outcome in one place: the summary file and the last line ("TWVersion" holds the
# installed revision).
revision_before=$twversion_before
revision_after=$twversion_after
result=failed
if [ "$code" = 0 ] && [ "$version_before" = 28.0.4005.1 ] && [ "$version_after" = 28.0.4007.1 ] &&
   [ "$revision_before" = 5 ] && [ "$revision_after" = 7 ]; then
    result=ok
fi
printf '%s\n' "exit_code=${code:-none}" "version_before=$version_before" "version_after=$version_after" \
    "revision_before=$revision_before" "revision_after=$revision_after" "result=$result" >"$summary"
echo "== demo $result: exit code ${code:-none}, version $version_before -> $version_after, revision $revision_before -> $revision_after"
[ "$result" = ok ]
