#!/usr/bin/env bash
# Installs the test disk driver for eight root-enumerated devices in a fresh Wine prefix and runs
# the device-path tests against it: the backend, and trelmoss.exe from a local copy. The report
# trelmoss.exe writes is kept in BUILD/driver-reports.
#
# usage: run.sh BUILD [wine64]   (a cross-build folder; with wine64, 64-bit Wine runs it on this
#        machine's own kernel, otherwise the `wine` command, as in the emulated machine)
# With SMARTCTL_EXE naming a smartctl.exe of the same width, the tests compare its reading of the
# RAID controller's disks with Trelmoss's.
set -uo pipefail
build=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
if [ "${2:-}" = wine64 ]; then
  source "$here/../wine64.sh"
  run_wine() { wine64 "$@"; }
else
  run_wine() { wine "$@"; }
fi
# Wine maps executables and drivers into memory, which a shared folder may not carry faithfully:
# the prefix, where the driver is installed, and every program are local.
local_copy=$(mktemp -d)
trap 'wineserver -k; rm -rf "$local_copy"' EXIT
export WINEPREFIX=$local_copy/prefix WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
rm -rf "$build/driver-reports"
mkdir -p "$build/driver-reports"
started=$SECONDS
run_wine wineboot -i >/dev/null 2>&1
# Until the first boot has finished its work the service database is locked and the driver's
# service cannot be installed; the server then stays up, with the driver loaded, for every step
# below.
wineserver -w
wineserver -p

driver=$build/tests/windows/disk_driver
cp "$driver"/{trelmoss_test_disk.sys,trelmoss_test_disk.inf,test_disk_install.exe} "$local_copy/"
cp "$driver/trelmoss_driver_tests.exe" "$build/trelmoss.exe" "$build/trelmoss.ini" "$local_copy/"
if [ -n "${SMARTCTL_EXE:-}" ]; then
  cp "$SMARTCTL_EXE" "$local_copy/smartctl.exe" || exit 1
  export TRELMOSS_SMARTCTL="Z:${local_copy//\//\\}\\smartctl.exe"
fi
run_wine "$local_copy/test_disk_install.exe" "$local_copy/trelmoss_test_disk.inf" 8 | tr -d '\r' ||
  exit 1
echo "installed in $((SECONDS - started)) s"
TRELMOSS_PROGRAM="Z:${local_copy//\//\\}" TRELMOSS_REPORT_DUMP="Z:$build/driver-reports" \
  run_wine "$local_copy/trelmoss_driver_tests.exe" --gtest_brief=1 | tr -d '\r' |
  tee "$local_copy/tests.txt" | tail -n 400
status=${PIPESTATUS[0]}
# A test program that crashes under Wine may still exit with 0: only its own summary counts.
if ! grep -q '^\[  PASSED  \]' "$local_copy/tests.txt" || grep -q '^\[  FAILED  \]' "$local_copy/tests.txt"
then
  echo "the driver tests did not all pass"
  status=$((status + 1))
fi
# trelmoss.exe once more, with Wine's SetupAPI tracing its own calls.
(cd "$local_copy" && WINEDEBUG=trace+setupapi run_wine trelmoss.exe traced.xml >/dev/null \
  2>"$local_copy/setupapi.txt")
/usr/bin/python3 "$here/check_setupapi_trace.py" "$local_copy/setupapi.txt" 8 ||
  status=$((status + 1))
# With --health, the program scenario's failing drive is one error in the event log and its
# warning drive one warning, with their paths and reasons; without it, nothing is logged. Wine
# keeps no log: it prints each reported event on its error stream.
events() { # arguments...
  (cd "$local_copy" && WINEDEBUG=err+eventlog,warn+eventlog run_wine trelmoss.exe "$@" \
    2>&1 >/dev/null | tr -d '\r' | grep 'eventlog:ReportEvent')
}
logged=$(events --health events.xml)
errors=$(grep -c 'err:eventlog:' <<<"$logged")
warnings=$(grep -c 'warn:eventlog:' <<<"$logged")
if [ "$errors" != 1 ] || [ "$warnings" != 1 ] ||
  ! grep -q 'root#trelmoss#0#.* health: failing: smart_status_failed 1; model' <<<"$logged" ||
  ! grep -q 'root#trelmoss#6#.* health: warning: critical_warning_temperature 2' <<<"$logged" ||
  [ -n "$(events events-plain.xml)" ]; then
  echo "the event log got: $logged"
  status=$((status + 1))
else
  echo "event log: one error for the failing drive, one warning, nothing without --health"
fi
echo "installed and tested in $((SECONDS - started)) s"
exit "$status"
