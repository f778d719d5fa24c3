#!/usr/bin/env bash
# Measures Trelmoss and prints a table: in-process costs (Google Benchmark), the whole process on
# this machine (wall time and peak memory), and, in the emulated machine of the end-to-end test
# with 32 SATA disks, the run time and device requests per disk against smartctl.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh cmake ninja-build g++ libtinyxml2-dev libgtest-dev \
  libbenchmark-dev libxml2-utils time
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench >/dev/null

echo "== in process"
build/bench/tests/bench/trelmoss_bench --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true 2>/dev/null | grep -E "^(Benchmark|BM_.*_median)"

echo
echo "== whole process on this machine (/usr/bin/time -v)"
report=$(mktemp -d)
/usr/bin/time -v build/bench/trelmoss "$report/report.xml" > /dev/null 2> "$report/time.txt" || true
grep -E "Elapsed \(wall clock\)|Maximum resident set size" "$report/time.txt"
rm -rf "$report"

echo
echo "== definitions files of hostile shapes: whole-process peak memory (/usr/bin/time -v)"
bash scripts/definitions-memory.sh build/bench/trelmoss

echo
echo "== emulated machine"
bash tests/e2e/run.sh build/bench/trelmoss build/bench-e2e | grep -vE "^(machine|unpacked)"
