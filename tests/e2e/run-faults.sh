#!/usr/bin/env bash
# Faults injected into whole runs of the real twpatch.exe under Wine, against a really
# installed sample product: run-faults.sh [row...]   (no row: every row, in table order)
#
# Each row installs the product afresh (one second), gives it its off-cycle files, breaks
# something, runs "/A /P <product folder>" and answers or kills it, and checks the exit code,
# the status record and the off-cycle files; then it puts the fault right and runs the
# update once more, normally, and checks that every off-cycle file is byte-identical to
# before, that no temporary copy and no journal is left, and that the product is updated.
#
#   kill-save      the program killed while it saves the off-cycle files
#   kill-patch     the program killed while Windows Installer patches: inside the slow
#                  package's slow step, after its files (the step writes a marker file)
#   kill-restore   the program killed after the patch, before the restore (at its error box)
#   readonly-product  the product folder and its files cannot be changed
#   locked-save    an off-cycle file held open without sharing while it is saved
#   locked-restore an off-cycle file held open without sharing from the patch to the restore
#   log-folder     "Patchlog.txt" is a folder
#   log-readonly   "Patchlog.txt" cannot be changed
#   log-locked     "Patchlog.txt" held open without sharing
#   status-readonly  the update log folder (status records, journal) cannot be changed
#   pkg-missing    the second package is not there
#   pkg-empty      the first package has 0 bytes
#   pkg-truncated  the first package is cut to 2,048 bytes
#   pkg-foreign    the first package is for another product
#   msi-1603       Windows Installer fails the first package (1603)
#   msi-cancel     Cancel pressed in the wait dialog during the patch
#   no-program     "/A /P" names a folder that exists but holds no product program (the
#                  product folder's parent): the run ends before anything changes
#   empty-path     "/A /P" without a folder: text 521, then the run ends before anything
#                  changes
#
# Rows run only when named (ctest's e2e_trust): what a standard user can plant for the
# elevated program, each run ending in a normal update:
#   dll-planted    a DLL that leaves a marker when loaded, beside the program under the name
#                  of each DLL it delay-loads (but version.dll, see the row), with Wine told to
#                  prefer such native DLLs: none is loaded and the update succeeds
#   journal-planted  a hand-written journal, in the update log folder and in the protected
#                  folder, naming a file outside the product and a copy with its checksum:
#                  neither is acted on, the file stays, both journals are set aside
#   log-links      "Patchlog.txt" a symbolic link and "PreviousPatchlog.txt" a hard link to
#                  files elsewhere: those files stay as they were, the run writes its own log
#
# Read-only is made with chattr +i (the tests run as root, for whom permission bits do not
# count). Uses the DISPLAY given by tools/test.sh, or starts its own Xvfb.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
source "$root/tools/wine-env.sh"
source "$root/tools/e2e-lib.sh"
source "$root/tests/e2e/e2e-checks.sh"
all_rows=(kill-save kill-patch kill-restore readonly-product locked-save locked-restore log-folder log-readonly
          log-locked status-readonly pkg-missing pkg-empty pkg-truncated pkg-foreign msi-1603 msi-cancel
          no-program empty-path)
