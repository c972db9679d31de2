#!/usr/bin/env bash
# Runs a test program under a private system bus with the stand-in logind of fake_logind.py (its
# log named in KF_LOGIND_LOG), beside a second bus where no logind answers (KF_EMPTY_BUS).
set -euo pipefail
python=/usr/bin/python3  # the interpreter of Debian's python3-dbus and python3-gi
if ! command -v dbus-daemon >/dev/null || ! "$python" -c 'import dbus, gi' 2>/dev/null; then
    echo "SKIPPED: needs dbus-daemon, python3-dbus and python3-gi"
    exit 77
fi
dir=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$dir"' EXIT
for bus in bus empty; do
    cat >"$dir/$bus.conf" <<CONF
<busconfig>
  <listen>unix:path=$dir/$bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default"><allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/></policy>
</busconfig>
CONF
    dbus-daemon --config-file="$dir/$bus.conf" --nofork --nopidfile 2>>"$dir/daemons.log" &
    pids+=($!)
done
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/bus" KF_EMPTY_BUS="unix:path=$dir/empty"
export KF_LOGIND_LOG="$dir/logind.log"
for _ in $(seq 100); do [ -S "$dir/bus" ] && [ -S "$dir/empty" ] && break; sleep 0.05; done
"$python" "$(dirname "$0")/fake_logind.py" "$DBUS_SYSTEM_BUS_ADDRESS" "$KF_LOGIND_LOG" \
    >"$dir/ready" &
pids+=($!)
for _ in $(seq 100); do [ -s "$dir/ready" ] && break; sleep 0.05; done
[ -s "$dir/ready" ] || { echo "the stand-in logind did not start"; cat "$dir/daemons.log"; exit 1; }
"$@"
