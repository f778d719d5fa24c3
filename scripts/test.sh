#!/usr/bin/env bash
# Runs every test: the unit and program tests with warnings as errors, the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the checks kept beside them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh cmake ninja-build g++ libtinyxml2-dev libgtest-dev \
  libbenchmark-dev libxml2-utils clang-format acl attr gdb util-linux

run_suite() { # build folder, extra cmake options...
  local folder=$1
  shift
  cmake -S . -B "$folder" -G Ninja -DTRELMOSS_WERROR=ON "$@" >/dev/null
  cmake --build "$folder"
  ctest --test-dir "$folder" --output-on-failure -j2
}

echo "== formatting"
bash scripts/check-format.sh
echo "== tests"
run_suite build/ci -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DTRELMOSS_SANITIZE=ON
echo "== end to end: emulated disks under QEMU, compared with smartctl"
bash tests/e2e/run.sh build/ci/trelmoss build/e2e
echo "== metrics: served by a real node_exporter, checked by promtool"
bash tests/metrics/run.sh build/ci build/e2e
echo "== the page: written for the fake and the emulated disks, opened in a real browser"
bash tests/html/run.sh build/ci build/e2e
echo "== packages: the Debian package built, checked, installed, run and purged"
bash scripts/package.sh
echo "== the service under a real systemd, booted in an emulated machine"
bash scripts/install-packages.sh prometheus-node-exporter
bash tests/vm/systemd_vm.sh build/systemd tests/vm/service_check.sh \
  "$PWD/$(ls build/package/trelmoss_*.deb)"
echo "== Windows: the 32-bit cross build, its tests and trelmoss.exe under Wine"
bash scripts/windows-build.sh
bash tests/windows/run.sh build/ci
echo "== fuzzing: each target for ${FUZZ_SECONDS:-60} s under the sanitizers"
bash scripts/fuzz.sh
echo "== valgrind memcheck of the test suite"
bash scripts/install-packages.sh valgrind
for suite in tests/trelmoss_tests tests/trelmoss_platform_tests; do
  valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    --show-leak-kinds=definite,indirect "build/ci/$suite" --gtest_brief=1 | tail -n 2
done
for target in definitions sectors run; do
  valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    "build/ci/tests/fuzz/fuzz_$target" "tests/fuzz/corpus/$target"
done
