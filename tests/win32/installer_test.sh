#!/bin/bash
# installer_test.sh <setup.exe> <wine-run> <wineserver> <prefix> <version>: installs silently
# into the Wine prefix of the build, runs kelvoflash-cli.exe from the installed folder, uninstalls
# silently and checks that nothing of ours is left: files, start-menu entry, registry keys.
set -euo pipefail
setup="$1"
wine_run="$2"
wineserver="$3"
prefix="${WINEPREFIX:-$4}"
version="$5"
wait_for_wine() { WINEPREFIX="$prefix" "$wineserver" -w; }
folder="$prefix/drive_c/Program Files/kelvoflash"
link="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/kelvoflash.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\kelvoflash'
failures=0
check() {  # check <what> <command...>
    local what="$1"
    shift
    if "$@" >/dev/null 2>&1; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
absent() { ! "$@"; }
registered() { "$wine_run" reg query "$uninstall_key" /v "$1" /reg:64 2>/dev/null | grep -q "$2"; }

if [ -e "$folder" ]; then
    echo "installer_test: $folder exists before the test; not touching it" >&2
    exit 1
fi

"$wine_run" "$setup" /S
wait_for_wine
for file in kelvoflash.exe kelvoflash-cli.exe tessiport.dll 32-bit/tessiport.dll README.txt \
            uninstall.exe; do
    check "installed $file" test -f "$folder/$file"
done
format() { x86_64-w64-mingw32-objdump -f "$1" | grep -q "file format $2\$"; }
check "the 32-bit library is a 32-bit DLL" format "$folder/32-bit/tessiport.dll" pei-i386
check "the 64-bit library is a 64-bit DLL" format "$folder/tessiport.dll" pei-x86-64
check "start-menu entry" test -f "$link"
check "registered for uninstalling" registered UninstallString 'uninstall.exe'
check "registered quiet uninstall" registered QuietUninstallString 'uninstall.exe" /S'
check "registered version" registered DisplayVersion "$version"
cli_version="$("$wine_run" 'C:\Program Files\kelvoflash\kelvoflash-cli.exe' --version 2>&1 || true)"
echo "kelvoflash-cli.exe --version: $cli_version"
check "kelvoflash-cli.exe runs from the installed folder" grep -q "$version" <<<"$cli_version"

# The uninstaller copies itself away and returns at once: wait for Wine to be idle.
"$wine_run" 'C:\Program Files\kelvoflash\uninstall.exe' /S
wait_for_wine
check "installed folder removed" absent test -e "$folder"
check "start-menu entry removed" absent test -e "$link"
check "uninstall key removed" absent "$wine_run" reg query "$uninstall_key" /reg:64
check "settings key removed" absent "$wine_run" reg query 'HKLM\Software\kelvoflash' /reg:64
exit $((failures > 0))
