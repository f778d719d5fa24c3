#!/usr/bin/env bash
# Runs in the emulated machine, from the project folder: the cross-built tests, trelmoss.exe and
# the device path through the test disk driver under 32-bit Wine.
set -uo pipefail
build=$PWD/build/windows
export WINEPREFIX=$build/wineprefix
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1
failures=0
# Wine maps executables into memory, which the shared folder does not carry faithfully: the
# programs run from a local copy.
local_copy=$(mktemp -d)
for tests in trelmoss_tests trelmoss_platform_tests; do
  cp "$build/tests/$tests.exe" "$local_copy/"
  TRELMOSS_REPORT_DUMP="Z:$build/windows-reports" wine "$local_copy/$tests.exe" --gtest_brief=1 |
    tr -d '\r' | tee "$local_copy/$tests.txt" | tail -n 25
  [ "${PIPESTATUS[0]}" -eq 0 ] || failures=$((failures + 1))
  # A test program that crashes under Wine may still exit with 0: only its own summary counts.
  grep -q '^\[  PASSED  \]' "$local_copy/$tests.txt" &&
    ! grep -q '^\[  FAILED  \]' "$local_copy/$tests.txt" || failures=$((failures + 1))
done
bash tests/windows/program_test.sh "$build/trelmoss.exe" || failures=$((failures + 1))
bash tests/windows/msi_test.sh "$build" || failures=$((failures + 1))
wineserver -w
# The device path, in a prefix of its own where the test disk driver is installed.
bash tests/windows/disk_driver/run.sh "$build" || failures=$((failures + 1))
exit "$failures"
