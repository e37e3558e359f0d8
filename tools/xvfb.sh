# Sourced: starts a private Xvfb display for Wine's windows and stops it (and the prefix's
# wineserver) when the sourcing script exits.
tw_start_display() {
    local fifo display
    fifo=$(mktemp -u) && mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    TW_XVFB_PID=$!
    read -r display <"$fifo"
    rm -f "$fifo"
    export DISPLAY=":$display"
    trap tw_stop_display EXIT
}

tw_stop_display() {
    wineserver -k >/dev/null 2>&1 || true
    [ -n "${TW_XVFB_PID:-}" ] && kill "$TW_XVFB_PID" >/dev/null 2>&1 || true
}
