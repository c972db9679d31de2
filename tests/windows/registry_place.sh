#!/usr/bin/env bash
# Where tessiport.dll finds a serial library named by the host: the registry value CLSERIALPATH
# under HKLM\Software\cameralink wins over the library's own folder, which is used when the key
# or its value is missing. A copy of tessiport.dll and of GRABBER (as clsertest.dll) in a folder
# of their own, another clsertest.dll in the registry's folder; the log tells which was loaded.
# Usage: registry_place.sh WINE_RUN C_HOST DLL GRABBER
set -euo pipefail
run="$1" host="$2" dll="$3" grabber="$4"
source "$(dirname "$0")/wine_test.sh"
key='HKLM\Software\cameralink'
mkdir "$work/module" "$work/registry"
cp "$dll" "$work/module/tessiport.dll"
cp "$grabber" "$work/module/clsertest.dll"
cp "$grabber" "$work/registry/clsertest.dll"

# case: registry set-up | the place line expected | the library loaded
cases=(
    "value|Scan registry CLSERIALPATH Directory $(windows "$work/registry")\\|$(windows "$work/registry")\\clsertest.dll"
    "key|no CLSERIALPATH value found in registry|$(windows "$work/module")\\clsertest.dll"
    "none|no cameralink key found in registry|$(windows "$work/module")\\clsertest.dll"
)
for case in "${cases[@]}"; do
    IFS='|' read -r setup place loaded <<< "$case"
    "$run" reg delete "$key" /f >/dev/null 2>&1 || true
    case "$setup" in
        value) "$run" reg add "$key" /v CLSERIALPATH /d "$(windows "$work/registry")" /f >/dev/null ;;
        key) "$run" reg add "$key" /f >/dev/null ;;
    esac
    rm -f "$work/log.txt"
    # Board 0, the library named, without the connection test.
    "$run" "$host" "$(windows "$work/module/tessiport.dll")" "log:3:$(windows "$work/log.txt")" \
        open:b000:clsertest close >/dev/null
    log="$(tr -d '\r' < "$work/log.txt")"
    for line in "$place" "Get_Serial_Functions: LoadLibrary($loaded)"; do
        if ! grep -qF -- "$line" <<< "$log"; then
            echo "case $setup: no line \"$line\" in the log:"
            echo "$log"
            failed=1
        fi
    done
done
exit "$failed"
