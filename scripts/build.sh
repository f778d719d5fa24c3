#!/usr/bin/env bash
# Installs what the build needs and builds the release program into build/release.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-packages.sh cmake ninja-build g++ libtinyxml2-dev libgtest-dev libxml2-utils
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRELMOSS_BUILD_TESTS=OFF >/dev/null
cmake --build build/release
