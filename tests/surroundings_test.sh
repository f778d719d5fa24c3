#!/usr/bin/env bash
# The built program in the surroundings administrators give it: an earlier report with its own
# mode, owner, ACL and attributes; links as the report path; the longest file name; a standard
# output that is closed, gone or full; no /proc; an executable replaced while it runs.
set -u
program=$(realpath "$1")
source "$(dirname "$0")/checks.sh"
enter_work_copy "$program" with-definitions

report_ok() { # what, path: a whole report and no temporary file beside it
  head -c 46 "$2" 2>/dev/null | grep -q '^<?xml version="1.0"' || fail "$1: no report at $2"
  tail -n 1 "$2" | grep -Eq '^(<smart/>|</smart>)'$'\r$' || fail "$1: report not whole"
  [ -z "$(ls -A "$(dirname "$2")" | grep '^\.trelmoss-')" ] || fail "$1: temporary file left"
}

echo earlier > kept.xml
chown nobody:nogroup kept.xml
chmod 0640 kept.xml
setfacl -m u:daemon:r kept.xml
setfattr -n user.owner-note -v monitoring kept.xml
./trelmoss kept.xml > /dev/null
check "status replacing a report" 1 "$?"
report_ok "replaced" kept.xml
check "mode, owner and group kept" "640 nobody:nogroup" "$(stat -c '%a %U:%G' kept.xml)"
getfacl -cp kept.xml 2>/dev/null | grep -q '^user:daemon:r--' || fail "ACL entry kept"
check "extended attribute kept" monitoring "$(getfattr --only-values -n user.owner-note kept.xml)"

# An ordinary user may not give the file away; its mode stays all the same.
mkdir -m 777 user
setpriv --reuid=65534 --regid=65534 --clear-groups sh -c \
  'echo earlier > user/own.xml && chmod 600 user/own.xml && ./trelmoss user/own.xml >/dev/null'
check "status as an ordinary user" 1 "$?"
check "mode kept as an ordinary user" "600 nobody" "$(stat -c '%a %U' user/own.xml)"

ln -s target.xml link.xml
./trelmoss link.xml > /dev/null
check "status through a dangling link" 1 "$?"
[ -L link.xml ] || fail "the dangling link is no longer a link"
report_ok "link target" target.xml

ln -s loop-b.xml loop-a.xml && ln -s loop-a.xml loop-b.xml
out=$(./trelmoss loop-a.xml | tail -n 1)
check "loop of links" $'can\'t write report loop-a.xml  (Error 40)\r' "$out"

long=$(printf 'n%.0s' {1..251}).xml
./trelmoss "$long" > /dev/null
check "status of a 255-byte name" 1 "$?"
report_ok "255-byte name" "$long"

(sleep 1; ./trelmoss gone.xml) | true
check "status when the reader is gone" 1 "${PIPESTATUS[0]}"
report_ok "reader gone" gone.xml
./trelmoss closed.xml >&- 2>&-
check "status with standard output closed" 1 "$?"
report_ok "closed output" closed.xml
./trelmoss full.xml > /dev/full
check "status with standard output full" 1 "$?"
report_ok "full output" full.xml

# Without /proc the definitions are still found beside the executable, started by any name.
out=$(cd / && unshare --mount --propagation private sh -c \
  "umount -l /proc && $work/trelmoss $work/noproc.xml" | head -n 1)
check "definitions found without /proc" $'Trelmoss v1.1\r' "$out"
report_ok "without /proc" noproc.xml

# Replaced during a package upgrade: the kernel then names the running file "... (deleted)".
cp trelmoss upgraded
cp trelmoss.ini upgraded.ini
gdb -q -batch -ex 'break main' -ex run -ex 'shell rm upgraded && cp trelmoss upgraded' \
  -ex continue --args ./upgraded deleted.xml > gdb.txt 2>&1
grep -q "warning!" gdb.txt && fail "definitions not found after the executable was replaced"
grep -q $'Trelmoss v1.1' gdb.txt || fail "the replaced executable did not run"
report_ok "replaced executable" deleted.xml

finish "surroundings"
