# Sourced by the end-to-end tests, the demo and the screenshot script (after wine-env.sh):
# installs the complete sample product under a fresh product code, lays out an update
# folder (twpatch.exe, patch.ini and two delta patches built by mspgen), runs the update
# and answers its windows.

TW_PROBE="$TW_BUILD_DIR/tools/twprobe.exe"
TW_MSPGEN="$TW_BUILD_DIR/tools/mspgen.exe"
TW_PRODUCT_FIXTURE="$TW_BUILD_DIR/tests/fixtures/e2eproduct"
TW_UPGRADE_CODE="{5D0B7E44-2A61-4C3E-9F17-8B2C6E0A4D93}"
TW_FLAVOR_KEY='Software\Veltra\Tallyworks\28.0\ember'
TW_STATUS_LOG="$WINEPREFIX/drive_c/ProgramData/Common Files/Veltra/Tallyworks/twupdate/Log/Patch.log"
# The build targets a whole-program run needs (tools/setup.sh <targets>): the program, the
# checker, the probe, the patch generator, the sample product's files and the ULIP package's
# libraries.
TW_RUN_TARGETS=(twpatch twpatchcheck twprobe mspgen e2eproduct_tww twfixture_ulipfiles)

tw_log() { echo "[$(date +%T)] $*"; }

# Windows path (Z:) of a host path.
tw_winpath() {
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s' "${path//\//\\}"
}

tw_new_guid() { printf '{%s}' "$(tr a-z A-Z </proc/sys/kernel/random/uuid)"; }

# Runs the probe (see tests/fixtures/e2eproduct/Probe.cpp); output without CR, the probe's
# exit status.
tw_probe() {
    local out rc
    out=$(wine "$TW_PROBE" "$@" 2>/dev/null)
    rc=$?
    out=${out//$'\r'/}
    [ -n "$out" ] && printf '%s\n' "$out"
    return $rc
}

# Value data of a value under HKEY_LOCAL_MACHINE (64-bit view), or "<missing>".
tw_reg_value() {
    local out
    out=$(wine reg query "HKLM\\$1" /v "$2" /reg:64 2>/dev/null | tr -d '\r' | awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^  */, ""); print; found = 1 } END { if (!found) print "<missing>" }')
    printf '%s\n' "$out"
}

# Installs the sample product into the folder "C:\Program Files\Veltra\<folder>" under a
# fresh product code. The product installed by the previous run of the same work folder is
# removed first, so a product's patches never pile up over runs. Sets TW_PRODUCT_CODE,
# TW_PRODUCT_DIR (host path) and TW_PRODUCT_WINDIR.
# Runs msiexec with the arguments given; a failure is reported with its exit code. Windows
# refuses an installation while another runs (1618): that one is tried again for up to 30 s.
# (Wine's msiexec was seen running two installations at once.)
tw_msiexec() {
    local rc end=$((SECONDS + 30))
    while :; do
        timeout 120 wine msiexec "$@" >/dev/null 2>&1
        rc=$?
        [ "$rc" = 1618 ] && ((SECONDS < end)) || break
        sleep 1
    done
    [ "$rc" = 0 ] || echo "   msiexec $1 ended with exit code $rc" >&2
    return "$rc"
}

tw_install_product() {
    local work=$1 folder=$2
    mkdir -p "$work"
    if [ -f "$work/product.code" ]; then
        tw_msiexec /x "$(cat "$work/product.code")" /qn || true
        rm -f "$work/product.code"
    fi
    TW_PRODUCT_CODE=$(tw_new_guid)
    TW_PRODUCT_DIR="$WINEPREFIX/drive_c/Program Files/Veltra/$folder"
    TW_PRODUCT_WINDIR="C:\\Program Files\\Veltra\\$folder"
    rm -rf "$TW_PRODUCT_DIR"
    (cd "$TW_PRODUCT_FIXTURE" && wixl -a x64 -D ProductCode="$TW_PRODUCT_CODE" -D InstallFolder="$folder" \
        -D Files=files -o "$work/product.msi" Product.wxs) || return 1
    tw_msiexec /i "$(tw_winpath "$work/product.msi")" /qn || return 1
    echo "$TW_PRODUCT_CODE" >"$work/product.code"
}

