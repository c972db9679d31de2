#!/usr/bin/env bash
# tessiport.dll's selection dialog, shown when the host names no library and registered no
# chooser: what it lists from the registry's folder and the library's own folder, which entry it
# preselects, and what OK and CANCEL give the open.
# Usage: selection_dialog.sh WINE_RUN HOST DLL GRABBER
set -euo pipefail
run="$1" host="$2" dll="$3" grabber="$4"
# The dialog needs a display: a virtual one where there is none. A Wine server that started
# without one is waited out first (KF_WINESERVER, WINEPREFIX), as its desktop would have none.
if [ -z "${DISPLAY:-}" ]; then
    command -v xvfb-run >/dev/null || { echo "skipped: no display and no xvfb-run"; exit 77; }
    [ -z "${KF_WINESERVER:-}" ] || "$KF_WINESERVER" -w || true
    exec xvfb-run -a bash "$0" "$@"
fi
source "$(dirname "$0")/wine_test.sh"
key='HKLM\Software\cameralink'
mkdir "$work/module" "$work/registry"
cp "$dll" "$work/module/tessiport.dll"
# The registry's clsertest is offered once, with its "*"; CLSERX.DLL matches the search but has
# no ".dll" in lower case; clsermtx1 is preselected.
for file in registry/clsertest.dll registry/CLSERX.DLL module/clsertest.dll module/clserlocal.dll \
            module/clsermtx1.dll; do
    cp "$grabber" "$work/$file"
done
"$run" reg add "$key" /v CLSERIALPATH /d "$(windows "$work/registry")" /f >/dev/null

shown='text Select clser*.dll for the requested CameraLink Framegrabber
font MS Sans Serif
item clsertest*
item clserlocal
item clsermtx1
selected 2'
# answer | the result of the open: clsermtx1 has no clSerialInit, a cancel is refused
cases=("ok|open 0xa0330004 0x0" "cancel|open 0xa0332001 0x0")
for case in "${cases[@]}"; do
    IFS='|' read -r answer opened <<< "$case"
    expect_lines "$answer" "$shown"$'\n'"$opened" \
        "$("$run" "$host" "$(windows "$work/module/tessiport.dll")" "$answer")"
done
exit "$failed"
