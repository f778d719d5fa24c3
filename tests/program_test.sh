#!/usr/bin/env bash
# The built program end to end: banner, usage, exit statuses, the definitions warning, and a
# report of this machine's disks that validates against the schema.
set -u
program=$(realpath "$1")
schema=$(realpath "$2")
source "$(dirname "$0")/checks.sh"
enter_work_copy "$program" with-definitions

out=$(./trelmoss; echo "status $?")
check "usage" $'Trelmoss v1.1\r\nusage: ./trelmoss <output.xml>\r\nstatus 254' "$out"

out=$(./trelmoss --version; echo "status $?")
check "version" $'Trelmoss v1.1\r\nstatus 0' "$out"

./trelmoss --help | grep -q "trelmoss.ini" || fail "help names the definitions file"

cp trelmoss renamed
out=$(./renamed 2>&1 | head -n 1)
check "warning names the file looked for" $'warning! can\'t open required '"$work"$'/renamed.ini!!! \r' "$out"

out=$(./trelmoss missing/dir/report.xml | tail -n 1; echo "status ${PIPESTATUS[0]}")
check "unwritable report" $'can\'t write report missing/dir/report.xml  (Error 2)\r\nstatus 253' "$out"
[ -z "$(ls missing 2>/dev/null)" ] || fail "left files behind"

./trelmoss report.xml > output.txt
check "status of a written report" 1 "$?"
grep -q $'Total drives: [0-9]*\r$' output.txt || fail "drive count line"
xmllint --noout --schema "$schema" report.xml || fail "report invalid"
check "report starts with the declaration" '<?xml version="1.0" encoding="windows-1251" ?>' "$(head -c 46 report.xml)"

# Without root no disk opens: each one is reported with EACCES and skipped.
mkdir -m 777 unprivileged
setpriv --reuid=65534 --regid=65534 --clear-groups ./trelmoss unprivileged/report.xml > output.txt
check "status without root" 1 "$?"
grep -o "can't open device [^ ]*  (Error [0-9]*)" output.txt | grep -v "(Error 13)$" &&
  fail "a disk failed to open with another error than 13"
grep -q $'Total drives: 0\r$' output.txt || fail "a disk was read without root"

finish "program end to end"