# Gives the product its off-cycle state: the listed rates file updated after the release
# and a second listed file that only the off-cycle delivery brought. Copies of both go to
# <work>/expected for the comparison after the update.
tw_offcycle_setup() {
    local work=$1 rates="$TW_PRODUCT_DIR/Components/Rates"
    printf 'tax rates 2026 updated off-cycle after R5\r\n' >"$rates/taxrates.dat" &&
        printf 'local rates delivered off-cycle\r\n' >"$rates/localrates.dat" &&
        rm -rf "$work/expected" && mkdir -p "$work/expected" &&
        cp "$rates/taxrates.dat" "$rates/localrates.dat" "$work/expected/"
}

# Lays out <work>/update: twpatch.exe, patch.ini and the delta patches R5->R6 and R6->R7.
# Kind "good": both patches apply; "fail": the first one fails (1603); "slow": the first
# one takes a few seconds (for watching the progress).
tw_make_update() {
    local work=$1 kind=${2:-good} update="$1/update" first_options=()
    rm -rf "$update" && mkdir -p "$update"
    cp "$TW_BUILD_DIR/twpatch.exe" "$update/"
    case $kind in
        fail) first_options=(--fail) ;;
        slow) first_options=(--delay 3000) ;;
    esac
    (cd "$update" &&
        wine "$TW_MSPGEN" tw28_core_r6.msp "$TW_PRODUCT_CODE" "$TW_UPGRADE_CODE" "$(tw_new_guid)" \
            28.0.4005.1 28.0.4006.1 --registry 'Software\Veltra\TallyworksPatches' R6 applied ProductRegistry \
            "${first_options[@]}" &&
        wine "$TW_MSPGEN" tw28_core_r7.msp "$TW_PRODUCT_CODE" "$TW_UPGRADE_CODE" "$(tw_new_guid)" \
            28.0.4006.1 28.0.4007.1 --registry 'Software\Veltra\TallyworksPatches' R7 applied ProductRegistry) \
        >/dev/null 2>&1 || return 1
    sed 's/$/\r/' >"$update/patch.ini" <<INI
[Title]
Product=Tallyworks 28.0 Release 7

[PatchConfig]
TWName=Tallyworks 28.0
TWFileVersion=28.0

[AutoPatch]
TWVersion=284007001
LastSchemaChangeReleaseNum=5
Country=US
Server=PROD

[MSI Info]
ProductCode=$TW_PRODUCT_CODE
Reinstall=ALL
ReinstallMode=omus
CmdOptions=
LoggingEnable=1

[R5->R6]
DeltaPatch=tw28_core_r6.msp

[R6->R7]
DeltaPatch=tw28_core_r7.msp

[Enable]
IsNetEnabled=0
IsFeatureEnabled=0
INI
}

# Starts the update in the background: twpatch.exe of <work>/update with the given command
# line words (joined by blanks, unquoted, as an installer would pass them). The probe ends
# it after <timeout> seconds. Sets TW_RUN_PID; tw_run_exit_code reads the result.
tw_start_update() {
    local work=$1 seconds=$2
    shift 2
    rm -f "$work/run.out"
    wine "$TW_PROBE" run $((seconds * 1000)) "$(tw_winpath "$work/update/twpatch.exe")" "$@" \
        >"$work/run.out" 2>/dev/null &
    TW_RUN_PID=$!
    TW_RUN_SECONDS=$seconds
}

tw_run_running() { [ -n "${TW_RUN_PID:-}" ] && kill -0 "$TW_RUN_PID" 2>/dev/null; }

# Waits for the background update to end; prints its exit code (or "timeout").
tw_run_exit_code() {
    local work=$1 end=$((SECONDS + ${TW_RUN_SECONDS:-120} + 30))
    # Callers ask inside a command substitution, where the probe is no child of the shell and
    # "wait" returns at once: the probe's own "exit=" line (written when the update ended, or
    # when the probe ended it after its timeout) says when the run is over.
    while ! grep -q '^exit=' "$work/run.out" 2>/dev/null && ((SECONDS < end)); do
        tw_run_running || [ -z "${TW_RUN_PID:-}" ] || break
        sleep 0.2
    done
    wait "$TW_RUN_PID" 2>/dev/null || true
    TW_RUN_PID=
    tr -d '\r' <"$work/run.out" | sed -n 's/^exit=//p'
}

