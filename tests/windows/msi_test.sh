#!/usr/bin/env bash
# The MSI under Wine, from a fresh prefix, checked by its effects (msiexec's status alone says
# little under Wine): install with the default properties and with others, the task's definition
# naming the installed program and its options, one Add/Remove Programs entry through a
# reinstall and an upgrade, a downgrade refused, the event source, and an uninstall that leaves
# only the reports.
#
# usage: msi_test.sh BUILD   (holds trelmoss-V-win32.msi and the test's newer build,
#                             trelmoss-newer-win32.msi; run where `wine` runs 32-bit programs)
set -uo pipefail
build=$(realpath "$1")
current=$(ls "$build"/trelmoss-[0-9]*-win32.msi)
newer=$build/trelmoss-newer-win32.msi
local_copy=$(mktemp -d)
trap 'wineserver -k 2>/dev/null; rm -rf "$local_copy"' EXIT
export WINEPREFIX=$local_copy/prefix WINEDEBUG=-all
cp "$current" "$local_copy/current.msi"
cp "$newer" "$local_copy/newer.msi"
wineboot -i >/dev/null 2>&1
wineserver -w
failures=0
fail() { echo "FAIL msi: $*"; failures=$((failures + 1)); }

c=$WINEPREFIX/drive_c
program="$c/Program Files/Trelmoss"
data=$c/ProgramData/Trelmoss
msiexec() { (cd "$local_copy" && wine msiexec "$@" >/dev/null 2>&1); }
arguments() { iconv -f UTF-16 -t UTF-8 "$data/trelmoss-task.xml" | tr -d '\r' |
  sed -n 's:.*<Arguments>\(.*\)</Arguments>.*:\1:p' | sed 's/&lt;/</g; s/&gt;/>/g; s/&amp;/\&/g'; }
entries() { wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
  tr -d '\r' | grep -c 'DisplayName.*REG_SZ.*Trelmoss$'; }
version() { wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
  tr -d '\r' | sed -n 's/.*DisplayVersion.*REG_SZ *//p' | head -n 1; }
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Trelmoss'

msiexec /i current.msi /qn
for file in trelmoss.exe trelmoss.ini README.txt LICENSE.txt trelmoss-alerts.yml trelmoss-report.xsd; do
  [ -f "$program/$file" ] || fail "no $file in Program Files\\Trelmoss"
done
expected='--no-wake --health --prometheus "C:\Program Files\windows_exporter\textfile_inputs\trelmoss.prom" C:\ProgramData\Trelmoss\report.xml'
[ "$(arguments)" = "$expected" ] || fail "the task's arguments: $(arguments)"
iconv -f UTF-16 -t UTF-8 "$data/trelmoss-task.xml" | grep -q '<Command>"C:\\Program Files\\Trelmoss\\trelmoss.exe"</Command>' ||
  fail "the task does not run the installed program"
iconv -f UTF-16 -t UTF-8 "$data/trelmoss-task.xml" | grep -q '<UserId>S-1-5-18</UserId>' ||
  fail "the task does not run as SYSTEM"
[ -f "$c/windows/system32/tasks/Trelmoss" ] || fail "schtasks holds no task Trelmoss"
[ "$(entries)" = 1 ] || fail "$(entries) Add/Remove Programs entries after installing"
wine reg query "$source_key" /v EventMessageFile 2>/dev/null | tr -d '\r' |
  grep -q 'REG_EXPAND_SZ.*C:\\Program Files\\Trelmoss\\trelmoss.exe' || fail "no event source"

msiexec /i current.msi /qn
[ "$(entries)" = 1 ] || fail "$(entries) entries after reinstalling"
msiexec /i newer.msi /qn
[ "$(entries)" = 1 ] && [ "$(version)" = 1.99.0 ] || fail "upgrade: $(entries) entries, $(version)"
msiexec /i current.msi /qn
[ "$(entries)" = 1 ] && [ "$(version)" = 1.99.0 ] || fail "downgrade: $(entries) entries, $(version)"

echo '<smart/>' > "$data/report.xml"
msiexec /x newer.msi /qn
[ ! -e "$program" ] || fail "Program Files\\Trelmoss left: $(ls "$program")"
[ ! -e "$c/windows/system32/tasks/Trelmoss" ] || fail "the task is left"
[ "$(ls "$data")" = report.xml ] || fail "ProgramData\\Trelmoss holds: $(ls "$data")"
[ "$(entries)" = 0 ] || fail "an Add/Remove Programs entry is left"
wine reg query "$source_key" >/dev/null 2>&1 && fail "the event source is left"

msiexec /i current.msi /qn 'PROMFILE=C:\metrics & more\t.prom' NOWAKE=0
expected='--health --prometheus "C:\metrics & more\t.prom" C:\ProgramData\Trelmoss\report.xml'
[ "$(arguments)" = "$expected" ] || fail "with PROMFILE and NOWAKE=0: $(arguments)"
msiexec /x current.msi /qn
msiexec /i current.msi /qn PROMFILE=
[ "$(arguments)" = '--no-wake --health C:\ProgramData\Trelmoss\report.xml' ] ||
  fail "with no metrics: $(arguments)"

[ "$failures" = 0 ] && echo "msi: installs, schedules, upgrades, refuses a downgrade and uninstalls as it should"
exit "$failures"
