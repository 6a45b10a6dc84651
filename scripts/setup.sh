#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine (as root, with
# apt-get), skipping whatever is already there, so a second run costs nothing.
#   scripts/setup.sh            native build and tests
#   scripts/setup.sh --windows  also the Windows cross build and the Wine end-to-end tests
set -euo pipefail

packages=(cmake ninja-build g++ libcli11-dev libgtest-dev python3 time)
if [[ "${1:-}" == "--windows" ]]; then
    packages+=(g++-mingw-w64-x86-64 wine wine64 xvfb x11-utils imagemagick)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
    echo "setup: missing packages: ${missing[*]}; run as root (or install them) first" >&2
    exit 1
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
