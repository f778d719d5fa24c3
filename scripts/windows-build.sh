#!/usr/bin/env bash
# Cross-builds the 32-bit Windows program, trelmoss.exe, and its tests into build/windows with
# MinGW-w64. tinyxml2 is compiled from Debian's source package, GoogleTest from /usr/src.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/windows-packages.sh
deps=$PWD/build/windows-deps
mkdir -p "$deps"
tinyxml2=$(find "$deps" -maxdepth 2 -name tinyxml2.cpp -printf '%h\n' 2>/dev/null | head -n 1)
if [ -z "$tinyxml2" ]; then
  (cd "$deps" && apt-get source -qq tinyxml2 >/dev/null 2>&1)
  tinyxml2=$(find "$deps" -maxdepth 2 -name tinyxml2.cpp -printf '%h\n' | head -n 1)
fi
[ -n "$tinyxml2" ] || { echo "tinyxml2 source not found"; exit 1; }
cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release -DTRELMOSS_WERROR=ON \
  -DTRELMOSS_TINYXML2_SOURCE="$tinyxml2" -DTRELMOSS_GTEST_SOURCE=/usr/src/googletest >/dev/null
cmake --build build/windows
# The probe of the profile functions, also as a 64-bit program that Wine runs on this machine.
cmake -S . -B build/windows64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DTRELMOSS_WERROR=ON \
  -DTRELMOSS_TINYXML2_SOURCE="$tinyxml2" -DTRELMOSS_GTEST_SOURCE=/usr/src/googletest >/dev/null
cmake --build build/windows64 --target ini_probe trelmoss trelmoss_test_disk test_disk_install \
  trelmoss_driver_tests
# smartctl for 64-bit Windows, from Debian's smartmontools source: the independent reader the
# driver tests compare with. Built once (about 3 minutes) and kept in the build folder.
smartctl=$deps/smartctl-x86_64/smartctl.exe
if [ ! -x "$smartctl" ]; then
  rm -rf "$deps/smartctl-x86_64" && mkdir -p "$deps/smartctl-x86_64"
  (cd "$deps/smartctl-x86_64" && apt-get source -qq smartmontools >/dev/null 2>&1 &&
    cd smartmontools-*/ && ./configure -q --host=x86_64-w64-mingw32 >/dev/null 2>&1 &&
    make -s -j2 smartctl.exe >/dev/null 2>&1 && cp smartctl.exe ..)
  [ -x "$smartctl" ] || { echo "smartctl.exe could not be built"; exit 1; }
fi
# The Windows packages: one zip with the program, its definitions file, README, license, schema
# and alert rules, and an MSI of the same files.
rm -f build/windows/trelmoss-*-win32.zip build/windows/trelmoss-*-win32.msi
(cd build/windows && cpack -G ZIP >/dev/null)
zip=$(ls build/windows/trelmoss-*-win32.zip)
listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$listed" = "LICENSE.txt README.txt trelmoss-alerts.yml trelmoss-report.xsd trelmoss.exe trelmoss.ini " ] ||
  { echo "$zip holds: $listed"; exit 1; }
unzip -p "$zip" README.txt | grep -qv $'\r$' && { echo "README.txt is not all CR LF"; exit 1; }
echo "built $zip"
version=$(sed -n 's/^project(trelmoss VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
bash packaging/windows/build-msi.sh "$version.0" "build/windows/trelmoss-$version-win32.msi"
echo "built build/windows/trelmoss-$version-win32.msi"
