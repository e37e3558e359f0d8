#!/usr/bin/env bash
# One whole update of the sample product with the ULIP trigger, the maker's hosts on loopback
# servers in a network namespace of their own (tw_netns_run), every host behaving one way:
#   network-step.sh <work> normal|refusing|stalled|trickling
#     normal     the content-delivery host serves the ULIP package (port 80) and the
#                telemetry configuration and posts (port 443)
#     refusing   nothing listens: every connection is refused
#     stalled    every host accepts the request and never answers
#     trickling  every host sends its headers and then a byte a second
# Prints "exit=<code> seconds=<seconds to the completion message>" (display and prefix set up
# by the caller). A run that does not reach its completion message prints "exit=none" and
# the tail of its patch log on stderr.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../tools/wine-env.sh"
source "$here/../tools/e2e-lib.sh"

work=$1 behaviour=$2

if [ "${3:-}" = inside ]; then
    # Inside the namespace: the servers, then the run.
    case $behaviour in
        normal) mode=serve ;;
        stalled) mode=hang ;;
        trickling) mode=trickle ;;
        *) mode= ;;
    esac
    if [ -n "$mode" ]; then
        rm -f "$work/cdn.port" "$work/cdn.stop"
        python3 "$TW_ROOT/tools/loopback-server.py" --port 80 --root "$work/cdn" --ready "$work/cdn.port" \
            --mode "$mode" --stop "$work/cdn.stop" --lifetime 300 2>"$work/cdn.log" &
        tw_telemetry_server "$work" "$mode" || { echo "the HTTPS server did not start" >&2; exit 1; }
        for _ in $(seq 1 50); do [ -s "$work/cdn.port" ] && break; sleep 0.1; done
    fi
    start=$(date +%s.%N)
    # shellcheck disable=SC2086
    tw_start_update "$work" 170 /A /P $(cat "$work/windir")
    tw_wait_msgbox "Update complete" 160 >/dev/null
    shown=$(date +%s.%N)
    tw_probe control 1 OK >/dev/null && tw_click_control 1 OK
    code=$(tw_run_exit_code "$work")
    touch "$work/cdn.stop"
    tw_telemetry_cleanup
    wait
    awk -v c="${code:-none}" -v a="$start" -v b="$shown" 'BEGIN { printf "exit=%s seconds=%.1f\n", c, b - a }' \
        >"$work/result.txt"
    exit 0
fi

mkdir -p "$work"
tw_install_product "$work" "Tallyworks Net Bench" || { echo "the product could not be installed" >&2; exit 1; }
tw_offcycle_setup "$work" >/dev/null
tw_make_update "$work" good || { echo "the update folder could not be laid out" >&2; exit 1; }
sed -i 's/^LoggingEnable=1/LoggingEnable=0/' "$work/update/patch.ini"
# The ULIP package and trigger, and the telemetry configuration, as the e2e scenarios lay
# them out; the servers start inside the namespace.
TW_ULIP_SERVER_MODE=off
tw_ulip_setup "$work" || { echo "the ULIP package could not be laid out" >&2; exit 1; }
tw_telemetry_config "$work"
printf '%s' "$TW_PRODUCT_WINDIR" >"$work/windir"
rm -f "$work/result.txt"
tw_netns_run online bash "$0" "$work" "$behaviour" inside
result=$(cat "$work/result.txt" 2>/dev/null || echo "exit=none seconds=nan")
echo "$result"
if [[ "$result" != exit=0* ]]; then
    echo "the run with $behaviour hosts did not complete; its patch log ends:" >&2
    tail -n 30 "$work/update/Patchlog.txt" >&2 2>/dev/null
fi
tw_ulip_cleanup
TW_PRODUCT_DIR="$WINEPREFIX/drive_c/Program Files/Veltra/Tallyworks Net Bench"
tw_remove_product "$work"
