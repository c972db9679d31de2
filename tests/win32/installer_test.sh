#!/bin/bash
# installer_test.sh <setup.exe> <wine-run> <wineserver> <prefix> <version> <makensis> <nsi>
#                   <stage> <readme> <icon>: in the Wine prefix of the build (on an X display,
# for the running program): installs the version before <version>, built here from the same
# programs (<stage>), then <version> over it, first while kelvoflash.exe runs (refused, nothing
# changed), then after it ended (the programs replaced, the users' files kept); checks what was
# installed and registered, runs kelvoflash-cli.exe from the installed folder, uninstalls and
# checks that nothing of ours is left but the users' files.
set -euo pipefail
setup="$1" wine_run="$2" wineserver="$3" prefix="${WINEPREFIX:-$4}" version="$5"
makensis="$6" nsi="$7" stage="$8" readme="$9" icon="${10}"
export WINEPREFIX="$prefix"
wait_for_wine() { "$wineserver" -w; }
folder="$prefix/drive_c/Program Files/kelvoflash"
data="$prefix/drive_c/ProgramData"
menu="$data/Microsoft/Windows/Start Menu/Programs"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\kelvoflash'
failures=0
check() {  # check <what> <command...>
    local what="$1"
    shift
    if "$@" >/dev/null 2>&1; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
absent() { ! "$@"; }
registered() { "$wine_run" reg query "$uninstall_key" /v "$1" /reg:64 2>/dev/null | tr -d '\r' | grep -q "$2"; }
status_of() { local status=0; "$@" || status=$?; echo "$status"; }

if [ -e "$folder" ]; then
    echo "installer_test: $folder exists before the test; not touching it" >&2
    exit 1
fi
work="$(mktemp -d)"
running=""
cleanup() {
    [ -z "$running" ] || kill "$running" 2>/dev/null || true
    rm -rf "$work" "$data/qel/kf-installer-test.ini"
}
trap cleanup EXIT

# The older version: the same programs under the version before this one.
previous="${version%.*}.$(printf '%02d' $((10#${version#*.} - 1)))"
"$makensis" -V1 -DVERSION="$previous" -DPROGRAMS="$stage" -DREADME="$readme" -DICON="$icon" \
    -DOUTFILE="$work/kelvoflash-$previous-setup.exe" "$nsi"
"$wine_run" "$work/kelvoflash-$previous-setup.exe" /S
wait_for_wine
check "$previous installed" registered DisplayVersion "$previous"
# What a user wrote: the library's parameter file beside its log.
echo "[user]" >"$data/qel/kf-installer-test.ini"

"$wine_run" 'C:\Program Files\kelvoflash\kelvoflash.exe' -P2 &
running=$!
sleep 5
check "kelvoflash.exe runs" kill -0 "$running"
check "$version over a running kelvoflash is refused (status 2)" \
    test "$(status_of "$wine_run" "$setup" /S)" = 2
check "the refused install left $previous" registered DisplayVersion "$previous"
kill "$running"
wait "$running" 2>/dev/null || true
running=""

check "$version over $previous installs (status 0)" test "$(status_of "$wine_run" "$setup" /S)" = 0
wait_for_wine
for file in kelvoflash.exe kelvoflash-cli.exe tessiport.dll 32-bit/kelvoflash.exe \
            32-bit/kelvoflash-cli.exe 32-bit/tessiport.dll; do
    check "installed $file as staged" cmp "$stage/$file" "$folder/$file"
    check "$file carries its version resource" \
        bash -c 'strings -el "$1" | grep -qx "QEL AG" && strings -el "$1" | grep -qx "$2"' _ \
        "$folder/$file" "$version"
done
for file in README.txt uninstall.exe; do check "installed $file" test -f "$folder/$file"; done
format() { x86_64-w64-mingw32-objdump -f "$1" | grep -q "file format $2\$"; }
for file in kelvoflash.exe kelvoflash-cli.exe tessiport.dll; do
    check "32-bit/$file is 32-bit" format "$folder/32-bit/$file" pei-i386
    check "$file is 64-bit" format "$folder/$file" pei-x86-64
done
check "the user's file in ProgramData\\qel kept" grep -qx '\[user\]' "$data/qel/kf-installer-test.ini"
check "ProgramData\\kelvoflash\\trusted-keys made" test -d "$data/kelvoflash/trusted-keys"
check "start-menu entry" test -f "$menu/kelvoflash.lnk"
check "start-menu entry for 32-bit frame grabbers" \
    test -f "$menu/kelvoflash (32-bit frame grabbers).lnk"
for link in "kelvoflash.lnk" "kelvoflash (32-bit frame grabbers).lnk"; do
    check "$link starts in ProgramData\\qel" \
        bash -c 'strings -el "$1" | grep -qx "C:.ProgramData.qel"' _ "$menu/$link"
done
check "registered for uninstalling" registered UninstallString 'uninstall.exe'
check "registered quiet uninstall" registered QuietUninstallString 'uninstall.exe" /S'
check "registered version $version" registered DisplayVersion "$version\$"
check "registered publisher" registered Publisher 'QEL AG'
check "registered web address" registered URLInfoAbout 'https://www.qel-ag.example'
check "registered size" registered EstimatedSize '0x[0-9a-f]'
cli_version="$("$wine_run" 'C:\Program Files\kelvoflash\kelvoflash-cli.exe' --version 2>&1 || true)"
echo "kelvoflash-cli.exe --version: $cli_version"
check "kelvoflash-cli.exe runs from the installed folder" grep -q "$version" <<<"$cli_version"

# The uninstaller copies itself away and returns at once: wait for Wine to be idle.
"$wine_run" 'C:\Program Files\kelvoflash\uninstall.exe' /S
wait_for_wine
check "installed folder removed" absent test -e "$folder"
check "start-menu entries removed" absent test -e "$menu/kelvoflash.lnk" -o \
    -e "$menu/kelvoflash (32-bit frame grabbers).lnk"
check "uninstall key removed" absent "$wine_run" reg query "$uninstall_key" /reg:64
check "settings key removed" absent "$wine_run" reg query 'HKLM\Software\kelvoflash' /reg:64
check "the user's file kept after uninstalling" test -f "$data/qel/kf-installer-test.ini"
exit $((failures > 0))
