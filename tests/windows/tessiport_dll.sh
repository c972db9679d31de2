#!/usr/bin/env bash
# tessiport_dll.sh CASE WINE_RUN CAMSIM C_HOST PROBE DLL: tessiport.dll under Wine, driven by
# the plain C host (built with the header's calling convention) and dll_probe.c; each case a
# table of set-ups and the lines printed, or the log lines written.
set -euo pipefail
test_case="$1" run="$2" camsim="$3" host="$4" probe="$5" dll="$6"
# The selection dialog and the message boxes need a display: a virtual one where there is none. A Wine server that
# started without one is waited out first (KF_WINESERVER, WINEPREFIX), as its desktop would have
# none.
if [[ "$test_case" =~ ^(selection_dialog|message_boxes)$ ]] && [ -z "${DISPLAY:-}" ]; then
    command -v xvfb-run >/dev/null || { echo "skipped: no display and no xvfb-run"; exit 77; }
    [ -z "${KF_WINESERVER:-}" ] || "$KF_WINESERVER" -w || true
    exec xvfb-run -a bash "$0" "$@"
fi
source "$(dirname "$0")/wine_test.sh"
# A copy of the library in a folder of its own, with GRABBER copies beside it and in the folder
# named by the registry value CLSERIALPATH under HKLM\Software\cameralink.
places() {  # places MODULE-FILES... -- REGISTRY-FILES...
    key='HKLM\Software\cameralink'
    mkdir "$work/module" "$work/registry"
    cp "$dll" "$work/module/tessiport.dll"
    local folder=module
    for file in "$@"; do
        if [ "$file" = -- ]; then folder=registry; else cp "$dll" "$work/$folder/$file"; fi
    done
}

# Two processes share the block "TESSIPORT": with a host holding the library, a second one counts
# 2 and, after unloading, 1; one that ends with the library loaded counts itself out as well;
# alone a process counts 1 and leaves no block behind.
two_processes() {
    mkfifo "$work/in"
    "$run" "$host" "$dll" image wait < "$work/in" > "$work/host.out" &
    local first=$!
    exec 3> "$work/in"
    for _ in $(seq 300); do
        grep -q ready "$work/host.out" && break
        sleep 0.1
    done
    local both alone
    both="$({ "$run" "$probe" "$dll" count exit; "$run" "$probe" "$dll" count; } | tr -d '\r')"
    exec 3>&-
    wait "$first"
    alone="$("$run" "$probe" "$dll" count | tr -d '\r')"
    expect_lines "shared" "loaded 2;loaded 2;unloaded 1;loaded 1;unloaded none" \
        "$(printf '%s\n' "$both" "$alone")"
}

# The registry value wins over the library's own folder, which is used when the key or its value
# is missing; the log tells which was loaded. A REG_EXPAND_SZ value is expanded; a value of 260
# bytes or more with its terminator counts as missing, one byte less is still read; a folder named
# outside the ANSI code page (1252 under Wine here) is read and loaded from.
registry_place() {
    places clsertest.dll -- clsertest.dll
    local registry module greek="$work/registry Ωμέγα"
    mkdir "$greek"
    cp "$dll" "$greek/clsertest.dll"
    registry="$(windows "$work/registry")" module="$(windows "$work/module")"
    # The log's lines end at 300 characters: the long folder is looked for by its start.
    local long258 long259
    long258="C:\\$(printf 'a%.0s' {1..255})" long259="${long258}b"
    # registry set-up | the place line expected | the library loaded | another line expected
    local cases=("value|Scan registry CLSERIALPATH Directory $registry\\|$registry\\clsertest.dll"
                 "key|no CLSERIALPATH value found in registry|$module\\clsertest.dll"
                 "none|no cameralink key found in registry|$module\\clsertest.dll|No clserdll found in C:\\windows\\system32\\clsertest.dll"
                 "expand|Scan registry CLSERIALPATH Directory $registry\\|$registry\\clsertest.dll"
                 "long258|Scan registry CLSERIALPATH Directory ${long258:0:40}|$module\\clsertest.dll"
                 "long259|no CLSERIALPATH value found in registry|$module\\clsertest.dll"
                 "greek|Scan registry CLSERIALPATH Directory $(windows "$greek")\\|$(windows "$greek")\\clsertest.dll")
    for case in "${cases[@]}"; do
        IFS='|' read -r setup place loaded also <<< "$case"
        "$run" reg delete "$key" /f >/dev/null 2>&1 || true
        case "$setup" in
            value) "$run" reg add "$key" /v CLSERIALPATH /d "$registry" /f >/dev/null ;;
            key) "$run" reg add "$key" /f >/dev/null ;;
            expand) "$run" reg add "$key" /v CLSERIALPATH /t REG_EXPAND_SZ \
                        /d "%KF_GRABBER_FOLDER%" /f >/dev/null ;;
            long258) "$run" reg add "$key" /v CLSERIALPATH /d "$long258" /f >/dev/null ;;
            long259) "$run" reg add "$key" /v CLSERIALPATH /d "$long259" /f >/dev/null ;;
            greek) "$run" reg add "$key" /v CLSERIALPATH /d "$(windows "$greek")" /f >/dev/null ;;
        esac
        rm -f "$work/log.txt"
        # Board 0, the library named, without the connection test.
        KF_GRABBER_FOLDER="$registry" "$run" "$host" "$module\\tessiport.dll" \
            "log:3:$(windows "$work/log.txt")" open:b000:clsertest close >/dev/null
        for line in "$place" "Get_Serial_Functions: LoadLibrary($loaded)" ${also:+"$also"}; do
            tr -d '\r' < "$work/log.txt" | grep -qF -- "$line" ||
                { echo "case $setup: no line \"$line\" in the log:"; cat "$work/log.txt"; failed=1; }
        done
    done
}

