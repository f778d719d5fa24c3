#!/usr/bin/env bash
# trelmoss.exe end to end under Wine, run from a local copy: banner, usage and exit statuses, the definitions warning
# with the Windows path, and the report's bytes (Wine lists no disks, so the report is empty).
set -u
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/../checks.sh"
cp "$program" "$work/trelmoss.exe"
cp "$(dirname "$program")/trelmoss.ini" "$work/trelmoss.ini"
cd "$work" || exit 1
windows_dir="Z:${work//\//\\}"

# Standard output is a Windows text stream: a message's "\r\n" leaves the process as CR CR LF.
out=$(wine trelmoss.exe; echo "status $?")
check "usage" $'Trelmoss v1.1\r\r\nusage: '"$windows_dir"$'\\trelmoss.exe <output.xml>\r\r\nstatus 254' "$out"

out=$(wine trelmoss.exe --version; echo "status $?")
check "version" $'Trelmoss v1.1\r\r\nstatus 0' "$out"

cp trelmoss.exe renamed.exe
out=$(wine renamed.exe | head -n 1)
check "warning names the file looked for" $'warning! can\'t open required '"$windows_dir"$'\\renamed.ini!!! \r\r' "$out"

out=$(wine trelmoss.exe report.xml; echo "status $?")
check "run without disks" $'Trelmoss v1.1\r\r\nTotal drives: 0\r\r\nstatus 1' "$out"
check "report bytes" "3c3f786d6c2076657273696f6e3d22312e302220656e636f64696e673d2277696e646f77732d3132353122203f3e0d0a3c736d6172742f3e0d0a" "$(od -An -tx1 report.xml | tr -d ' \n')"

out=$(wine trelmoss.exe 'missing\report.xml'; echo "status $?")
check "unwritable report" $'Trelmoss v1.1\r\r\nTotal drives: 0\r\r\ncan\'t write report missing\\report.xml  (Error 267)\r\r\nstatus 253' "$out"

finish "trelmoss.exe end to end"
