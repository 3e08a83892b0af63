#!/usr/bin/env bash
# Sets up, builds and runs every test: once as shipped, once with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
bash scripts/build.sh build
(cd build && ctest --output-on-failure -j "$jobs")

bash scripts/build.sh build-asan -DTESSARO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$jobs")

bash scripts/fuzz.sh smoke