# The paths in the shared block and the log's start line are Windows paths throughout.
shared_paths() {
    local folder='C:\ProgramData\qel'
    local lines=("log $folder\\tessiport.log" "parameters $folder\\km4_cl_param.ini" "folder $folder"
                 "first line $folder\\tessiport.log logfile started")
    expect_lines paths "$(IFS=';'; echo "${lines[*]}")" "$("$run" "$probe" "$dll" paths)"
}

# The message boxes of the error output: each error line in a task-modal warning box with the
# system's caption, which keeps the host's window disabled until it is answered and the call
# returns; a name outside the ANSI code page shown whole. With the box bit off, none appears.
message_boxes() {
    places
    "$run" reg delete "$key" /f >/dev/null 2>&1 || true
    local name="clserΩμ" garbage
    garbage="$(windows "$work/module")\\$name.dll"
    echo "not a library" > "$work/module/$name.dll"
    local size="0x0100 ERROR Control_Command: wrongvalue size_in 3"
    local load="0x0001 ERROR Get_Serial_Functions: Cannot load Library $garbage"
    local box="warning|host disabled"
    # What the answering thread sees of each box, and what each call returns once it is answered;
    # then the same calls with standard output in place of the boxes.
    local lines=("box Error|Errormessages will appear|$box" "enable 0x0"
                 "box Error|$size|$box" "command 0xa0332001"
                 "box Error|$load|$box" "open 0xa0332004 0x0"
                 "Errormessages will appear" "enable 0x0" "$size" "command 0xa0332001"
                 "$load" "open 0xa0332004 0x0" "host window enabled")
    expect_lines boxes "$(IFS=';'; echo "${lines[*]}")" \
        "$("$run" "$probe" "$(windows "$work/module/tessiport.dll")" boxes "$name")"
}

# The block and its mutex, made by one process as it loaded the library, let every user (S-1-1-0)
# map the block, wait for the mutex and read their descriptors, and nothing more, as another
# process that never loaded the library sees them.
shared_block_access() {
    mkfifo "$work/in"
    "$run" "$host" "$dll" image wait < "$work/in" > "$work/host.out" &
    local first=$!
    exec 3> "$work/in"
    for _ in $(seq 300); do
        grep -q ready "$work/host.out" && break
        sleep 0.1
    done
    local seen
    seen="$("$run" "$probe" - security | tr -d '\r')"
    exec 3>&-
    wait "$first"
    expect_lines access \
        "TESSIPORT 1 allow 0x20007 S-1-1-0;TESSIPORT.attach 1 allow 0x120001 S-1-1-0" "$seen"
}

