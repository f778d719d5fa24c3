#!/usr/bin/env bash
# Hostile definitions files and report paths against the built program. Each must end with the
# program's defined message and status, a valid report or none, and never a truncated report or
# a lost earlier one.
set -u
program=$(realpath "$1")
schema=$(realpath "$2")
source "$(dirname "$0")/checks.sh"
enter_work_copy "$program"

# Definitions files: the run goes on whatever the file holds.
definitions_case() { # name, then the command that writes trelmoss.ini
  local name=$1
  shift
  "$@" > trelmoss.ini
  rm -f report.xml
  ./trelmoss report.xml > output.txt
  local status=$?
  [ "$status" -eq 1 ] || fail "definitions $name: status $status"
  grep -q $'Total drives: [0-9]*\r$' output.txt || fail "definitions $name: no drive count"
  xmllint --noout --schema "$schema" report.xml 2>/dev/null || fail "definitions $name: report invalid"
}
random_bytes() { head -c "$1" /dev/urandom; }
nul_bytes() { printf '[General]\nMax Attributes=2\n[Attrib0]\nId=1\nName=a\0b\n\0\0\0[Attrib1]\0\nId=9\n'; }
long_line() { printf '[General]\nMax Attributes=1\n[Attrib0]\nId=9\nName='; head -c 10000000 /dev/zero | tr '\0' 'x'; printf '\n'; }
huge_file() {
  printf '[General]\nMax Attributes=2147483647\n'
  python3 -c '
import sys
block = "".join(f"[Attrib{i}]\nId={i % 256}\nName=attribute {i} with a name of some length\nDetails=details\n" for i in range(20000)).encode()
for _ in range(100 * 1024 * 1024 // len(block) + 1):
    sys.stdout.buffer.write(block)'
}
max_is() { printf '[General]\nMax Attributes=%s\n[Attrib0]\nId=9\nName=h\n' "$1"; }
definitions_case "of random bytes" random_bytes 1048576
definitions_case "with NUL bytes" nul_bytes
definitions_case "with a 10 MB line" long_line
definitions_case "of 100 MB" huge_file
definitions_case "with Max Attributes negative" max_is -5
definitions_case "with Max Attributes huge" max_is 99999999999999999999
definitions_case "with Max Attributes not a number" max_is many
head -n 1 output.txt | grep -q "^warning! can't open required $work/trelmoss.ini!!! " ||
  fail "a Max Attributes that is not a number warns"

# Something other than a readable file at the definitions path: the warning, and the run goes
# on without blocking (a FIFO nobody writes to, a device that never ends).
unreadable_case() { # name; trelmoss.ini is already in place
  rm -f report.xml
  timeout 20 ./trelmoss report.xml > output.txt
  local status=$?
  [ "$status" -eq 1 ] || fail "definitions path $1: status $status"
  head -n 1 output.txt | grep -q "^warning! can't open required $work/trelmoss.ini!!! " ||
    fail "definitions path $1: no warning"
  xmllint --noout --schema "$schema" report.xml 2>/dev/null || fail "definitions path $1: no report"
}
rm -f trelmoss.ini && mkdir trelmoss.ini && unreadable_case "a folder" && rmdir trelmoss.ini
mkfifo trelmoss.ini && unreadable_case "a FIFO" && rm trelmoss.ini
ln -s /dev/zero trelmoss.ini && unreadable_case "/dev/zero" && rm trelmoss.ini
printf '[General]\nMax Attributes=1\n' > trelmoss.ini && chmod 000 trelmoss.ini
setpriv --reuid=65534 --regid=65534 --clear-groups sh -c './trelmoss /tmp/trelmoss-hostile-$$.xml' \
  > output.txt
head -n 1 output.txt | grep -q "^warning! can't open required" || fail "unreadable definitions: no warning"
rm -f trelmoss.ini /tmp/trelmoss-hostile-*.xml

# Report paths: the defined message and status -3, and an earlier report left whole.
printf '[General]\nMax Attributes=1\n[Attrib0]\nId=9\nName=h\n' > trelmoss.ini
report_case() { # name, path, expected error number, [user to run as]
  local name=$1 path=$2 error=$3
  local runner=()
  [ $# -ge 4 ] && runner=(setpriv --reuid="$4" --regid="$4" --clear-groups)
  "${runner[@]}" ./trelmoss "$path" > output.txt
  local status=$?
  [ "$status" -eq 253 ] || fail "report $name: status $status"
  [ "$(tail -n 1 output.txt)" = "can't write report $path  (Error $error)"$'\r' ] ||
    fail "report $name: $(tail -n 1 output.txt | cat -A)"
}
mkdir adirectory
report_case "that is a directory" adirectory 21
report_case "in a missing directory" missing/report.xml 2
report_case "on a full device" /dev/full 28
report_case "too long" "$(head -c 300 /dev/zero | tr '\0' 'n').xml" 36
mkdir readonly
printf 'earlier report' > readonly/report.xml
chmod 555 readonly
report_case "in a read-only directory" readonly/report.xml 13 65534  # nobody: root writes anywhere
[ "$(cat readonly/report.xml)" = "earlier report" ] || fail "the earlier report was touched"
[ "$(ls readonly)" = report.xml ] || fail "a temporary file was left behind"
[ -z "$(ls adirectory)" ] || fail "a file was left in the directory named as the report"

finish "hostile files and paths"
