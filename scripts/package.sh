#!/usr/bin/env bash
# Builds the Debian package into build/package, checks it (lintian, the manual page, the systemd
# units), installs it on this machine, runs the installed program and purges it again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh cmake ninja-build g++ libtinyxml2-dev libxml2-utils dpkg-dev lintian \
  man-db systemd
out=build/package
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTRELMOSS_BUILD_TESTS=OFF -DTRELMOSS_WERROR=ON >/dev/null
cmake --build "$out"
rm -f "$out"/*.deb
(cd "$out" && cpack -G DEB >/dev/null)
deb=$(ls "$out"/trelmoss_*.deb)
echo "built $deb"
fail() { echo "package: $*"; exit 1; }

lintian --fail-on error,warning "$deb" 2>&1 | grep -v "running with root privileges" || true
lintian --fail-on error,warning "$deb" >/dev/null 2>&1 || fail "lintian reports errors or warnings"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l packaging/trelmoss.8 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"

dpkg -i "$deb" >/dev/null
trap 'dpkg --purge trelmoss >/dev/null 2>&1 || true' EXIT
[ "$(readlink -f /usr/sbin/trelmoss)" = /usr/lib/trelmoss/trelmoss ] || fail "/usr/sbin/trelmoss"
[ "$(readlink /usr/lib/trelmoss/trelmoss.ini)" = /etc/trelmoss/trelmoss.ini ] || fail "ini link"
grep -qx /etc/trelmoss/trelmoss.ini /var/lib/dpkg/info/trelmoss.conffiles || fail "no conffile"
systemd-analyze verify /lib/systemd/system/trelmoss.service /lib/systemd/system/trelmoss.timer
exposure=$(systemd-analyze security --offline=true /lib/systemd/system/trelmoss.service 2>&1 |
  sed -n 's/.*Overall exposure level for trelmoss.service: \([0-9.]*\).*/\1/p')
echo "trelmoss.service exposure: $exposure"
awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 2.0) }' || fail "exposure above 2.0"

/usr/sbin/trelmoss --help | grep -q "/usr/lib/trelmoss/trelmoss.ini" ||
  fail "--help does not name /usr/lib/trelmoss/trelmoss.ini"
work=$(mktemp -d)
status=0
/usr/sbin/trelmoss "$work/report.xml" > "$work/output.txt" || status=$?
[ "$status" = 1 ] || fail "the installed program exited with $status"
! grep -q "warning!" "$work/output.txt" || fail "definitions not found: $(cat "$work/output.txt")"
xmllint --noout --schema /usr/share/doc/trelmoss/trelmoss-report.xsd "$work/report.xml"
rm -rf "$work"

dpkg --purge trelmoss >/dev/null
trap - EXIT
for gone in /usr/sbin/trelmoss /usr/lib/trelmoss /etc/trelmoss; do
  [ ! -e "$gone" ] && [ ! -L "$gone" ] || fail "$gone left after purge"
done
echo "package: installed, ran, verified and purged"
