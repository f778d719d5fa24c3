#!/usr/bin/env bash
# The page in a real browser: the pages the fake-disk runs and the emulated machines wrote, each
# beside the XML report of the same run, opened by Debian's chromium through playwright-core.
# The pages and their screenshots are kept in LINUX_BUILD/html-pages.
#
# usage: run.sh LINUX_BUILD E2E_FOLDER   (after tests/e2e/run.sh)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
e2e=$(realpath "$2")
bash "$here/../../scripts/install-packages.sh" chromium
command -v npm > /dev/null || bash "$here/../../scripts/install-packages.sh" npm
pages=$build/html-pages
rm -rf "$pages"
mkdir -p "$pages"
npm install --prefix "$build/html-driver" --silent --no-audit --no-fund playwright-core@1 > /dev/null
TRELMOSS_REPORT_DUMP=$pages "$build/tests/trelmoss_tests" --gtest_filter='Health.RunJudgesEveryDrive' \
  --gtest_brief=1 > /dev/null
rm -f "$pages"/*.prom
for machine in kinds many raid bridges; do
  cp "$e2e/$machine/health.html" "$pages/$machine.html"
  cp "$e2e/$machine/health.xml" "$pages/$machine.xml"
done
PLAYWRIGHT_CORE=$build/html-driver/node_modules/playwright-core node "$here/check.js" "$pages"
