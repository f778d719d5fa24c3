#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and UndefinedBehaviorSanitizer
# and runs each for a bounded time (FUZZ_SECONDS, default 60), starting from the kept corpus.
# A crash, a sanitizer report or a broken report invariant fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
bash scripts/install-packages.sh clang libclang-rt-14-dev cmake ninja-build libtinyxml2-dev
cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTRELMOSS_FUZZ=ON -DTRELMOSS_SANITIZE=ON -DTRELMOSS_WERROR=ON >/dev/null
cmake --build build/fuzz
for target in definitions sectors run; do
  corpus=build/fuzz/corpus-$target
  mkdir -p "$corpus"
  cp tests/fuzz/corpus/$target/* "$corpus/"
  echo "fuzzing $target for $seconds s"
  build/fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=8192 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="build/fuzz/$target-" "$corpus" \
    > "build/fuzz/$target.log" 2>&1 ||
    { tail -n 40 "build/fuzz/$target.log"; echo "fuzz_$target failed"; exit 1; }
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "build/fuzz/$target.log" | tr '\n' ' '
  echo
done
