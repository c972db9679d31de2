#!/usr/bin/env bash
# Installs what the project needs on a fresh Debian 12 machine (as root). Installs nothing when
# everything is already there.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev
          libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev libcli11-dev nlohmann-json3-dev fonts-dejavu-core pkgconf
          zlib1g-dev  # session recordings (.jsonl.gz)
          dpkg-dev file  # dpkg-dev and file: cpack's dependency list of the .deb
          libdbus-1-dev dbus-daemon python3-dbus python3-gi  # the run guard and its stand-in logind
          libgcrypt20-dev minisign  # signed update files; minisign for the round-trip tests
          xvfb xauth libx11-dev)  # the windows' answers to pings, on a virtual display

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get -o DPkg::Lock::Timeout=600 update -qq
    apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
fi
