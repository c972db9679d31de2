#!/usr/bin/env bash
# Builds the .deb from a built tree (with the GUI; default build/), unpacks it into a scratch root
# and checks it: the file list, the dependencies, and the programs run from there, without the
# build tree, against the packaged camsim over a pty and over Camera Link (packaged libtessiport.so
# and libclsersim.so).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"

rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >packages.log 2>&1) || { cat "$build/packages.log"; exit 1; }
deb="$(ls "$build"/packages/kelvoflash_*.deb)"
scratch="$(mktemp -d)"
camsim_pid=""
cleanup() {
    [ -n "$camsim_pid" ] && kill "$camsim_pid" 2>/dev/null && wait "$camsim_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
failed=0
check() {  # check NAME COMMAND...: one line per check, the run goes on after a failure
    if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failed=$((failed + 1)); fi
}

# The files and links, without folders: exactly the expected list.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {$1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print}' |
    sort >"$scratch/files"
check "file list" diff -u scripts/package_files.txt "$scratch/files"

# The dependencies: the Qt 6 runtime, the C and C++ runtimes, D-Bus (the hold on sleep during a
# run), libgcrypt (signatures) and zlib (recordings), each a package this system knows.
depends="$(dpkg-deb -f "$deb" Depends)"
names="$(tr ',' '\n' <<<"$depends" | sed 's/(.*//; s/ //g' | sort | tr '\n' ' ')"
check "dependencies ($depends)" test "$names" = \
    "libc6 libdbus-1-3 libgcc-s1 libgcrypt20 libqt6core6 libqt6gui6 libqt6widgets6 libstdc++6 qt6-qpa-plugins zlib1g "
for name in $names; do
    check "dependency $name installed" sh -c "dpkg-query -W '$name' >/dev/null"
done

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
bin="$root/usr/bin"
version="$(dpkg-deb -f "$deb" Version)"
unset LD_LIBRARY_PATH
export QEL_DATA_DIR="$scratch" TESSIPORT_INSTANCE=package_test
for program in kelvoflash kelvoflash-cli camsim make-sample-update; do
    check "$program --version" test "$("$bin/$program" --version)" = "$program $version"
    check "$program RUNPATH" sh -c \
        "readelf -d '$bin/$program' | grep -q 'RUNPATH.*\[\$ORIGIN/../lib\]'"
done
check "kelvoflash --help without a display" sh -c \
    "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '$bin/kelvoflash' --help |
     grep -q '^Usage: kelvoflash'"

# camsim from the package: a pty camera with its Camera Link socket; its first two lines name them.
"$bin/camsim" --firmware 0:4:1.00 --firmware 1:4:1.00 --camlink-port 0 --ignore-stdin \
    >"$scratch/camsim.out" 2>&1 </dev/null &
camsim_pid=$!
for _ in $(seq 50); do
    [ "$(wc -l <"$scratch/camsim.out")" -ge 2 ] && break
    sleep 0.1
done
port="$(sed -n 1p "$scratch/camsim.out")"
address="$(sed -n 2p "$scratch/camsim.out" | sed 's/^camlink //')"
info() {  # info [VAR=VALUE...] ARGS...: the packaged kelvoflash-cli reads the camera
    local settings=()
    while [[ "$1" == *=* ]]; do settings+=("$1"); shift; done
    (cd "$scratch" && env "${settings[@]}" "$bin/kelvoflash-cli" info "$@") >"$scratch/info" 2>&1 &&
        grep -q "Main FPGA  004 V01.00" "$scratch/info" || { cat "$scratch/info"; return 1; }
}
check "info over the pty" info --port "$port"
check "info over Camera Link" info CLSERSIM_PORT0="$address" \
    --interface camlink --grabber clsersim --port 0

echo "package $(basename "$deb"): $failed failed"
exit $((failed > 0))
