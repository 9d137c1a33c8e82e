#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when missing.
# Runs apt-get as root, or through sudo for another user.
set -euo pipefail

PACKAGES=(build-essential cmake ninja-build qt6-base-dev libgtest-dev libgmock-dev
          libbenchmark-dev libutf8proc-dev clang libclang-rt-14-dev xvfb xauth imagemagick python3 xdg-utils
          lintian desktop-file-utils appstream man-db bash-completion)

missing=()
for package in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Run as root or install sudo: missing ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y \
  --no-install-recommends "${missing[@]}"
