#!/usr/bin/env bash
# Fails when a source file includes a folder above its own, or beside it, in
# the map of layers (each folder includes only itself and those listed):
#
#   shell/                          start-up, tray, single instance
#   cli/   ui/                      lum2doc; the windows
#   convert/                        what a task does
#   doc/   tasks/   hotsync/        the Doc format; the task store; HotSync users
#   text/                           filters and the Palm character set
#   base/                           file system, paths, progress
#   lum2/                           the codec library
#
# Usage: scripts/check-layers.sh [SOURCE_FOLDER]   (default: src)
set -euo pipefail
cd "$(dirname "$0")/.."
src=${1:-src}

declare -A allowed=(
  [lum2]="lum2"
  [base]="base"
  [text]="text base"
  [doc]="doc text base lum2"
  [tasks]="tasks base"
  [hotsync]="hotsync base"
  [convert]="convert doc tasks hotsync text base lum2"
  [cli]="cli convert doc tasks hotsync text base lum2"
  [ui]="ui convert doc tasks hotsync text base lum2"
  [shell]="shell ui convert doc tasks hotsync text base lum2"
)

bad=0
for dir in "$src"/*/; do
  folder=$(basename "$dir")
  if [ -z "${allowed[$folder]+set}" ]; then
    echo "$dir: a folder the map does not know" >&2
    bad=1
    continue
  fi
  while IFS= read -r line; do
    file=${line%%:*}
    included=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$line")
    # A name without a folder is the file's own folder's.
    [[ $included == */* ]] || continue
    target=${included%%/*}
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "$file: includes $included, which $folder/ may not reach" >&2
      bad=1
    fi
  done < <(grep -H '^#include "' "$dir"*.h "$dir"*.cpp 2>/dev/null || true)
done
[ $bad -eq 0 ] && echo "layers: every include points down the map"
exit $bad