rows=("$@")
((${#rows[@]})) || rows=("${all_rows[@]}")
work="$TW_BUILD_DIR/e2e/faults"
mkdir -p "$work"
own_display=
if [ -z "${DISPLAY:-}" ]; then
    source "$root/tools/xvfb.sh"
    tw_start_display
    own_display=1
fi
log_dir=$(dirname "$TW_STATUS_LOG")
# The journal lives in the folder only administrators can change.
journal_dir="$WINEPREFIX/drive_c/ProgramData/TallyworksUpdateState"
journal="$journal_dir/OffCycleJournal.txt"
immutable=()   # paths made immutable by the row running now
lock_pid=

undo_faults() {
    local p
    for p in "${immutable[@]}"; do chattr -R -i "$p" 2>/dev/null; done
    immutable=()
    if [ -n "$lock_pid" ]; then
        touch "$work/release"
        wait "$lock_pid" 2>/dev/null
        lock_pid=
    fi
}
cleanup() {
    undo_faults
    tw_run_running && tw_stop_update "$work"
    rm -f "$log_dir"/OffCycleJournal*.txt "$journal_dir"/OffCycleJournal*.txt
    tw_status_log_restore "$work"
    tw_remove_product "$work"
    rm -rf "$work/big"
    if [ -n "$own_display" ]; then tw_stop_display; fi
}
trap cleanup EXIT
trap 'exit 143' TERM INT  # the cleanup also runs when ctest ends the script

# Read-only rows need a file system that knows the immutable attribute.
can_immutable=
probe_file="$work/immutable-probe"
: >"$probe_file"
if chattr +i "$probe_file" 2>/dev/null; then
    ! : 2>/dev/null >"$probe_file" && can_immutable=1
    chattr -i "$probe_file"
fi
rm -f "$probe_file"

copies() { find "$TW_PRODUCT_DIR" -name '*._OC*' 2>/dev/null | sed 's/.*\///' | sort | paste -sd' '; }
journals() { find "$journal_dir" "$log_dir" -maxdepth 1 -name 'OffCycleJournal*' 2>/dev/null | sed 's/.*\///' | sort | paste -sd' '; }
# After a kill: a kill that lands while the journal is being rewritten leaves its scratch file
# beside it, which the next run removes (its "no journal" check).
journals_after_kill() { journals | tr ' ' '\n' | grep -v '^OffCycleJournal\.txt\.new' | paste -sd' '; }
rates_kept() {
    local f ok=0
    for f in taxrates.dat localrates.dat; do
        cmp -s "$work/expected/$f" "$TW_PRODUCT_DIR/Components/Rates/$f" || { echo "   $f differs from before"; ok=1; }
    done
    return $ok
}
# The program keeps five records per version: each run starts with the record files empty.
records() {
    rm -f "$log_dir/Patch.log" "$log_dir/Temp.log"
    echo 0
}
new_records() { tw_new_status_records "$1"; }

# Windows "pid" of the update the probe started.
update_pid() { tr -d '\r' <"$work/run.out" 2>/dev/null | sed -n 's/^pid=//p'; }
kill_update() {
    local pid
    for _ in $(seq 1 50); do pid=$(update_pid); [ -n "$pid" ] && break; sleep 0.1; done
    wine taskkill /f /pid "$pid" >/dev/null 2>&1
    wait "$TW_RUN_PID" 2>/dev/null
    TW_RUN_PID=
}
# Waits up to <seconds> for a path to exist.
wait_for() {
    local end=$((SECONDS + $2))
    while ((SECONDS < end)); do [ -e "$1" ] && return 0; sleep 0.05; done
    return 1
}
wait_for_copy() {
    local end=$((SECONDS + $1))
    while ((SECONDS < end)); do [ -n "$(copies)" ] && return 0; sleep 0.05; done
    return 1
}
# Holds <file> open without sharing until undo_faults; waits until it is held.
lock_file() {
    rm -f "$work/release" "$work/lock.out"
    wine "$TW_PROBE" lock "$(tw_winpath "$1")" "$(tw_winpath "$work/release")" 120000 >"$work/lock.out" 2>/dev/null &
    lock_pid=$!
    for _ in $(seq 1 100); do grep -q locked "$work/lock.out" 2>/dev/null && return 0; sleep 0.1; done
    return 1
}
immutable() { chattr -R +i "$1" && immutable+=("$1"); }

# Starts the update; answers every message box until it ends; prints the titles seen to
# <work>/boxes.txt and returns the exit code on stdout.
run_answering() {
    tw_start_update "$work" 90 /A /P $TW_PRODUCT_WINDIR
    tw_answer_all_boxes 90 >"$work/boxes.txt"
    tw_run_exit_code "$work"
}
boxes_seen() { sed -n 's/^== message box "\(.*\)":$/\1/p' "$work/boxes.txt" | paste -sd'|'; }

# The slow package again, its slow step creating <work>/slow-step when it begins (the
# package's files are in then) and <work>/slow-step.done when it ends.
marked_slow_package() {
    rm -f "$work/slow-step" "$work/slow-step.done"
    (cd "$work/update" && wine "$TW_MSPGEN" tw28_core_r6.msp "$TW_PRODUCT_CODE" "$TW_UPGRADE_CODE" "$(tw_new_guid)" \
        28.0.4005.1 28.0.4006.1 --registry 'Software\Veltra\TallyworksPatches' R6 applied ProductRegistry \
        --delay 3000 --marker "$(tw_winpath "$work/slow-step")" >/dev/null 2>&1)
}
# What the installed product and its off-cycle files show of an update: the version, the
# patches registered, the flavor's revision, and whether the off-cycle files are as before.
product_state() {
    local files=kept
    rates_kept >/dev/null || files=changed
    echo "$(tw_probe version "$TW_PRODUCT_CODE") patches=$(tw_probe patches "$TW_PRODUCT_CODE" | wc -l)" \
        "TWVersion=$(tw_reg_value "$TW_FLAVOR_KEY" TWVersion) off-cycle=$files"
}

# A fresh product at R5 with its off-cycle files and an update folder of the given kind.
fresh_product() {
    local kind=$1
    tw_install_product "$work" "Tallyworks 28 faults" || return 1
    tw_offcycle_setup "$work" || return 1
    tw_make_update "$work" "$kind" || return 1
    rm -f "$log_dir"/OffCycleJournal*.txt "$journal_dir"/OffCycleJournal*.txt
}

# The next normal run after a row: the good update, answered; then everything as it was
# before, the product updated.
next_normal_run() {
    local before code
    undo_faults
    tw_make_update "$work" good
    before=$(records)
    code=$(run_answering)
    check "next run: exit code 0" equals "$code" "0"
    check "next run: completion shown" contains "$(boxes_seen)" "Update complete"
    check "next run: status record err-0" contains "$(new_records "$before")" "err-0;"
    check "next run: version 28.0.4007.1" equals "$(tw_probe version "$TW_PRODUCT_CODE")" "28.0.4007.1"
    check "next run: off-cycle files as before" rates_kept
    check "next run: no temporary copy" equals "$(copies)" ""
    check "next run: no journal" equals "$(journals)" ""
}

# After the faulted run itself: the files as before and nothing left over.
nothing_lost() {
    check "off-cycle files as before" rates_kept
    check "no temporary copy" equals "$(copies)" ""
    check "no journal" equals "$(journals)" ""
}

check_tw_record() {  # <records before> <exit code>
    check "status record err-$2" contains "$(new_records "$1")" "err-$2;"
}

tw_status_log_isolate "$work" || exit 1
start=$SECONDS
for row in "${rows[@]}"; do
    check_label=$row
    row_start=$SECONDS
    case $row in readonly-product | log-readonly | status-readonly)
        if [ -z "$can_immutable" ]; then
            echo "skipped: $row (no immutable attribute on this file system)"
            continue
        fi ;;
    esac
    tw_log "row $row"
    kind=good
    case $row in kill-patch | locked-restore | msi-cancel) kind=slow ;; kill-restore | msi-1603) kind=fail ;; esac
    check "fresh product, update folder ($kind)" fresh_product "$kind" || continue
    rates="$TW_PRODUCT_DIR/Components/Rates"
    before=$(records)
    case $row in
    kill-save)
        # A large listed file keeps the save busy long enough to be interrupted: a manifest
        # beside the program lists it.
        head -c 300000000 /dev/zero >"$rates/bigrates.dat"
        sed 's/$/\r/' >"$work/update/offcycle_big.xml" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<manifest><identity><type>offcycle</type><version>1</version></identity>