# The block's name and its mutex's name held by events of another process: the library does not
# load (ERROR_DLL_INIT_FAILED); another name leaves it alone.
load_refused() {
    for case in "TESSIPORT|load failed 1114" "TESSIPORT.attach|load failed 1114" \
                "TESSIPORT-other|loaded"; do
        IFS='|' read -r name printed <<< "$case"
        mkfifo "$work/squat"
        "$run" "$probe" - squat "$name" < "$work/squat" > "$work/squat.out" &
        local squatter=$!
        exec 3> "$work/squat"
        for _ in $(seq 300); do
            grep -q holding "$work/squat.out" && break
            sleep 0.1
        done
        expect_lines "$name" "$printed" "$("$run" "$probe" "$dll" load)"
        exec 3>&-
        wait "$squatter"
        rm "$work/squat"
    done
}

# The operating-system check of a new open: the Windows NT family from version 5 on. Wine reports
# the version set for the host program; the open names a library nobody has, so a passed check
# ends in the search.
os_version() {
    key="HKCU\\Software\\Wine\\AppDefaults\\$(basename "$host")"
    local refused='0x0001 ERROR Open_Cam_Ext: Driver is not built for this OS;open 0x80332005 0x0'
    for case in "win98|$refused" "nt40|$refused" "win2k|open 0xa0332004 0x0" \
                "win10|open 0xa0332004 0x0"; do
        IFS='|' read -r version printed <<< "$case"
        "$run" reg add "$key" /v Version /d "$version" /f >/dev/null
        expect_lines "$version" "Errormessages will appear;$printed" \
            "$("$run" "$host" "$dll" errors:9 open:b000:clsernobody)"
    done
}

# The host drives the library through clsersim.dll (found in the library's own folder) against
# camsim: camsim options | host steps | the lines printed.
camlink_host() {
    local get_type="cmd:5:23:1001050000"
    local type_reply="cmd 0x00000000 9001180000040000d20400000000000000000000000000"
    local no_handle image
    no_handle="cmd 0x80332006 $(printf 'e%.0s' {1..46})"
    image="image$(printf ' 0xa0332002%.0s' {1..12}) fixed 0x0 generation 1 pending 0"
    local cases=(
        "--fault error:0x0111:0x80001020|open:b000:clsersim $get_type cmd:5:9:1101050000 error $get_type error close $get_type|open 0x00000000 0x100;$type_reply;cmd 0x80001020 d101090020100080ee;error 0x80001020;$type_reply;error 0x00000000;close 0x00000000 0x0;$no_handle"
        "--cl-baud 115200|open:3000:clsersim params rate:57600 rate:38400 $get_type params close|open 0x00000000 0x100;params 0x00000000 115200 85000000 0x0 0x1 0x0;rate 0xa0332001;rate 0x00000000;$type_reply;params 0x00000000 38400 85000000 0x0 0x1 0x0;close 0x00000000 0x0"
        "|open:b000:clsersim image close|open 0x00000000 0x100;$image;close 0x00000000 0x0"
    )
    for case in "${cases[@]}"; do
        IFS='|' read -r options steps printed <<< "$case"
        # shellcheck disable=SC2086
        expect_lines "$steps" "$printed" \
            "$(bash "$(dirname "$0")/with_camsim.sh" "$camsim" $options -- "$run" "$host" "$dll" $steps)"
    done
}

# Shown when the host names no library and registered no chooser: what the dialog lists from the
# registry's folder and the library's own folder, which entry it preselects, and what OK and
# CANCEL give the open. The registry's clsertest is offered once, with its "*"; CLSERX.DLL matches
# the search but has no ".dll" in lower case; clsermtx1 is preselected and has no clSerialInit.
selection_dialog() {
    places clsertest.dll clserlocal.dll clsermtx1.dll -- clsertest.dll CLSERX.DLL
    "$run" reg add "$key" /v CLSERIALPATH /d "$(windows "$work/registry")" /f >/dev/null
    local shown="text Select clser*.dll for the requested CameraLink Framegrabber;font MS Sans Serif"
    shown+=";item clsertest*;item clserlocal;item clsermtx1;selected 2"
    for case in "ok|open 0xa0330004 0x0" "cancel|open 0xa0332001 0x0"; do
        IFS='|' read -r answer opened <<< "$case"
        expect_lines "$answer" "$shown;$opened" \
            "$("$run" "$probe" "$(windows "$work/module/tessiport.dll")" "$answer")"
    done
}

"$test_case"
exit "$failed"
