#!/usr/bin/env bash
# Kills lum2doc encode, decode and task-list runs at random moments over an
# existing output, many times, and checks that every output is the old file
# or the complete new one, that SIGINT and SIGTERM leave no temporary file,
# working file or spooled input behind, and that the next run removes what
# SIGKILL left.
#
# usage: tests/kill_test.sh BIN_DIR [ITERATIONS [LONGEST_WAIT_MS]]   (BIN_DIR holds lum2doc)
# The test command runs a short round; a longer wait reaches later moments
# of the runs (about a second for the 12 MB text on a quick machine).
set -u
bin=${1:?usage: $0 BIN_DIR [ITERATIONS [LONGEST_WAIT_MS]]}
iterations=${2:-200}
longest_wait=${3:-1500}
lum2doc=$(cd "$bin" && pwd)/lum2doc
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/tmp" "$work/out" "$work/home" "$work/base"
export TMPDIR=$work/tmp JPILOT_HOME=$work/home LUM2_HOTSYNC_ROOT=
# Background jobs of a script ignore SIGINT unless job control is on.
set -m

cp "$here/../docs/sample.txt" "$work/in.txt"
while [ "$(stat -c %s "$work/in.txt")" -lt 12000000 ]; do
    cat "$work/in.txt" "$work/in.txt" >"$work/twice.txt" && mv "$work/twice.txt" "$work/in.txt"
done
printf 'old text\n' >"$work/old.txt"
"$lum2doc" encode "$work/old.txt" "$work/old.pdb" || exit 1
"$lum2doc" encode --raw --compress "$work/in.txt" "$work/new.pdb" || exit 1
# A task whose text is filtered (Strip HTML) into lumfilter.tmp and built in
# lumdata.tmp, both in the base folder, before its Palm file is replaced.
"$lum2doc" tasks add --dir "$work/base" --pc "$work/in.txt" --palm "$work/out/run.pdb" \
    --direction pc-to-palm --options 1010000 --install 1 >/dev/null || exit 1
"$lum2doc" run --dir "$work/base" --answer yes >/dev/null || exit 1
"$lum2doc" decode "$work/out/run.pdb" "$work/run.txt" || exit 1

leftovers() {
    local temporary working
    temporary=$(find "$work/out" "$work/tmp" -mindepth 1 \( -name '.lum2-*' -o -name 'lum2doc.*' \) | wc -l)
    working=$(find "$work/base" -name 'lum*.tmp' | wc -l)
    echo $((temporary + working))
}

declare -A outcome
bad=0
kept=0
killed_left=0
for ((i = 1; i <= iterations; i++)); do
    signals=(KILL TERM INT)
    signal=${signals[RANDOM % 3]}
    before=$(leftovers)
    if ((RANDOM % 3 == 2)); then
        command=run
        out=$work/out/run.pdb
        cp "$work/old.pdb" "$out"
        "$lum2doc" run --dir "$work/base" --answer yes >/dev/null 2>&1 &
    elif ((RANDOM % 2)); then
        command=encode
        out=$work/out/book.pdb
        cp "$work/old.pdb" "$out"
        if ((RANDOM % 2)); then
            "$lum2doc" encode --raw --compress - "$out" <"$work/in.txt" 2>/dev/null &
        else
            "$lum2doc" encode --raw --compress "$work/in.txt" "$out" 2>/dev/null &
        fi
    else
        command=decode
        out=$work/out/book.txt
        cp "$work/old.txt" "$out"
        "$lum2doc" decode "$work/new.pdb" "$out" 2>/dev/null &
    fi
    pid=$!
    # From before the output exists to after a run would have ended.
    ms=$((RANDOM % longest_wait))
    sleep "$((ms / 1000)).$(printf '%03d' $((ms % 1000)))"
    kill -s "$signal" "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null

    if [ $command = encode ]; then
        if cmp -s "$out" "$work/old.pdb"; then result=old
        elif "$lum2doc" decode "$out" - 2>/dev/null | cmp -s - "$work/in.txt"; then result=new
        else result=BAD; fi
    elif [ $command = run ]; then
        if cmp -s "$out" "$work/old.pdb"; then result=old
        elif "$lum2doc" decode "$out" - 2>/dev/null | cmp -s - "$work/run.txt"; then result=new
        else result=BAD; fi
    else
        if cmp -s "$out" "$work/old.txt"; then result=old
        elif cmp -s "$out" "$work/in.txt"; then result=new
        else result=BAD; fi
    fi
    [ $result = BAD ] && bad=$((bad + 1))
    outcome[$command-$signal-$result]=$((${outcome[$command-$signal-$result]:-0} + 1))
    # Only SIGKILL may add leftovers; a run may remove those of earlier ones.
    if [ "$(leftovers)" -gt "$before" ]; then
        if [ "$signal" = KILL ]; then
            killed_left=$((killed_left + 1))
        else
            kept=$((kept + 1))
            echo "iteration $i: $command $signal left temporary files" >&2
        fi
    fi
done
before=$(leftovers)
"$lum2doc" encode --raw - "$work/out/book.pdb" <"$work/old.txt" || bad=$((bad + 1))
"$lum2doc" decode "$work/old.pdb" "$work/out/book.txt" || bad=$((bad + 1))
"$lum2doc" run --dir "$work/base" --answer yes >/dev/null || bad=$((bad + 1))
after=$(leftovers)

for key in $(printf '%s\n' "${!outcome[@]}" | sort); do printf '%-22s %d\n' "$key" "${outcome[$key]}"; done
echo "iterations: $iterations, damaged outputs: $bad, SIGINT/SIGTERM runs that left files: $kept"
echo "SIGKILL runs that left temporary files: $killed_left (removed by later runs of the same file)"
echo "temporary files left before the final runs: $before, after them: $after"
[ $bad -eq 0 ] && [ $kept -eq 0 ] && [ "$after" -eq 0 ]
