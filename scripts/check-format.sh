#!/usr/bin/env bash
# Fails when a C or C++ file differs from what clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
