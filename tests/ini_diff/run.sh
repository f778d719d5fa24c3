#!/usr/bin/env bash
# The generated differential test of the definitions reader. The seeded generator writes the
# files; our reader (the Linux build's probe) and the Windows profile functions (the 64-bit
# probe under Wine, which this machine's kernel runs without an emulated machine) answer for
# each; any difference fails the test and shows the smallest differing file.
#
# usage: tests/ini_diff/run.sh LINUX_BUILD_FOLDER WINDOWS64_BUILD_FOLDER   (TRELMOSS_INI_SEED)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
linux_build=$(realpath "$1")
windows_build=$(realpath "$2")
work=$windows_build/ini-diff
rm -rf "$work"
mkdir -p "$work"
started=$(date +%s)
/usr/bin/python3 "$here/generate.py" "${TRELMOSS_INI_SEED:-2026}" "$work/cases"
"$linux_build/tests/ini_probe" "$work/cases" "$work/ours.txt"
source "$here/../windows/wine64.sh"
export WINEPREFIX=$windows_build/wineprefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX" ] || wine64 wineboot -i >/dev/null 2>&1
wine64 "$windows_build/tests/ini_probe.exe" "Z:$work/cases" "Z:$work/wine.txt"
wineserver -w
/usr/bin/python3 "$here/compare.py" "$work/cases" "$work/ours.txt" "$work/wine.txt"
echo "generated, read twice and compared in $(($(date +%s) - started)) s"
