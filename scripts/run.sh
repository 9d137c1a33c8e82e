#!/usr/bin/env bash
# Builds LUM2 and starts the desktop program. Its task list (lumdata.dat)
# lives in the folder it is started from: here, the top of the source tree.
set -euo pipefail
cd "$(dirname "$0")/.."
export LANG=${LANG:-C.UTF-8}

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target lum2 lum2doc

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ "${QT_QPA_PLATFORM:-}" = offscreen ]; then
  exec build/bin/lum2 "$@"
fi

cat <<'TEXT'
There is no display here, so the desktop program cannot show its window.
Run it on a virtual display instead:

    xvfb-run -a build/bin/lum2

or use lum2doc, the same conversions on the command line:

    build/bin/lum2doc encode --compress docs/sample.txt sample.pdb
    build/bin/lum2doc decode sample.pdb sample.txt
    build/bin/lum2doc tasks add --pc "$PWD/docs/sample.txt" --palm "$PWD/sample.pdb" --direction pc-to-palm --install 1
    build/bin/lum2doc run

Here is lum2doc at work on a sample text:
TEXT
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
build/bin/lum2doc encode --compress --tabs 4 docs/sample.txt "$out/sample.pdb"
build/bin/lum2doc info "$out/sample.pdb"
build/bin/lum2doc decode "$out/sample.pdb" "$out/sample.txt"
echo "== $(wc -c < docs/sample.txt) bytes of text, $(wc -c < "$out/sample.pdb") bytes as a compressed Palm Doc; read back:"
cat "$out/sample.txt"
