#!/usr/bin/env bash
# The main job on a simulated camera: builds everything, starts camsim with a camera holding
# firmware V01.00 in all five devices, takes a backup of all devices, writes an update file with
# V01.01 images, programs the camera with kelvoflash-cli, shows its versions before and after and
# reads the devices back to compare them with the update file.
#
#   KF_DEMO_NO_BUILD=1   skip the build (use what is in $KF_BUILD_DIR, default build/)
#   KF_DEMO_GUI=1        with a display, also open kelvoflash on the same camera at the end
set -euo pipefail
cd "$(dirname "$0")/.."

build="${KF_BUILD_DIR:-build}"
if [ "${KF_DEMO_NO_BUILD:-0}" != 1 ]; then
    echo "== building (scripts/build.sh installs what is missing first)"
    bash scripts/build.sh
fi
bin="$build/bin"

work="$(mktemp -d)"
camsim_pid=""
cleanup() {
    if [ -n "$camsim_pid" ]; then
        kill "$camsim_pid" 2>/dev/null || true
        wait "$camsim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

echo
echo "== starting camsim: a camera with firmware 004 V01.00 in every device"
firmware=()
for row in 0 1 2 3 4; do firmware+=(--firmware "$row:4:1.00"); done
"$bin/camsim" "${firmware[@]}" --state "$work/state" --boot-time 300 --erase-time 50 \
    --link "$work/camera" --ignore-stdin >"$work/camsim.out" 2>&1 &
camsim_pid=$!
for _ in $(seq 50); do [ -e "$work/camera" ] && break; sleep 0.1; done
[ -e "$work/camera" ] || { echo "camsim did not start:"; cat "$work/camsim.out"; exit 1; }
# Port index 0 is the first COM port; QEL_COM1 names its device.
export QEL_COM1="$work/camera"
echo "QEL_COM1=$QEL_COM1"

echo
echo "== kelvoflash-cli info --port 0"
"$bin/kelvoflash-cli" info --port 0

echo
echo "== kelvoflash-cli backup backup.qup --port 0: what the camera holds, before it is overwritten"
echo "(the camera is rebooted after each device read, as after programming: about a minute and a"
echo " half; a backup older than the camera's firmware goes back with program --emergency)"
"$bin/kelvoflash-cli" backup "$work/backup.qup" --port 0
"$bin/kelvoflash-cli" inspect "$work/backup.qup"

echo
echo "== make-sample-update: an update file with 004 V01.01 images for the five devices"
"$bin/make-sample-update" "$work/update.qup" --version 1.01 --variant 4 --small

echo
echo "== kelvoflash-cli program update.qup --yes --port 0"
echo "(after each device the programmer reboots the camera and waits about 15 s for it, as it"
echo " does with a real camera on a COM port: the run takes about a minute and a half)"
"$bin/kelvoflash-cli" program "$work/update.qup" --yes --port 0

echo
echo "== kelvoflash-cli info --port 0 (afterwards)"
"$bin/kelvoflash-cli" info --port 0

echo
echo "== kelvoflash-cli verify update.qup --port 0: every device read back and compared"
"$bin/kelvoflash-cli" verify "$work/update.qup" --port 0

if [ -n "${DISPLAY:-}" ]; then
    echo
    if [ "${KF_DEMO_GUI:-0}" = 1 ] && [ -x "$bin/kelvoflash" ]; then
        echo "== kelvoflash -S -T0 -B0 on the same camera (close it to end the demo)"
        "$bin/kelvoflash" -S -T0 -B0 || true
    else
        echo "A display is present: KF_DEMO_GUI=1 bash scripts/demo.sh also opens the Qt programmer"
        echo "(kelvoflash -S -T0 -B0) on the same simulated camera at the end."
    fi
fi
echo
echo "== done; camsim stops now"
