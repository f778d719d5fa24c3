#!/usr/bin/env bash
# The metrics files the program writes, checked by a real node_exporter and promtool (Debian's
# packages): those of the fake-disk runs and those of the emulated machines' disks.
#
# usage: run.sh LINUX_BUILD E2E_FOLDER   (after tests/e2e/run.sh)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
e2e=$(realpath "$2")
bash "$here/../../scripts/install-packages.sh" prometheus-node-exporter prometheus python3 \
  python3-yaml
dump=$(mktemp -d)
trap 'rm -rf "$dump"' EXIT
TRELMOSS_REPORT_DUMP=$dump "$build/tests/trelmoss_tests" --gtest_filter='Metrics.*:Health.*' \
  --gtest_brief=1 >/dev/null
/usr/bin/python3 "$here/check.py" "$dump" "$e2e/kinds" "$e2e/many" "$e2e/raid" "$e2e/bridges"
