#!/usr/bin/env bash
# Cross-builds the Windows side with mingw-w64 and runs its tests under Wine:
#   build-win64/  kelvoflash-cli.exe, tessiport.dll, clsersim.dll and the tests, 64-bit
#   build-win32/  the 32-bit kelvoflash-cli.exe, kelvoflash.exe, tessiport.dll and their tests
# Installs what is missing first (as root, or through sudo). --no-tests only builds.
set -euo pipefail
cd "$(dirname "$0")/.."
run_tests=1
[ "${1:-}" = "--no-tests" ] && run_tests=0

packages=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest wine64 wine32:i386
          nsis xvfb xauth libgcrypt-mingw-w64-dev
          libz-mingw-w64-dev)  # zlib for recordings, linked statically into the programs
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "build-windows: installing ${missing[*]}"
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    # wine32 is an i386 package: the 32-bit programs run with it.
    dpkg --print-foreign-architectures | grep -qx i386 || "${as_root[@]}" dpkg --add-architecture i386
    export DEBIAN_FRONTEND=noninteractive
    # A mirror in the middle of a sync can fail one index (seen with bookworm-security's i386
    # one); apt then keeps the others, which still hold every package here.
    apt=("${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600)
    "${apt[@]}" update -qq || echo "build-windows: a package index could not be read"
    install=("${apt[@]}" install -y -qq --no-install-recommends)
    if ! "${install[@]}" "${missing[@]}"; then
        # wine32 only runs the 32-bit tests, which skip themselves without it.
        without_wine32=()
        for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || without_wine32+=("$p"); done
        "${install[@]}" "${without_wine32[@]}"
        echo "build-windows: wine32 could not be installed; the 32-bit build is only compiled"
    fi
fi

# Debian's loaders live in Wine's own library folder, not on the PATH.
wine64_loader="$(dpkg -L wine64 | grep -m1 '/lib/wine/wine64$')"
wine32_loader="$(dpkg -L wine32:i386 2>/dev/null | grep -m1 '/lib/wine/wine$' ||
                 echo /usr/lib/wine/wine)"
# One prefix for both: a 64-bit prefix runs 32-bit programs as well.
prefix="$PWD/build-win64/wineprefix"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache
                                          -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
configure() {  # configure <build dir> <toolchain> <wine loader> [cmake options]
    cmake -S . -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$2.cmake" \
          -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKF_WERROR=ON -DKF_BUILD_GUI=OFF -DKF_BUILD_BENCH=OFF \
          -DKF_WINE_LOADER="$3" -DKF_WINE_PREFIX="$prefix" "${launcher[@]}" "${@:4}" >/dev/null
}
configure build-win64 mingw-w64-x86_64 "$wine64_loader" \
          -DKF_TESSIPORT32_DLL="$PWD/build-win32/bin/tessiport.dll" \
          -DKF_OTHER_WIDTH_BIN="$PWD/build-win32/bin"
configure build-win32 mingw-w64-i686 "$wine32_loader" -DKF_OTHER_WIDTH_BIN="$PWD/build-win64/bin"
cmake --build build-win64 -j"$(nproc)"
cmake --build build-win32 -j"$(nproc)"
# The installer carries the 32-bit tessiport.dll as well.
cmake --build build-win64 --target installer
((run_tests)) || exit 0

# The Windows tests drive camsim and the sample tools of the Linux build in build/.
[ -f build/build.ninja ] ||
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKF_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)" --target camsim make-sample-update kelvoflash-cli

# A new prefix takes Wine a while to set up; do it once, before the tests' time limits run.
if [ ! -f "$prefix/system.reg" ]; then
    echo "build-windows: setting up the Wine prefix"
    build-win64/wine-run wineboot --init
    WINEPREFIX="$prefix" "$(dirname "$wine64_loader")/wineserver" -w
fi
echo "== Windows tests under Wine, 64-bit"
ctest --test-dir build-win64 --output-on-failure
echo "== Windows tests under Wine, 32-bit"
# wine32 is an i386 Linux program: a kernel without 32-bit support cannot start it.
if "$wine32_loader" --version >/dev/null 2>&1; then
    ctest --test-dir build-win32 --output-on-failure
else
    echo "build-windows: NOT RUN: wine32 is missing or this kernel does not execute 32-bit" \
         "programs; the 32-bit build is only compiled here"
    # The 32-bit tessiport.dll's export table and the programs' import tables need no Wine; the
    # other tests of the library say they are skipped.
    ctest --test-dir build-win32 --output-on-failure -R 'tessiport_dll|windows_import_tables'
fi