# Waits up to <seconds> for a message box titled <title>; prints its text. Returns 1 when
# it does not come or the update ended before, 2 when another message box shows instead
# (printed on stderr).
tw_wait_msgbox() {
    local title=$1 end=$((SECONDS + $2)) lines other
    while ((SECONDS < end)); do
        lines=$(tw_probe windows)
        if printf '%s\n' "$lines" | awk -F'|' -v t="$title" '$1 == "#32770" && $2 == t && $3 != "" { f = 1 } END { exit !f }'; then
            tw_probe msgbox "$title"
            return 0
        fi
        other=$(printf '%s\n' "$lines" | awk -F'|' '$1 == "#32770" && $3 != ""')
        if [ -n "$other" ]; then
            printf 'unexpected message box: %s\n' "$other" >&2
            return 2
        fi
        tw_run_running || return 1
        sleep 0.3
    done
    return 1
}

# Waits up to <seconds> until no message box titled <title> shows any more.
tw_wait_msgbox_gone() {
    local title=$1 end=$((SECONDS + $2))
    while ((SECONDS < end)); do
        tw_probe msgbox "$title" >/dev/null || return 0
        sleep 0.2
    done
    return 1
}

# Ends the background update (the process the probe started, by its id).
tw_stop_update() {
    local work=$1 pid
    pid=$(tr -d '\r' <"$work/run.out" 2>/dev/null | sed -n 's/^pid=//p')
    [ -n "$pid" ] && wine taskkill /f /pid "$pid" >/dev/null 2>&1
    wait "$TW_RUN_PID" 2>/dev/null || true
    TW_RUN_PID=
}

# Waits up to <seconds> for a visible control <id> with text <text>; prints "x y".
tw_wait_control() {
    local id=$1 text=$2 seconds=$3 end=$((SECONDS + $3)) where
    while ((SECONDS < end)); do
        if where=$(tw_probe control "$id" "$text") && [ -n "$where" ]; then
            printf '%s\n' "$where"
            return 0
        fi
        tw_run_running || return 1
        sleep 0.3
    done
    return 1
}

# Clicks control <id> with text <text> (mouse, through X).
tw_click_control() {
    local where
    where=$(tw_probe control "$1" "$2") && [ -n "$where" ] || return 1
    # shellcheck disable=SC2086
    xdotool mousemove $where click 1
}

tw_screenshot() { import -display "$DISPLAY" -window root "$1" >/dev/null 2>&1 || true; }

# The status record lines after the first <count> ones.
tw_new_status_records() {
    [ -f "$TW_STATUS_LOG" ] || return 0
    tail -n +$(($1 + 1)) "$TW_STATUS_LOG" | tr -d '\r'
}

