#!/usr/bin/env bash
# One step of the update benchmark, on the project's prefix (display and wineserver started
# by the caller):
#   update-step.sh product <folder> <values>  writes the bench's sample product: the e2e
#       product with <values> more registry values, which every patch run rewrites
#   update-step.sh prepare <work>  installs that product under a fresh product code, gives it
#       its off-cycle files and lays out <work>/update with two patches and both programs;
#       prints "code=<product code>" and "windir=<product folder>"
#   update-step.sh clean <work>    removes the product again
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../tools/wine-env.sh"
source "$here/../tools/e2e-lib.sh"
bench_product="$TW_BUILD_DIR/bench/product"

case $1 in
product)
    mkdir -p "$2"
    ln -sfn "$TW_PRODUCT_FIXTURE/files" "$2/files"
    python3 "$here/gen.py" product "$TW_PRODUCT_FIXTURE/Product.wxs" "$2/Product.wxs" "$3"
    ;;
prepare)
    work=$2
    TW_PRODUCT_FIXTURE=$bench_product
    tw_install_product "$work" "Tallyworks Bench" || { echo "the bench product could not be installed" >&2; exit 1; }
    tw_offcycle_setup "$work"
    tw_make_update "$work" good || { echo "the update folder could not be laid out" >&2; exit 1; }
    # The Windows Installer log is off: both programs make the same call without it.
    sed -i 's/^LoggingEnable=1/LoggingEnable=0/' "$work/update/patch.ini"
    cp "$TW_BUILD_DIR/bench/update_driver.exe" "$work/update/"
    echo "code=$TW_PRODUCT_CODE"
    echo "windir=$TW_PRODUCT_WINDIR"
    ;;
clean)
    TW_PRODUCT_DIR="$WINEPREFIX/drive_c/Program Files/Veltra/Tallyworks Bench"
    tw_remove_product "$2"
    ;;
isolate) tw_status_log_isolate "$2" ;;
restore) tw_status_log_restore "$2" ;;
*) echo "usage: update-step.sh product|prepare|clean|isolate|restore ..." >&2; exit 2 ;;
esac
