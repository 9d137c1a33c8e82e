#!/usr/bin/env bash
# Times lum2doc on a large text: one-off encode and decode against a task-list
# run doing the same two conversions, with the peak memory of each.
# Usage: bench/corpus_timing.sh [BUILD_DIR] [MEGABYTES] [TEXT_FILE]
# Without TEXT_FILE an English-like text is made from the license texts of
# /usr/share/common-licenses, repeated to the size asked for.
set -euo pipefail
build=${1:-build}
megabytes=${2:-100}
lum2doc=$(realpath "$build/bin/lum2doc")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

text=$work/text.txt
if [ -n "${3:-}" ]; then
  cp "$3" "$text"
else
  seed=$work/seed.txt
  cat /usr/share/common-licenses/* > "$seed"
  while [ "$(stat -c %s "$text" 2>/dev/null || echo 0)" -lt $((megabytes * 1024 * 1024)) ]; do
    cat "$seed" >> "$text"
  done
  truncate -s $((megabytes * 1024 * 1024)) "$text"
fi
size=$(stat -c %s "$text")

# Prints "seconds peak_kB" for a command.
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null
  cat "$work/time"
}

read -r enc_s enc_kb < <(measure "$lum2doc" encode --compress "$text" "$work/one.pdb")
# The same encode with the text converted to the Palm character set.
read -r utf_s utf_kb < <(measure "$lum2doc" encode --compress --utf8 "$text" "$work/utf8.pdb")
read -r dec_s dec_kb < <(measure "$lum2doc" decode "$work/one.pdb" "$work/one.txt")
cmp -s "$text" "$work/one.txt" || echo "note: decode differs from the input (CR removed by the default filter)"

store=$work/store
mkdir -p "$store"
JPILOT_HOME=$work/nohome LUM2_HOTSYNC_ROOT= "$lum2doc" tasks add --dir "$store" --pc "$text" \
  --palm "$work/run.pdb" --direction pc-to-palm --options 100000 --install 1 >/dev/null
JPILOT_HOME=$work/nohome LUM2_HOTSYNC_ROOT= "$lum2doc" tasks add --dir "$store" --pc "$work/run.txt" \
  --palm "$work/run.pdb" --direction palm-to-pc --options 100000 --install 1 >/dev/null
read -r run_s run_kb < <(JPILOT_HOME=$work/nohome LUM2_HOTSYNC_ROOT= measure "$lum2doc" run --dir "$store")
cmp -s "$work/one.txt" "$work/run.txt" || { echo "run and decode disagree" >&2; exit 1; }

doc_size=$(stat -c %s "$work/one.pdb")
awk -v size="$size" -v doc="$doc_size" -v es="$enc_s" -v ek="$enc_kb" -v ds="$dec_s" -v dk="$dec_kb" \
    -v rs="$run_s" -v rk="$run_kb" -v us="$utf_s" -v uk="$utf_kb" 'BEGIN {
  printf "text: %d bytes; compressed Doc: %d bytes (%.1f%%)\n", size, doc, 100 * doc / size
  printf "encode --compress: %6.2f s  %6d kB peak  (%.0f MB/s)\n", es, ek, size / 1048576 / es
  printf "  with --utf8:      %6.2f s  %6d kB peak  (conversion %+.0f%%)\n", us, uk, 100 * (us - es) / es
  printf "decode:            %6.2f s  %6d kB peak  (%.0f MB/s)\n", ds, dk, size / 1048576 / ds
  printf "run (both tasks):  %6.2f s  %6d kB peak\n", rs, rk
  printf "run / (encode + decode): %.2f\n", rs / (es + ds)
}'
