#!/usr/bin/env bash
# Builds everything and passes every test: the release build with its test
# suites and the Debian package made from it, then the core under
# AddressSanitizer and UndefinedBehaviorSanitizer, where the fuzz corpora are
# replayed as well.
set -euo pipefail
cd "$(dirname "$0")/.."
export LANG=C.UTF-8 LC_ALL=C.UTF-8

scripts/install-deps.sh program test

jobs=$(nproc 2>/dev/null || echo 2)

echo "== Layers: every include points down the map"
scripts/check-layers.sh

echo "== Release build and tests"
# scripts/run.sh and a packaging build leave the suites off in the folder's cache.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DLUM2_BUILD_TESTS=ON -DLUM2_BUILD_BENCH=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure --no-tests=error -j "$jobs"

echo "== The Debian package: lintian, desktop entry, AppStream, man pages, completion"
scripts/check-package.sh build

echo "== Core under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUM2_SANITIZE=ON -DLUM2_BUILD_BENCH=OFF -DLUM2_BUILD_GUI=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure --no-tests=error -j "$jobs"

echo "== All tests passed"
