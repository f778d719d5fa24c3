#!/usr/bin/env bash
# The Windows build tested as a whole: the executable's form, its unit and platform tests, the
# device path through a test disk driver, and the whole trelmoss.exe under Wine, and its reports
# compared byte for byte with the Linux build's.
# This machine's kernel runs no 32-bit programs, so Wine runs inside an emulated machine over
# this machine's own filesystem (tests/vm/host_vm.sh).
#
# usage: tests/windows/run.sh LINUX_BUILD_FOLDER   (after scripts/windows-build.sh)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
linux_build=$(realpath "$1")
build=$top/build/windows
failures=0

echo "-- the executable"
/usr/bin/python3 "$here/check_executable.py" "$build/trelmoss.exe" || failures=$((failures + 1))

echo "-- the MSI's tables, and a newer build of it for the upgrade under Wine"
msi=$(ls "$build"/trelmoss-[0-9]*-win32.msi)
version=$(sed -n 's/^project(trelmoss VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt").0
/usr/bin/python3 "$here/check_msi.py" "$msi" "$version" || failures=$((failures + 1))
bash "$top/packaging/windows/build-msi.sh" 1.99.0 "$build/trelmoss-newer-win32.msi"

echo "-- reports of the Linux build"
rm -rf "$build/linux-reports" "$build/windows-reports"
mkdir -p "$build/linux-reports" "$build/windows-reports"
TRELMOSS_REPORT_DUMP="$build/linux-reports" "$linux_build/tests/trelmoss_tests" \
  --gtest_brief=1 >/dev/null || failures=$((failures + 1))

echo "-- generated definitions files: our reader against the profile functions"
bash "$top/tests/ini_diff/run.sh" "$linux_build" "$top/build/windows64" || failures=$((failures + 1))

# The report trelmoss.exe wrote through Wine and the test disk driver (tests/windows/disk_driver)
# against the one the Linux build wrote for the same drives.
# The metrics likewise, but for the time of the run.
compare_driver_report() { # cross-build folder
  local name=DriverScenario.ProgramReport.0 untimed='^trelmoss_last_run_timestamp_seconds '
  if cmp -s "$build/linux-reports/$name.xml" "$1/driver-reports/$name.xml" &&
    xmllint --noout --schema "$top/report/trelmoss-report.xsd" "$1/driver-reports/$name.xml" \
      2>/dev/null &&
    cmp -s <(grep -v "$untimed" "$build/linux-reports/$name.prom") \
      <(grep -v "$untimed" "$1/driver-reports/$name.prom")
  then
    echo "the report and metrics through the test disk driver are the Linux build's, byte for byte"
  else
    echo "FAIL the report or metrics through the test disk driver differ from the Linux build's"
    failures=$((failures + 1))
  fi
}

echo "-- the device path through the test disk driver, 64-bit Wine on this machine, with smartctl.exe"
SMARTCTL_EXE=$top/build/windows-deps/smartctl-x86_64/smartctl.exe \
  bash "$top/tests/windows/disk_driver/run.sh" "$top/build/windows64" wine64 ||
  failures=$((failures + 1))
compare_driver_report "$top/build/windows64"

echo "-- under Wine"
WINEDEBUG=-all WINEARCH=win32 WINEDLLOVERRIDES="mscoree,mshtml=" \
  bash "$top/tests/vm/host_vm.sh" "$build" "bash tests/windows/under_wine.sh" ||
  failures=$((failures + 1))

compare_driver_report "$build"

echo "-- reports of the Windows build"
kept=$(ls "$build/windows-reports" | wc -l)
if [ "$kept" -lt 10 ] || ! diff -r "$build/linux-reports" "$build/windows-reports" >/dev/null; then
  echo "FAIL the Windows and the Linux build wrote different reports ($kept kept)"
  diff -rq "$build/linux-reports" "$build/windows-reports" | head
  failures=$((failures + 1))
else
  echo "identical to the Linux build's: $kept reports"
fi
for report in "$build/windows-reports"/*.xml; do
  xmllint --noout --schema "$top/report/trelmoss-report.xsd" "$report" 2>/dev/null ||
    { echo "FAIL $report does not validate"; failures=$((failures + 1)); }
done

if [ "$failures" -ne 0 ]; then
  echo "windows: $failures part(s) failed"
  exit 1
fi
echo "windows: all parts passed"
