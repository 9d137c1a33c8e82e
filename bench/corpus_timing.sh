#!/usr/bin/env bash
# Times lum2doc on a large text against the codec's own speed in process:
# encode with one thread and with every core, decode, and a task-list run
# doing the same two conversions, with the peak memory of each. Decode is set
# against its floor, measured in the same run: the records decompressed in
# process plus one durable write (write, fsync, rename, fsync of the folder)
# of the same text, which every replacement of a file pays.
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

# Prints "seconds cpu_seconds peak_kB" for a command: over $repeat runs, the
# least wall time and the least processor time of all its threads (to the
# microsecond from perf where it runs, else /usr/bin/time in 10 ms steps),
# and the largest peak. On a busy machine the processor time is the figure to
# set against the codec's own.
if perf stat -e task-clock true >/dev/null 2>&1; then has_perf=1; else has_perf=0; fi
measure() {
  local best="" cpu_best="" peak=0 seconds cpu kb
  for _ in $(seq "$repeat"); do
    if [ "$has_perf" = 1 ]; then
      perf stat -e task-clock -o "$work/perf" /usr/bin/time -f "%M %e %U %S" -o "$work/time" "$@" >/dev/null
      cpu=$(awk '/task-clock/ { printf "%.4f", $1 / 1000 }' "$work/perf")
      seconds=$(awk '/seconds time elapsed/ { printf "%.4f", $1 }' "$work/perf")
    else
      /usr/bin/time -f "%M %e %U %S" -o "$work/time" "$@" >/dev/null
      cpu=$(tail -n 1 "$work/time" | awk '{ printf "%.4f", $3 + $4 }')
      seconds=$(tail -n 1 "$work/time" | awk '{ printf "%.4f", $2 }')
    fi
    kb=$(tail -n 1 "$work/time" | awk '{ print $1 }')
    if [ -z "$best" ] || awk -v s="$seconds" -v b="$best" 'BEGIN { exit !(s < b) }'; then best=$seconds; fi
    if [ -z "$cpu_best" ] || awk -v s="$cpu" -v b="$cpu_best" 'BEGIN { exit !(s < b) }'; then cpu_best=$cpu; fi
    [ "$kb" -gt "$peak" ] && peak=$kb
  done
  echo "$best $cpu_best $peak"
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
read -r enc_s enc_c enc_kb < <(measure "$lum2doc" encode --compress "${one[@]}" "$text" "$work/one.pdb")
read -r par_s par_c par_kb < <(measure "$lum2doc" encode --compress "${all[@]}" "$text" "$work/all.pdb")
cmp -s "$work/one.pdb" "$work/all.pdb" || cmp -s <(tail -c +45 "$work/one.pdb") <(tail -c +45 "$work/all.pdb") ||
  { echo "files written with 1 and $cores jobs differ" >&2; exit 1; }
# The same encode with the text converted to the Palm character set.
read -r utf_s utf_c utf_kb < <(measure "$lum2doc" encode --compress --utf8 "${all[@]}" "$text" "$work/utf8.pdb")
read -r dec_s dec_c dec_kb < <(measure "$lum2doc" decode "$work/one.pdb" "$work/one.txt")
floor_s=""
if [ -x "$build/bin/decode_floor" ]; then
  "$build/bin/decode_floor" "$work/one.pdb" "$work/floor.txt" "$repeat" > "$work/floor"
  floor_s=$(awk '$1 == "floor" { print $2 }' "$work/floor")
  decompress_s=$(awk '$1 == "decompress" { print $2 }' "$work/floor")
  decompress_c=$(awk '$1 == "decompress_cpu" { print $2 }' "$work/floor")
  durable_s=$(awk '$1 == "write_fsync_rename" { print $2 }' "$work/floor")
  cmp -s "$work/one.txt" "$work/floor.txt" || echo "note: the floor's text differs from lum2doc decode's"
else
  echo "note: no $build/bin/decode_floor (configure with -DLUM2_BUILD_BENCH=ON); decode has no floor"
fi
# The options that mark chapters and join wrapped lines, when this lum2doc has them.
if "$lum2doc" encode --help 2>&1 | grep -q -- --bookmarks && "$lum2doc" encode --help 2>&1 | grep -q -- --join-lines; then
  read -r bkm_s bkm_c bkm_kb < <(measure "$lum2doc" encode --compress --bookmarks --join-lines "${all[@]}" "$text" "$work/bookmarks.pdb")
else
  bkm_s=""
fi
# A text with CR LF line ends goes through the filters' copy before it is compressed.
sed 's/$/\r/' "$text" > "$work/crlf.txt"
truncate -s "$size" "$work/crlf.txt"
read -r crl_s crl_c crl_kb < <(measure "$lum2doc" encode --compress "${all[@]}" "$work/crlf.txt" "$work/crlf.pdb")
cmp -s "$text" "$work/one.txt" || echo "note: decode differs from the input (CR removed by the default filter)"

store=$work/store
mkdir -p "$store"
JPILOT_HOME=$work/nohome LUM2_HOTSYNC_ROOT= "$lum2doc" tasks add --dir "$store" --pc "$text" \
  --palm "$work/run.pdb" --direction pc-to-palm --options 100000 --install 1 >/dev/null
JPILOT_HOME=$work/nohome LUM2_HOTSYNC_ROOT= "$lum2doc" tasks add --dir "$store" --pc "$work/run.txt" \
  --palm "$work/run.pdb" --direction palm-to-pc --options 100000 --install 1 >/dev/null
# Each run starts from no outputs: a second run would skip the files it finds.
read -r run_s run_c run_kb < <(JPILOT_HOME=$work/nohome LUM2_HOTSYNC_ROOT= measure \
  sh -c 'rm -f "$1/run.pdb" "$1/run.txt" && exec "$2" run --dir "$3"' sh "$work" "$lum2doc" "$store")
cmp -s "$work/one.txt" "$work/run.txt" || { echo "run and decode disagree" >&2; exit 1; }

doc_size=$(stat -c %s "$work/one.pdb")
awk -v size="$size" -v doc="$doc_size" -v es="$enc_s" -v ec="$enc_c" -v ek="$enc_kb" \
    -v ps="$par_s" -v pc="$par_c" -v pk="$par_kb" -v ds="$dec_s" -v dc="$dec_c" -v dk="$dec_kb" \
    -v rs="$run_s" -v rc="$run_c" -v rk="$run_kb" -v us="$utf_s" -v uc="$utf_c" -v uk="$utf_kb" \
    -v cs="$crl_s" -v cc="$crl_c" -v ck="$crl_kb" -v bs="$bkm_s" -v bc="${bkm_c:-}" -v bk="${bkm_kb:-}" \
    -v fs="$floor_s" -v fd="${decompress_s:-}" -v fw="${durable_s:-}" -v fc="${decompress_c:-}" \
    -v cores="$cores" -v repeat="$repeat" 'BEGIN {
  mb = size / 1048576
  printf "text: %d bytes; compressed Doc: %d bytes (%.1f%%); best of %d runs\n", size, doc, 100 * doc / size, repeat
  printf "%-27s %8s %10s %8s %10s %9s\n", "", "wall s", "MB/s", "cpu s", "MB/cpu-s", "peak kB"
  line("encode --compress, 1 job", es, ec, ek)
  line("encode --compress, " cores " jobs", ps, pc, pk)
  line("  with --utf8", us, uc, uk)
  line("  CR LF text", cs, cc, ck)
  if (bs != "") line("  --bookmarks --join-lines", bs, bc, bk)
  line("decode", ds, dc, dk)
  line("run (both tasks)", rs, rc, rk)
  printf "encode, %d jobs / 1 job: %.2f times as fast\n", cores, es / ps
  printf "run / (encode + decode): %.2f\n", rs / (ps + ds)
  if (bs != "") printf "encode --bookmarks --join-lines / plain encode, %d jobs: %.2f\n", cores, bs / ps
  else print "encode --bookmarks --join-lines: skipped, this lum2doc encode does not list both options"
  if (fs != "") {
    printf "decode floor: %.3f s = decompress in process %.3f s + write, fsync, rename %.3f s\n", fs, fd, fw
    printf "decode / floor: %.2f (target: at most 1.25)\n", ds / fs
    printf "decode processor time / the codec alone: %.2f (%.3f s / %.3f s)\n", dc / fc, dc, fc
  }
}
function line(name, s, c, k) {
  printf "%-27s %8.3f %10.1f %8.3f %10.1f %9d\n", name, s, mb / s, c, mb / c, k
}'
