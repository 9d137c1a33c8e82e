#!/usr/bin/env bash
# Builds LUM2 and shows it at work: a sample text becomes a Palm Doc and back.
set -euo pipefail
cd "$(dirname "$0")/.."
export LANG=C.UTF-8 LC_ALL=C.UTF-8

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target lum2doc lum2

sample=docs/sample.txt
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
build/bin/lum2doc encode --compress --tabs 4 "$sample" "$out/sample.pdb"
build/bin/lum2doc info "$out/sample.pdb"
build/bin/lum2doc decode "$out/sample.pdb" "$out/sample.txt"
echo "== $(wc -c < "$sample") bytes of text, $(wc -c < "$out/sample.pdb") bytes as a compressed Palm Doc"
echo "== The text read back from the Palm Doc:"
cat "$out/sample.txt"
