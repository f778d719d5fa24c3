#!/usr/bin/env bash
# The built program end to end: banner, usage, exit statuses, the definitions warning, and a
# report of this machine's disks that validates against the schema.
set -u
program=$(realpath "$1")
schema=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { # what, expected, actual
  if [ "$2" != "$3" ]; then
    printf 'FAIL %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}

cp "$program" "$work/trelmoss"
cp "$(dirname "$program")/trelmoss.ini" "$work/trelmoss.ini"
cd "$work" || exit 1

out=$(./trelmoss; echo "status $?")
check "usage" $'Trelmoss v1.1\r\nusage: ./trelmoss <output.xml>\r\nstatus 254' "$out"

out=$(./trelmoss --version; echo "status $?")
check "version" $'Trelmoss v1.1\r\nstatus 0' "$out"

./trelmoss --help | grep -q "trelmoss.ini" || { echo "FAIL help names the definitions file"; failures=$((failures + 1)); }

cp trelmoss renamed
out=$(./renamed 2>&1 | head -n 1)
check "warning names the file looked for" $'warning! can\'t open required '"$work"$'/renamed.ini!!! \r' "$out"

out=$(./trelmoss missing/dir/report.xml | tail -n 1; echo "status ${PIPESTATUS[0]}")
check "unwritable report" $'can\'t write report missing/dir/report.xml  (Error 2)\r\nstatus 253' "$out"
[ -z "$(ls missing 2>/dev/null)" ] || { echo "FAIL left files behind"; failures=$((failures + 1)); }

./trelmoss report.xml > output.txt
check "status of a written report" 1 "$?"
grep -q $'^Total drives: [0-9]*\r$' <(tr -d '\000' < output.txt | sed 's/.*Total/Total/') ||
  { echo "FAIL drive count line"; failures=$((failures + 1)); }
xmllint --noout --schema "$schema" report.xml || { echo "FAIL report invalid"; failures=$((failures + 1)); }
check "report starts with the declaration" '<?xml version="1.0" encoding="windows-1251" ?>' "$(head -c 46 report.xml)"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "program end to end: all checks passed"
