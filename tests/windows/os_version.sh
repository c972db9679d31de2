#!/usr/bin/env bash
# The operating-system check of a new open: the Windows NT family from version 5 on. Wine reports
# the version set for the host program (AppDefaults); the open names a library nobody has, so a
# passed check ends in the search.
# Usage: os_version.sh WINE_RUN C_HOST DLL
set -euo pipefail
run="$1" host="$2" dll="$3"
source "$(dirname "$0")/wine_test.sh"
key="HKCU\\Software\\Wine\\AppDefaults\\$(basename "$host")"
refused='0x0001 ERROR Open_Cam_Ext: Driver is not built for this OS;open 0x80332005 0x0'
# Wine's version name | the lines printed after "Errormessages will appear"
cases=("win98|$refused" "nt40|$refused" "win2k|open 0xa0332004 0x0" "win10|open 0xa0332004 0x0")
for case in "${cases[@]}"; do
    IFS='|' read -r version lines <<< "$case"
    "$run" reg add "$key" /v Version /d "$version" /f >/dev/null
    expect_lines "$version" "$(printf 'Errormessages will appear\n%s' "$(tr ';' '\n' <<< "$lines")")" \
        "$("$run" "$host" "$dll" errors:9 open:b000:clsernobody)"
done
exit "$failed"
