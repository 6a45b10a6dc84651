#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine (as root, with
# apt-get), skipping whatever is already there, so a second run costs nothing.
#   scripts/setup.sh            native build and tests
#   scripts/setup.sh --windows  also the Windows cross build, the Wine end-to-end tests, the
#                               dashboard's browser test and the database tests' server
#   scripts/setup.sh --packages also the tools that make and check the .deb and the .zip
#                               (the .zip needs the Windows cross build, its check Wine)
set -euo pipefail

packages=(cmake ninja-build g++ libcli11-dev nlohmann-json3-dev libboost-dev libgtest-dev python3 time pkg-config tmux)
# A compiler cache: building the same sources again (another build folder, a fresh clone) is cheap.
packages+=(ccache)
# The open-source USB stack for the second bridge backend: the libraries and headers only.
lean_packages=(libftdi1-dev libusb-1.0-0-dev)
# PostgreSQL's client library, for the collector and the pages over every bench.
lean_packages+=(libpq-dev)
# OpenSSL, for the pages over TLS and https:// stations; its tool makes the tests' certificates.
lean_packages+=(libssl-dev openssl)
# dpkg-buildflags: the native test build uses the package's flags (scripts/release-flags.sh).
lean_packages+=(dpkg-dev)
if [[ "${1:-}" == "--windows" || "${1:-}" == "--packages" ]]; then
    packages+=(g++-mingw-w64-x86-64 wine wine64 xvfb x11-utils imagemagick curl)
    # The dashboard's pages are tested in headless Chromium, driven through Selenium.
    packages+=(chromium chromium-driver python3-selenium)
    # The database tests start a throwaway PostgreSQL server of their own.
    packages+=(postgresql)
fi
if [[ "${1:-}" == "--packages" ]]; then
    # file for CPack's dependency search (with dpkg-dev); lintian's recommends are not needed.
    lean_packages+=(help2man file lintian zip unzip)
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
lean_missing=()
for package in "${lean_packages[@]}"; do
    installed "$package" || lean_missing+=("$package")
done
[[ ${#missing[@]} -eq 0 && ${#lean_missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
    echo "setup: missing packages: ${missing[*]} ${lean_missing[*]}; run as root (or install them) first" >&2
    exit 1
fi
echo "setup: installing ${missing[*]} ${lean_missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
if [[ ${#missing[@]} -gt 0 ]]; then
    apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if [[ ${#lean_missing[@]} -gt 0 ]]; then
    apt-get install -y -qq --no-install-recommends "${lean_missing[@]}" >/dev/null
fi
