#!/usr/bin/env bash
# Runs every fuzz target with libFuzzer for a bounded time (default 60 s each).
# New inputs go to a scratch folder; the seed corpora in tests/fuzz/corpus stay
# as they are. Usage: scripts/fuzz.sh [SECONDS] [TARGET...] (default: every target)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_decompress fuzz_doc_reader fuzz_record_store
                                     fuzz_text_filters fuzz_html_stripper fuzz_doc_writer
                                     fuzz_bookmark_finder fuzz_line_joiner)

scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLUM2_FUZZ=ON -DLUM2_BUILD_BENCH=OFF -DLUM2_BUILD_TESTS=ON
cmake --build build-fuzz --target "${targets[@]}"

for target in "${targets[@]}"; do
  scratch=build-fuzz/corpus/$target
  mkdir -p "$scratch"
  echo "== $target for ${seconds}s"
  build-fuzz/bin/$target -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
    "$scratch" "tests/fuzz/corpus/$target"
done