<item><file base="INSTALLDIR">Components\Rates\bigrates.dat</file><feature>Main</feature></item>
</manifest>
XML
        tw_start_update "$work" 90 /A /P $TW_PRODUCT_WINDIR
        check "journal written before the copies" wait_for "$journal" 60
        kill_update
        check "killed while saving: journal left" equals "$(journals_after_kill)" "OffCycleJournal.txt"
        check "killed while saving: patch not applied" equals "$(tw_probe version "$TW_PRODUCT_CODE")" "28.0.4005.1"
        check "killed while saving: no status record" equals "$(new_records "$before")" ""
        rm -f "$work/update/offcycle_big.xml"
        next_normal_run
        check "next run: the interrupted save reported" log_has "COffCycleJournal::Replay, an interrupted run left off-cycle copies"
        rm -f "$rates/bigrates.dat"
        ;;
    kill-patch)
        check "slow package with a marker" marked_slow_package
        tw_start_update "$work" 90 /A /P $TW_PRODUCT_WINDIR
        check "files saved" wait_for_copy 60
        check "inside the package's slow step" wait_for "$work/slow-step" 60
        kill_update
        check "killed while patching: copies left" test -n "$(copies)"
        check "killed while patching: journal left" equals "$(journals_after_kill)" "OffCycleJournal.txt"
        check "killed while patching: no status record" equals "$(new_records "$before")" ""
        # The package's slow step goes on without the program; the product is free once it ends.
        check "the package's slow step ended" wait_for "$work/slow-step.done" 30
        check "killed while patching: product as before" equals "$(product_state)" \
            "28.0.4005.1 patches=0 TWVersion=5 off-cycle=kept"
        next_normal_run
        check "next run: restored from the journal" log_has "COffCycleJournal::Replay, restored .*taxrates.dat"
        ;;
    kill-restore)
        tw_start_update "$work" 90 /A /P $TW_PRODUCT_WINDIR
        if tw_wait_msgbox "Tallyworks Update Error" 60 >/dev/null; then
            check "killed at the error box: copies left" test -n "$(copies)"
            kill_update
        else
            check "error box shown" false
            tw_stop_update "$work"
        fi
        check "killed before the restore: journal left" equals "$(journals_after_kill)" "OffCycleJournal.txt"
        check "killed before the restore: no status record" equals "$(new_records "$before")" ""
        next_normal_run
        check "next run: restored from the journal" log_has "COffCycleJournal::Replay, restored .*taxrates.dat"
        ;;
    readonly-product)
        immutable "$TW_PRODUCT_DIR"
        code=$(run_answering)
        # Windows Installer under Wine reports success though it could write no file.
        echo "   exit code $code, boxes: $(boxes_seen), version $(tw_probe version "$TW_PRODUCT_CODE")"
        check "save failure reported" log_has "Patch: In CPatchInstallerBase::SaveOffCycleFiles, Error in saving OffCycle files."
        check_tw_record "$before" "$code"
        undo_faults
        nothing_lost
        next_normal_run
        ;;
    locked-save)
        lock_file "$rates/taxrates.dat" || check "taxrates.dat locked" false
        code=$(run_answering)
        echo "   exit code $code, boxes: $(boxes_seen)"
        check "save failure reported" log_has "Failed to save file .*taxrates.dat"
        check_tw_record "$before" "$code"
        undo_faults
        nothing_lost
        next_normal_run
        ;;
    locked-restore)
        tw_start_update "$work" 90 /A /P $TW_PRODUCT_WINDIR
        check "files saved" wait_for_copy 60
        sleep 1 # the package's files are in; its slow step runs
        lock_file "$rates/taxrates.dat" || check "taxrates.dat locked" false
        tw_answer_all_boxes 90 >"$work/boxes.txt"
        code=$(tw_run_exit_code "$work")
        echo "   exit code $code, boxes: $(boxes_seen)"
        check_tw_record "$before" "$code"
        check "restore of the locked file reported" log_has "RestoreAllFiles, Error -\?[1-9][0-9]* .   file .*taxrates.dat"
        check "journal kept for the next run" equals "$(journals)" "OffCycleJournal.txt"
        undo_faults
        next_normal_run
        ;;
    log-folder)
        mkdir -p "$work/update/Patchlog.txt"
        code=$(run_answering)
        check "exit code 0" equals "$code" "0"
        check_tw_record "$before" 0
        nothing_lost
        rmdir "$work/update/Patchlog.txt"
        next_normal_run
        ;;
    log-readonly | log-locked)
        printf 'earlier run\r\n' >"$work/update/Patchlog.txt"
        if [ "$row" = log-readonly ]; then
            immutable "$work/update/Patchlog.txt"
        else
            lock_file "$work/update/Patchlog.txt" || check "Patchlog.txt locked" false
        fi
        code=$(run_answering)
        check "exit code 0" equals "$code" "0"
        check_tw_record "$before" 0
        check "Patchlog.txt unchanged" equals "$(cat "$work/update/Patchlog.txt")" "$(printf 'earlier run\r')"
        nothing_lost
        next_normal_run
        ;;
    status-readonly)
        immutable "$log_dir"
        mkdir -p "$journal_dir" && immutable "$journal_dir"
        code=$(run_answering)
        check "exit code 0" equals "$code" "0"
        check "journal not written, reported" log_has "files are saved without \(it\|a journal\)"
        check "no status record (its folder cannot be written)" equals "$(new_records "$before")" ""
        nothing_lost
        next_normal_run
        ;;
    pkg-missing | pkg-empty | pkg-truncated | pkg-foreign)
        case $row in
        pkg-missing) rm -f "$work/update/tw28_core_r7.msp" ;;
        pkg-empty) : >"$work/update/tw28_core_r6.msp" ;;
        pkg-truncated) truncate -s 2048 "$work/update/tw28_core_r6.msp" ;;
        pkg-foreign)
            (cd "$work/update" && wine "$TW_MSPGEN" tw28_core_r6.msp "$(tw_new_guid)" "$TW_UPGRADE_CODE" \
                "$(tw_new_guid)" 28.0.4005.1 28.0.4006.1 >/dev/null 2>&1) ;;
        esac
        code=$(run_answering)
        check "exit code 18001" equals "$code" "18001"
        check "files-missing message" contains "$(boxes_seen)" "Tallyworks Update Files Missing"
        check_tw_record "$before" 18001
        check "nothing applied" equals "$(tw_probe patches "$TW_PRODUCT_CODE")" ""
        check "nothing saved" equals "$(tr -d '\r' <"$work/update/Patchlog.txt" | grep -c 'File saved')" "0"
        nothing_lost
        next_normal_run
        ;;
    msi-1603)
        code=$(run_answering)
        check "exit code 1603" equals "$code" "1603"
        check "error and not-updated messages" equals "$(boxes_seen)" "Tallyworks Update Error|Tallyworks Update"
        check_tw_record "$before" 1603
        check "version unchanged" equals "$(tw_probe version "$TW_PRODUCT_CODE")" "28.0.4005.1"
        nothing_lost
        next_normal_run
        ;;
    msi-cancel)
        tw_start_update "$work" 90 /A /P $TW_PRODUCT_WINDIR
        check "files saved" wait_for_copy 60
        check "Cancel pressed" tw_wait_control 2 Cancel 30 >/dev/null && check "Cancel clicked" tw_click_control 2 Cancel
        tw_answer_all_boxes 90 >"$work/boxes.txt"
        code=$(tw_run_exit_code "$work")
        echo "   exit code $code, boxes: $(boxes_seen)"
        check_tw_record "$before" "$code"
        nothing_lost
        # Windows Installer under Wine does not stop on a cancel answer: the packages are
        # applied, and the next run has nothing left to apply.
        next_normal_run
        ;;
    dll-planted)
        # Not "version": Wine's own user32 imports version.dll, and Wine's loader resolves that
        # import from the program's folder before the program's first instruction (on Windows
        # user32 is a known DLL whose imports come from the system folder). A planted
        # version.dll is loaded there, lacks user32's functions, and the process never starts.
        delay_loaded=(msi wininet urlmon wintrust crypt32 cabinet bcrypt netapi32)
        for dll in "${delay_loaded[@]}"; do cp "$TW_BUILD_DIR/tests/fixtures/markerdll/markerdll.dll" "$work/update/$dll.dll"; done
        overrides=$(IFS=,; echo "${delay_loaded[*]}")
        code=$(WINEDLLOVERRIDES="$overrides=n,b" run_answering)
        check "exit code 0" equals "$code" "0"
        check "completion shown" contains "$(boxes_seen)" "Update complete"
        check "no planted DLL loaded" equals "$(cd "$work/update" && ls -- *.loaded 2>/dev/null | paste -sd' ')" ""
        check "version 28.0.4007.1" equals "$(tw_probe version "$TW_PRODUCT_CODE")" "28.0.4007.1"
        check_tw_record "$before" 0
        nothing_lost
        ;;
    journal-planted)
        # The protected folder as a run makes it (a folder made here would be replaced unread).
        [ -d "$journal_dir" ] || { run_answering >/dev/null; tw_make_update "$work" good; }
        check "protected folder there" test -d "$journal_dir"
        victim_dir="$WINEPREFIX/drive_c/ProgramData/TallyworksVictim"
        mkdir -p "$victim_dir"
        printf 'belongs to someone else\r\n' >"$victim_dir/victim.dat"
        printf 'planted by a standard user\r\n' >"$victim_dir/victim._OCab12cd.dat"
        size=$(stat -c %s "$victim_dir/victim._OCab12cd.dat")
        hash=$(sha256sum "$victim_dir/victim._OCab12cd.dat" | cut -d' ' -f1)
        source_win='C:\ProgramData\TallyworksVictim\victim.dat'
        copy_win='C:\ProgramData\TallyworksVictim\victim._OCab12cd.dat'
        body=$(printf 'Tallyworks off-cycle journal 1\r\nfile\t%s\t%s\t%s\t%s\r\nstate\tapplying\r\n' \
            "$size" "$hash" "$source_win" "$copy_win"; echo x)
        body=${body%x}
        for folder in "$log_dir" "$journal_dir"; do
            { printf '%s' "$body"; printf 'end\t1\t%s\r\n' "$(printf '%s' "$body" | sha256sum | cut -d' ' -f1)"; } \
                >"$folder/OffCycleJournal.txt"
        done
        code=$(run_answering)
        check "exit code 0" equals "$code" "0"
        check "victim unchanged" equals "$(tr -d '\r' <"$victim_dir/victim.dat")" "belongs to someone else"
        check "planted copy not moved" test -f "$victim_dir/victim._OCab12cd.dat"
        check "journal of the update log folder set aside" log_has "COffCycleJournal::Replay, an off-cycle journal .* lies in a folder that standard users can change"
        check "protected journal refused" log_has "COffCycleJournal::Replay, the off-cycle journal .* cannot be read (it names .*victim.dat, which lies outside"
        check "nothing restored" test -z "$(tr -d '\r' <"$work/update/Patchlog.txt" | grep 'COffCycleJournal::Replay, restored')"
        check "both set aside" equals "$(journals | tr ' ' '\n' | sed 's/-[0-9]*\.txt$//' | sort | paste -sd' ')" \
            "OffCycleJournal-unreadable OffCycleJournal-untrusted"
        check "version 28.0.4007.1" equals "$(tw_probe version "$TW_PRODUCT_CODE")" "28.0.4007.1"
        rm -rf "$victim_dir"
        rm -f "$log_dir"/OffCycleJournal*.txt "$journal_dir"/OffCycleJournal*.txt
        nothing_lost
        ;;
    log-links)
        printf 'log victim\n' >"$work/log-victim.txt"
        printf 'previous log victim\n' >"$work/previous-victim.txt"
        ln -sf "$work/log-victim.txt" "$work/update/Patchlog.txt"
        ln -f "$work/previous-victim.txt" "$work/update/PreviousPatchlog.txt"
        code=$(run_answering)
        check "exit code 0" equals "$code" "0"
        check "log victim unchanged" equals "$(cat "$work/log-victim.txt")" "log victim"
        check "previous log victim unchanged" equals "$(cat "$work/previous-victim.txt")" "previous log victim"
        check "Patchlog.txt a file of its own" test ! -L "$work/update/Patchlog.txt"
        check "the run wrote its log" log_has "all patches have been applied successfully"
        # A large log is rotated onto a fresh previous log, not through the hard link (the
        # product is up to date now: the run has nothing to apply).
        tw_make_update "$work" good
        head -c 100001 /dev/zero | tr '\0' 'p' >"$work/update/Patchlog.txt"
        ln -f "$work/previous-victim.txt" "$work/update/PreviousPatchlog.txt"
        code=$(run_answering)
        check "rotation: exit code 0" equals "$code" "0"
        check "rotation: previous log victim unchanged" equals "$(cat "$work/previous-victim.txt")" "previous log victim"
        # (with the lines the run wrote before its rotation)
        check "rotation: previous log holds the old log" test "$(tr -cd p <"$work/update/PreviousPatchlog.txt" | wc -c)" -ge 100001
        check "rotation: previous log one link" equals "$(stat -c %h "$work/update/PreviousPatchlog.txt")" "1"
        check "rotation: the run wrote its log" log_has "In CPatchInstallerBase::"
        rm -f "$work/log-victim.txt" "$work/previous-victim.txt"
        ;;
    no-program | empty-path)
        if [ "$row" = no-program ]; then
            folder=${TW_PRODUCT_WINDIR%\\*}
            tw_start_update "$work" 90 /A /P $folder
        else
            tw_start_update "$work" 90 /A /P
        fi
        tw_answer_all_boxes 90 >"$work/boxes.txt"
        code=$(tw_run_exit_code "$work")
        check "exit code 0" equals "$code" "0"
        check_tw_record "$before" 18011
        if [ "$row" = no-program ]; then
            check "no message" equals "$(boxes_seen)" ""
            check "the folder and the missing program logged" log_has \
                "^In WinMain, the Tallyworks folder ${folder//\\/.} given on the command line holds no tww.exe.$"
        else
            check "text 521 only" equals "$(boxes_seen)" "Tallyworks Update"
            check "text 521" contains "$(cat "$work/boxes.txt")" "We are unable to read your Tallyworks file."
            check "the empty folder logged" log_has "^In WinMain, the Tallyworks folder given on the command line is empty.$"
        fi
        check "product unchanged" equals "$(product_state)" "28.0.4005.1 patches=0 TWVersion=5 off-cycle=kept"
        check "nothing saved" equals "$(tr -d '\r' <"$work/update/Patchlog.txt" | grep -c 'File saved')" "0"
        check "no relaunch batch file" test ! -e "$TW_PRODUCT_DIR/TWUpdateUtility.bat"
        nothing_lost
        next_normal_run
        ;;
    *) echo "unknown row $row"; failures=$((failures + 1)) ;;
    esac
    undo_faults
    tw_log "row $row: $((SECONDS - row_start)) s"
done
tw_log "fault table: $((SECONDS - start)) s, $failures failed check(s)"
((failures == 0))
