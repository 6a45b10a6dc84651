#!/usr/bin/env bash
# Builds the two packages from release builds: the .deb (build/package-linux) and the Windows
# .zip (build/package-windows, MinGW-w64 cross build). Installs what is missing first.
# Prints the paths of the .deb and the .zip as its last two lines.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh --packages

jobs=2
linux=build/package-linux
windows=build/package-windows

source scripts/release-flags.sh

echo "== .deb: release build in $linux"
cmake -S . -B "$linux" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr \
    -DPXR7_BUILD_TESTS=OFF -DPXR7_WARNINGS_AS_ERRORS=ON "${release_flags[@]}" >/dev/null
cmake --build "$linux" -j"$jobs"
# Old packages out first, so the one found below is the one just made.
rm -f "$linux"/*.deb
(cd "$linux" && cpack -G DEB >/dev/null)

echo "== .zip: Windows release build in $windows"
cmake -S . -B "$windows" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DPXR7_BUILD_TESTS=OFF -DPXR7_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$windows" -j"$jobs"
rm -f "$windows"/*.zip
(cd "$windows" && cpack -G ZIP >/dev/null)

deb=$(find "$linux" -maxdepth 1 -name '*.deb')
zip=$(find "$windows" -maxdepth 1 -name '*.zip')
[[ -n "$deb" && -n "$zip" ]] || { echo "package: cpack made no package" >&2; exit 1; }
echo "$PWD/$deb"
echo "$PWD/$zip"
