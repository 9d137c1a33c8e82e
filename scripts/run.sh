#!/usr/bin/env bash
# Builds the programs (lum2, lum2doc, liblum2) and starts the desktop program.
# Its task list (lumdata.dat) lives in the folder it is started from: here,
# the top of the source tree. Only what building and starting needs is
# installed; the test suites and benchmarks are left to scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
export LANG=${LANG:-C.UTF-8}

scripts/install-deps.sh program
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUM2_BUILD_TESTS=OFF -DLUM2_BUILD_BENCH=OFF
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target lum2 lum2doc lum2_library

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ "${QT_QPA_PLATFORM:-}" = offscreen ]; then
  exec build/bin/lum2 "$@"
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
picture=$PWD/build/lum2-window.png
# The window on a virtual display, with one task in its list, written to a
# picture once it had time to show. No window manager runs, so the window
# sits at the top left of the black screen, which -trim cuts away.
shot="xvfb-run -a -s '-screen 0 1024x640x24' sh -c 'build/bin/lum2 --base-dir \"\$1\" & sleep 3; import -window root -trim +repage \"\$2\"; kill \$!' sh"

cat <<TEXT
There is no display here, so the desktop program cannot show its window.
A picture of the window on a virtual display (xvfb-run and ImageMagick's import,
installed by scripts/install-deps.sh screenshots):

    $shot "\$PWD" lum2-window.png
TEXT
if [ -x scripts/screenshots.sh ]; then
  echo
  echo "scripts/screenshots.sh remakes the README's and the guide's pictures of the window the same way."
fi
cat <<'TEXT'

lum2doc does the same conversions on the command line:

    build/bin/lum2doc encode --compress docs/sample.txt sample.pdb
    build/bin/lum2doc decode sample.pdb sample.txt
    build/bin/lum2doc tasks add --pc "$PWD/docs/sample.txt" --palm "$PWD/sample.pdb" --direction pc-to-palm --install 1
    build/bin/lum2doc run

Here is lum2doc at work on a sample text:
TEXT
build/bin/lum2doc encode --compress --tabs 4 docs/sample.txt "$out/sample.pdb"
build/bin/lum2doc info "$out/sample.pdb"
build/bin/lum2doc decode "$out/sample.pdb" "$out/sample.txt"
echo "== $(wc -c < docs/sample.txt) bytes of text, $(wc -c < "$out/sample.pdb") bytes as a compressed Palm Doc; read back:"
cat "$out/sample.txt"

if command -v xvfb-run >/dev/null && command -v import >/dev/null; then
  build/bin/lum2doc tasks add --dir "$out" --pc "$PWD/docs/sample.txt" --palm "$out/sample.pdb" \
    --direction pc-to-palm >/dev/null
  rm -f "$picture"
  # The picture tells whether it worked: kill finds no lum2 when it ended early.
  eval "$shot" '"$out"' '"$picture"' || true
  if [ -s "$picture" ]; then
    echo "== The window with that task, on a virtual display: $picture"
  else
    echo "== The picture of the window could not be made (xvfb-run or import failed)"
  fi
fi
