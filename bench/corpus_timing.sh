#!/usr/bin/env bash
# Times lum2doc on a large text against the codec's own speed in process:
# encode with one thread and with every core, decode, and a task-list run
# doing the same two conversions, with the peak memory of each.
# Usage: bench/corpus_timing.sh [BUILD_DIR] [MEGABYTES] [TEXT_FILE]
# Without TEXT_FILE an English-like text is made from the license texts of
# /usr/share/common-licenses, repeated to the size asked for.
# REPEAT=N (default 3) runs every command N times and keeps the fastest run,
# since other work on the machine makes a single run noisy.
set -euo pipefail
build=${1:-build}
megabytes=${2:-100}
repeat=${REPEAT:-3}
lum2doc=$(realpath "$build/bin/lum2doc")
cores=$(nproc)
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

# Prints "seconds peak_kB" for a command: the fastest of $repeat runs (timed
# to the nanosecond; /usr/bin/time's 10 ms steps are too coarse here) and the
# largest peak.
measure() {
  local best="" peak=0 start end seconds kb
  for _ in $(seq "$repeat"); do
    start=$(date +%s%N)
    /usr/bin/time -f "%M" -o "$work/time" "$@" >/dev/null
    end=$(date +%s%N)
    seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')
    kb=$(tail -n 1 "$work/time")
    if [ -z "$best" ] || awk -v s="$seconds" -v b="$best" 'BEGIN { exit !(s < b) }'; then best=$seconds; fi
    [ "$kb" -gt "$peak" ] && peak=$kb
  done
  echo "$best $peak"
}

# The codec alone, through the shared library as the programs load it.
if [ -x "$build/bin/codec_api_bench" ]; then
  "$build/bin/codec_api_bench" "$text"
fi

# A build without --jobs compresses on one thread only.
if "$lum2doc" encode --help 2>&1 | grep -q -- --jobs; then
  one=(--jobs 1)
  all=(--jobs "$cores")
else
  echo "note: this lum2doc has no --jobs; both encodes run on one thread"
  one=()
  all=()
fi
read -r enc_s enc_kb < <(measure "$lum2doc" encode --compress "${one[@]}" "$text" "$work/one.pdb")
read -r par_s par_kb < <(measure "$lum2doc" encode --compress "${all[@]}" "$text" "$work/all.pdb")
cmp -s "$work/one.pdb" "$work/all.pdb" || cmp -s <(tail -c +45 "$work/one.pdb") <(tail -c +45 "$work/all.pdb") ||
  { echo "files written with 1 and $cores jobs differ" >&2; exit 1; }
# The same encode with the text converted to the Palm character set.
read -r utf_s utf_kb < <(measure "$lum2doc" encode --compress --utf8 "${all[@]}" "$text" "$work/utf8.pdb")
read -r dec_s dec_kb < <(measure "$lum2doc" decode "$work/one.pdb" "$work/one.txt")
cmp -s "$text" "$work/one.txt" || echo "note: decode differs from the input (CR removed by the default filter)"

store=$work/store
mkdir -p "$store"
JPILOT_HOME=$work/nohome LUM2_HOTSYNC_ROOT= "$lum2doc" tasks add --dir "$store" --pc "$text" \
  --palm "$work/run.pdb" --direction pc-to-palm --options 100000 --install 1 >/dev/null
JPILOT_HOME=$work/nohome LUM2_HOTSYNC_ROOT= "$lum2doc" tasks add --dir "$store" --pc "$work/run.txt" \
  --palm "$work/run.pdb" --direction palm-to-pc --options 100000 --install 1 >/dev/null
# Each run starts from no outputs: a second run would skip the files it finds.
read -r run_s run_kb < <(JPILOT_HOME=$work/nohome LUM2_HOTSYNC_ROOT= measure \
  sh -c 'rm -f "$1/run.pdb" "$1/run.txt" && exec "$2" run --dir "$3"' sh "$work" "$lum2doc" "$store")
cmp -s "$work/one.txt" "$work/run.txt" || { echo "run and decode disagree" >&2; exit 1; }

doc_size=$(stat -c %s "$work/one.pdb")
awk -v size="$size" -v doc="$doc_size" -v es="$enc_s" -v ek="$enc_kb" -v ps="$par_s" -v pk="$par_kb" \
    -v ds="$dec_s" -v dk="$dec_kb" -v rs="$run_s" -v rk="$run_kb" -v us="$utf_s" -v uk="$utf_kb" \
    -v cores="$cores" -v repeat="$repeat" 'BEGIN {
  mb = size / 1048576
  printf "text: %d bytes; compressed Doc: %d bytes (%.1f%%); best of %d runs\n", size, doc, 100 * doc / size, repeat
  printf "encode --compress, 1 job:  %7.3f s  %7d kB peak  (%.1f MB/s)\n", es, ek, mb / es
  printf "encode --compress, %d jobs: %7.3f s  %7d kB peak  (%.1f MB/s, %.2f times 1 job)\n", cores, ps, pk, mb / ps, es / ps
  printf "  with --utf8:              %7.3f s  %7d kB peak  (conversion %+.0f%%)\n", us, uk, 100 * (us - ps) / ps
  printf "decode:                    %7.3f s  %7d kB peak  (%.1f MB/s)\n", ds, dk, mb / ds
  printf "run (both tasks):          %7.3f s  %7d kB peak\n", rs, rk
  printf "run / (encode + decode): %.2f\n", rs / (ps + ds)
}'
