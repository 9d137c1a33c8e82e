#!/usr/bin/env bash
# Installs the Debian 12 packages that one or more purposes need, when missing.
# Runs apt-get as root, or through sudo for another user.
#
# Usage: scripts/install-deps.sh [PURPOSE...]   (default: program)
#   program      build lum2, lum2doc and liblum2 and start the window (scripts/run.sh)
#   test         the test suites, benchmarks, fuzzing and the package check (scripts/test.sh)
#   screenshots  pictures of the window on a virtual display
set -euo pipefail

# The compiler, the build tools and the libraries the programs link (Ninja
# builds, so no make). Qt's CMake files look for libxkbcommon's headers
# whether or not a program uses them; without them configuring says "Could
# NOT find XKB", which is harmless but reads like a fault.
PROGRAM=(g++ cmake ninja-build qt6-base-dev libutf8proc-dev libxkbcommon-dev
         # The guide opens in the browser through xdg-open.
         xdg-utils)

# GoogleTest and Google Benchmark for the suites and benchmarks of the release
# build; python3 writes the Doc corpus; clang with its runtime libraries for
# libFuzzer; dpkg-dev for the package's library dependencies, the package
# check's linters and the tools it renders and completes with; a virtual
# display for the window.
TEST=(libgtest-dev libgmock-dev libbenchmark-dev python3
      clang libclang-rt-14-dev
      dpkg-dev lintian desktop-file-utils appstream man-db bash-completion
      xvfb xauth)

# A virtual display, ImageMagick to write what it shows to a file, and the X
# tools that find a window on it.
SCREENSHOTS=(xvfb xauth imagemagick x11-utils)

[ $# -gt 0 ] || set -- program
wanted=()
for purpose in "$@"; do
  case $purpose in
    program) wanted+=("${PROGRAM[@]}") ;;
    test) wanted+=("${TEST[@]}") ;;
    screenshots) wanted+=("${SCREENSHOTS[@]}") ;;
    *) echo "install-deps.sh: unknown purpose '$purpose' (program, test, screenshots)" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${wanted[@]}"; do
  [[ " ${missing[*]} " == *" $package "* ]] && continue
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Run as root or install sudo: missing ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y \
  --no-install-recommends "${missing[@]}"
