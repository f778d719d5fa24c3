#!/bin/sh
# Runs under a real systemd (tests/vm/systemd_vm.sh): installs the package, starts
# trelmoss.service and requires that it succeeds, that an unprivileged user reads the report,
# that the prometheus user reads the metrics and node_exporter on 127.0.0.1 serves them, that the timer is listed once
# enabled, and that the program's output is in the journal.
# usage: service_check.sh PACKAGE
set -u
fail() { echo "service: $*"; journalctl -u trelmoss.service --no-pager | tail -n 20; exit 1; }
dpkg -i "$1" > /dev/null 2>&1 || fail "dpkg -i $1 failed"
systemctl start trelmoss.service || fail "trelmoss.service did not succeed"
setpriv --reuid=65534 --regid=65534 --clear-groups cat /var/lib/trelmoss/report.xml > /tmp/report.xml ||
  fail "an unprivileged user cannot read the report"
grep -q 'serial="E2E-SYSTEMD"' /tmp/report.xml || fail "the disk is not in the report"
setpriv --reuid=prometheus --regid=prometheus --clear-groups \
  cat /var/lib/prometheus/node-exporter/trelmoss.prom > /dev/null ||
  fail "the prometheus user cannot read the metrics"
prometheus-node-exporter --web.listen-address=127.0.0.1:9100 --collector.disable-defaults \
  --collector.textfile > /dev/null 2>&1 &
exporter=$!
python3 - <<'SCRAPE' || fail "node_exporter does not serve the metrics"
import time, urllib.request
for _ in range(100):
    try:
        page = urllib.request.urlopen("http://127.0.0.1:9100/metrics", timeout=5).read().decode()
        break
    except OSError:
        time.sleep(0.2)
lines = page.splitlines()
assert "node_textfile_scrape_error 0" in lines, "scrape error"
assert any('serial_number="E2E-SYSTEMD"' in line and line.startswith("trelmoss_device_info")
           for line in lines), "no trelmoss series"
SCRAPE
kill "$exporter"
systemctl enable --now trelmoss.timer > /dev/null 2>&1 || fail "the timer cannot be enabled"
systemctl list-timers --all --no-pager | grep -q trelmoss.timer || fail "the timer is not listed"
journalctl -u trelmoss.service --no-pager | grep -q "Total drives: 1" ||
  fail "the program's output is not in the journal"
echo "service: trelmoss.service succeeded under systemd $(systemctl --version | head -n 1 |
  cut -d' ' -f2), the report is readable by nobody, node_exporter serves its metrics, the timer is listed"