# Answers every message box the update shows until it ends (at most <seconds>): prints its
# title and text and presses OK (or No, for a question). Screenshots go to <dir> when given.
tw_answer_all_boxes() {
    local seconds=$1 shots=${2:-} end=$(($1 + SECONDS)) line title n=0
    while tw_run_running && ((SECONDS < end)); do
        line=$(tw_probe windows | awk -F'|' '$1 == "#32770" && $3 != "" { print; exit }')
        if [ -n "$line" ]; then
            title=${line#*|}
            title=${title%%|*}
            n=$((n + 1))
            [ -n "$shots" ] && tw_screenshot "$shots/message-$n.png"
            echo "== message box \"$title\":"
            tw_probe msgbox "$title" | sed 's/^/   /'
            tw_click_control 1 OK || tw_click_control 7 "&No" || true
            tw_wait_msgbox_gone "$title" 10
        fi
        sleep 0.3
    done
}

# Removes the product installed from <work> (and the values its patches wrote), so that no
# valid installation of it is left in the prefix for other tests to find.
tw_remove_product() {
    local work=$1
    if [ -f "$work/product.code" ]; then
        tw_msiexec /x "$(cat "$work/product.code")" /qn || true
        rm -f "$work/product.code"
    fi
    [ -n "${TW_PRODUCT_DIR:-}" ] && rm -rf "$TW_PRODUCT_DIR"
    wine reg delete 'HKLM\Software\Veltra\TallyworksPatches' /f /reg:64 >/dev/null 2>&1 || true
}

# Puts the prefix back as a run from <work> found it: ends an update still running, puts
# the status record files back and removes the product. Safe to call again, and after any
# failed step.
tw_cleanup_work() {
    local work=$1
    [ -n "$work" ] || return 0
    tw_run_running && tw_stop_update "$work"
    tw_status_log_restore "$work"
    tw_remove_product "$work"
}

# The status record files of the prefix are moved aside for one run (the program keeps at
# most five records per product version, and other tests read the folder) and put back
# afterwards.
tw_status_log_isolate() {
    local work=$1 dir f
    dir=$(dirname "$TW_STATUS_LOG")
    rm -rf "$work/status-log-saved" && mkdir -p "$work/status-log-saved"
    for f in Patch.log Temp.log; do
        if [ -f "$dir/$f" ]; then mv "$dir/$f" "$work/status-log-saved/$f" || return 1; fi
    done
    return 0
}

tw_status_log_restore() {
    local work=$1 dir f
    dir=$(dirname "$TW_STATUS_LOG")
    [ -d "$work/status-log-saved" ] || return 0
    for f in Patch.log Temp.log; do
        [ -f "$dir/$f" ] && cp "$dir/$f" "$work/run-$f"
        rm -f "$dir/$f"
        [ -f "$work/status-log-saved/$f" ] && mv "$work/status-log-saved/$f" "$dir/$f"
    done
    rm -rf "$work/status-log-saved"
}

# Runs a command in a network and mount namespace of its own, so that the program's real
# host constants are used and nothing leaves the machine:
#   tw_netns_run online|offline command...
# Loopback is up; the maker's hosts resolve to 127.0.0.1 through a hosts file bound over
# /etc/hosts. "online" adds a veth pair with a default route, so that Windows' network list
# reports internet connectivity; "offline" leaves only loopback, which it reports as no
# internet. Wine makes its sockets in the wineserver, so the prefix's wineserver outside is
# stopped first and one of the namespace's own runs for the command (stopped at its end).
# Servers the command talks to must be started inside, by the command.
tw_netns_run() {
    local mode=$1
    shift
    local hosts rc
    hosts=$(mktemp)
    printf '127.0.0.1 localhost\n127.0.0.1 %s\n' \
        "cdn.tallyworks.example download.tallyworks.example support.tallyworks.example" >"$hosts"
    # No wineserver running is the usual case on a fresh machine: `wineserver -k` then
    # exits 1, which is no failure here.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    unshare -n -m bash -c '
        mode=$1 hosts=$2
        shift 2
        ip link set lo up || exit 90
        if [ "$mode" = online ]; then
            ip link add twv0 type veth peer name twv1 && ip addr add 10.99.0.1/24 dev twv0 &&
                ip link set twv0 up && ip link set twv1 up && ip route add default via 10.99.0.2 || exit 91
        fi
        mount --bind "$hosts" /etc/hosts || exit 92
        wineserver -p 2>/dev/null || true
        "$@"
        rc=$?
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
        exit $rc' tw-netns "$mode" "$hosts" "$@"
    rc=$?
    rm -f "$hosts"
    return $rc
}

# The ULIP state of the sample product (28.0 R5, country "us") for a run in a namespace of
# tw_netns_run: the files a ULIP update left in the product and under the common program
# folders, "ULIP.ini" in the update target folder, the release's signed package on the
# content-delivery host (a loopback server on port 80, log in <work>/cdn.log), and the
# trigger file beside the program. tw_ulip_cleanup stops the server and removes what was
# placed outside the product.
TW_ULIP_COMMON64="$WINEPREFIX/drive_c/Program Files/Common Files/Veltra/Tallyworks"
TW_ULIP_COMMON32="$WINEPREFIX/drive_c/Program Files (x86)/Common Files/Veltra/Tallyworks"
TW_ULIP_DATA="$WINEPREFIX/drive_c/ProgramData/Veltra/Tallyworks/Components"
TW_ULIP_PLACED=()
TW_ULIP_SERVER_STOP=
# tw_ulip_setup <work> [signer [hostile [delay]]]: the package signed by another test signer,
# or with manifest items that point outside their folders and decoys laid out where they
# point; with a delay, the server answers each request that many seconds late (at most 10).
# TW_ULIP_SERVER_MODE names a misbehaviour of tools/loopback-server.py for the host (stall,
# trickle, hang...); by default it serves; "off" starts no server (the caller starts one).
tw_ulip_setup() {
    local work=$1 signer=${2:-veltra} hostile=${3:-} delay=${4:-0}
    local package="$work/package" cdn="$work/cdn/http.veltra/us/ulip/28/r5/x64"
    local target="$TW_ULIP_DATA/DownloadTW28/ULIP0/.update/.target"
    # Staged in the protected folder under ProgramData. Wine names the profile after the user
    # of the environment: the roaming country folder is where earlier versions staged.
    TW_ULIP_COUNTRY_FOLDER="$WINEPREFIX/drive_c/ProgramData/TallyworksUpdateState/Ulip/28/r5/us"
    TW_ULIP_ROAMING_FOLDER="$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Roaming/Tallyworks/28/r5/us"
    bash "$TW_ROOT/tools/make-ulip-package.sh" "$package" "$signer" "$hostile" || return 1
    rm -rf "$work/cdn" && mkdir -p "$cdn" && cp "$package/original.twc" "$cdn/" || return 1
    mkdir -p "$TW_PRODUCT_DIR/Components/Ulip" "$TW_ULIP_COMMON64" "$TW_ULIP_COMMON32" "$target" || return 1
    TW_ULIP_PLACED=("$TW_ULIP_COMMON64/shared.dll" "$TW_ULIP_COMMON64/commonb.dll" "$TW_ULIP_COMMON32/commonc.dll"
                    "$TW_ULIP_DATA" "$TW_ULIP_COUNTRY_FOLDER" "$TW_ULIP_ROAMING_FOLDER")
    cp "$package/installed/ulipmain.dll" "$package/installed/tagged.dll" "$TW_PRODUCT_DIR/Components/Ulip/" &&
        cp "$package/installed/shared.dll" "$package/installed/commonb.dll" "$TW_ULIP_COMMON64/" &&
        cp "$package/installed/commonc.dll" "$TW_ULIP_COMMON32/" || return 1
    if [ -n "$hostile" ]; then
        TW_ULIP_DECOYS=("$WINEPREFIX/drive_c/Program Files/Veltra/decoy.dll"
                        "$WINEPREFIX/drive_c/Program Files/Common Files/decoy.dll")
        TW_ULIP_PLACED+=("${TW_ULIP_DECOYS[@]}")
        for decoy in "${TW_ULIP_DECOYS[@]}"; do cp "$package/installed/decoy.dll" "$decoy" || return 1; done
    fi
    printf '[ULIPApplicability]\r\nEnableFolderSupport=R4,R5\r\nR5=shared.dll\r\n' >"$target/ULIP.ini"
    : >"$work/update/ulip0.xml"
    [ "${TW_ULIP_SERVER_MODE:-}" = off ] && return 0
    rm -f "$work/cdn.port" "$work/cdn.stop"
    TW_ULIP_SERVER_STOP="$work/cdn.stop"
    python3 "$TW_ROOT/tools/loopback-server.py" --port 80 --root "$work/cdn" --ready "$work/cdn.port" \
        --mode "${TW_ULIP_SERVER_MODE:-serve}" --stop "$TW_ULIP_SERVER_STOP" --lifetime 300 --delay "$delay" \
        2>"$work/cdn.log" &
    for _ in $(seq 1 50); do [ -s "$work/cdn.port" ] && return 0; sleep 0.1; done
    return 1
}

# What the restore must leave, one "<what>|<expected file>|<installed file>" line each.
tw_ulip_expectations() {
    local package="$1/package"
    printf '%s|%s|%s\n' \
        "product file put back" "$package/src/ulipmain.dll" "$TW_PRODUCT_DIR/Components/Ulip/ulipmain.dll" \
        "file listed with its slipstream extension put back under its plain name" "$package/src/tagged.dll" "$TW_PRODUCT_DIR/Components/Ulip/tagged.dll" \
        "common file of ULIP.ini with equal versions replaced" "$package/src/shared.dll" "$TW_ULIP_COMMON64/shared.dll" \
        "common file of another version kept" "$package/installed/commonb.dll" "$TW_ULIP_COMMON64/commonb.dll" \
        "32-bit common file replaced" "$package/src/x32/commonc.dll" "$TW_ULIP_COMMON32/commonc.dll"
}

tw_ulip_cleanup() {
    [ -n "$TW_ULIP_SERVER_STOP" ] && touch "$TW_ULIP_SERVER_STOP"
    ((${#TW_ULIP_PLACED[@]})) && rm -rf "${TW_ULIP_PLACED[@]}"
    TW_ULIP_PLACED=()
    TW_ULIP_SERVER_STOP=
}

# Telemetry of a run in a namespace of tw_netns_run: the endpoint configuration that the
# content-delivery host serves (both channels on, posting back to that host), an HTTPS
# server for it on 127.0.0.1:443 that records the posts into <work>/posts.jsonl, and the
# recorded posts decoded field by field.
tw_telemetry_config() {
    local www="$1/www/http.veltra/TWDT_Files/Splunk"
    mkdir -p "$www" && cat >"$www/SplunkConfig.xml" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<SplunkConfig>
  <LED>
    <enable>true</enable>
    <token>e2e-led-token</token>
    <perf><loc>cdn.tallyworks.example</loc><endpoint>/test/collector/led</endpoint><header>X-Channel: led-test</header></perf>
    <prod><loc>cdn.tallyworks.example</loc><endpoint>/services/collector/led</endpoint><header>X-Channel: led</header></prod>
  </LED>
  <Track>
    <enable>true</enable>
    <token>e2e-track-token</token>
    <perf><loc>cdn.tallyworks.example</loc><endpoint>/test/collector/track</endpoint><header>X-Channel: track-test</header></perf>
    <prod><loc>cdn.tallyworks.example</loc><endpoint>/services/collector/track</endpoint><header>X-Channel: track</header></prod>
  </Track>
</SplunkConfig>
XML
}

# Starts the HTTPS server of <work>/www in mode serve (or hang: accepts and never answers).
TW_TELEMETRY_SERVER_STOP=
tw_telemetry_server() {
    local work=$1 mode=${2:-serve}
    rm -f "$work/server.ready" "$work/server.stop"
    TW_TELEMETRY_SERVER_STOP="$work/server.stop"
    python3 "$TW_ROOT/tools/loopback-server.py" --bind 127.0.0.1 --port 443 --mode "$mode" \
        --tls "$TW_BUILD_DIR/pki/server.pem" "$TW_BUILD_DIR/pki/server.key" --root "$work/www" \
        --record "$work/posts.jsonl" --ready "$work/server.ready" --stop "$TW_TELEMETRY_SERVER_STOP" \
        --lifetime 300 2>"$work/server.log" &
    for _ in $(seq 1 50); do [ -s "$work/server.ready" ] && return 0; sleep 0.2; done
    return 1
}

tw_telemetry_cleanup() {
    [ -n "$TW_TELEMETRY_SERVER_STOP" ] && touch "$TW_TELEMETRY_SERVER_STOP"
    TW_TELEMETRY_SERVER_STOP=
}

# Every recorded post of <work>/posts.jsonl, one line each, its values decoded:
# "path|Content-Type|X-Channel|name=value|name=value...".
tw_telemetry_posts() {
    [ -s "$1/posts.jsonl" ] || return 0
    python3 - "$1/posts.jsonl" <<'PY'
import json, sys, urllib.parse
for line in open(sys.argv[1], encoding="utf-8"):
    post = json.loads(line)
    fields = [p.split("=", 1) for p in post["body"].split("&") if p]
    decoded = [f[0] + "=" + urllib.parse.unquote_plus(f[1] if len(f) > 1 else "", encoding="latin-1") for f in fields]
    print("|".join([post["path"], post["headers"].get("Content-Type", ""), post["headers"].get("X-Channel", "")] + decoded))
PY
}
