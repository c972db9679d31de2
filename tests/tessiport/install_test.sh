#!/usr/bin/env bash
# cmake --install into a scratch prefix: the library with its SONAME links, the header and
# tessiport.pc, with which a C program compiles, links and runs.
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
pc="$(find "$prefix" -name tessiport.pc)"
libdir="$(dirname "$(dirname "$pc")")"
test "$(readlink "$libdir/libtessiport.so")" = libtessiport.so.1
test -f "$prefix/include/tessiport.h"
cat > "$prefix/host.c" <<'PROGRAM'
#include <stdio.h>
#include <tessiport.h>
int main(void) {
    uint32_t count = 0;
    uint32_t result = Get_Generation_Count(0, &count);
    printf("%u %u %x\n", result, count, Cancel_Images(0x100));
    return 0;
}
PROGRAM
export PKG_CONFIG_PATH="$(dirname "$pc")"
# A sanitized library needs its runtime in the program that loads it.
sanitize=""
if readelf -d "$libdir/libtessiport.so.1" | grep -q libasan; then
    sanitize="-fsanitize=address,undefined"
fi
# shellcheck disable=SC2046
cc -std=c11 -Wall -Werror $sanitize $(pkg-config --cflags tessiport) "$prefix/host.c" -o "$prefix/host" \
   $(pkg-config --libs tessiport)
out="$(TESSIPORT_INSTANCE=install_test QEL_DATA_DIR="$prefix" LD_LIBRARY_PATH="$libdir" "$prefix/host")"
test "$out" = "0 1 a0332002"
readelf -d "$libdir/libtessiport.so.1" | grep -q 'SONAME.*libtessiport.so.1'
echo "installed and linked: $out"
