#!/usr/bin/env bash
# Kills lum2doc encode (of a file and of standard input), decode and
# task-list runs over an existing output, each with SIGKILL, SIGTERM and
# SIGINT in turn at random moments, and checks that every output is the old file
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
program=$(cd "$bin" && pwd)/lum2doc
here=$(cd "$(dirname "$0")" && pwd)
# Each run ends within a minute, well above any normal one: a run that hangs
# is killed with what it started, even after this script was killed.
limit=60
lum2doc() { timeout -s KILL "$limit" "$program" "$@"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/tmp" "$work/out" "$work/home" "$work/base"
export TMPDIR=$work/tmp JPILOT_HOME=$work/home LUM2_HOTSYNC_ROOT=
# Background jobs of a script ignore SIGINT unless job control is on, which
# also gives each its own process group.
set -m

cp "$here/../docs/sample.txt" "$work/in.txt"
while [ "$(stat -c %s "$work/in.txt")" -lt 12000000 ]; do
    cat "$work/in.txt" "$work/in.txt" >"$work/twice.txt" && mv "$work/twice.txt" "$work/in.txt"
done
printf 'old text\n' >"$work/old.txt"
lum2doc encode "$work/old.txt" "$work/old.pdb" || exit 1
lum2doc encode --raw --compress "$work/in.txt" "$work/new.pdb" || exit 1
# A task whose text is filtered (Strip HTML) into lumfilter.tmp and built in
# lumdata.tmp, both in the base folder, before its Palm file is replaced.
lum2doc tasks add --dir "$work/base" --pc "$work/in.txt" --palm "$work/out/run.pdb" \
    --direction pc-to-palm --options 1010000 --install 1 >/dev/null || exit 1
lum2doc run --dir "$work/base" --answer yes >/dev/null || exit 1
lum2doc decode "$work/out/run.pdb" "$work/run.txt" || exit 1

leftovers() {
    local temporary working
    temporary=$(find "$work/out" "$work/tmp" -mindepth 1 \( -name '.lum2-*' -o -name 'lum2doc.*' \) | wc -l)
    working=$(find "$work/base" -name 'lum*.tmp' | wc -l)
    echo $((temporary + working))
}

# Waits for the background run $1; past the time limit its process group is
# killed, by a watchdog that outlives this script.
wait_for_run() {
    (sleep "$limit"; kill -s KILL -- "-$1") >/dev/null 2>&1 &
    local watchdog=$!
    wait "$1" 2>/dev/null
    kill -s KILL -- "-$watchdog" 2>/dev/null
    wait "$watchdog" 2>/dev/null
}

declare -A outcome
bad=0
kept=0
killed_left=0
signals=(KILL TERM INT)
kinds=(run encode-stdin encode-file decode)
for ((i = 0; i < iterations; i++)); do
    # Every pair of a kind of run and a signal in turn, at a random moment.
    signal=${signals[i % 3]}
    kind=${kinds[i / 3 % 4]}
    before=$(leftovers)
    old=$work/old.pdb
    expected=$work/in.txt
    case $kind in
    run) out=$work/out/run.pdb expected=$work/run.txt ;;
    decode) out=$work/out/book.txt old=$work/old.txt ;;
    *) out=$work/out/book.pdb ;;
    esac
    cp "$old" "$out"
    case $kind in
    run) "$program" run --dir "$work/base" --answer yes >/dev/null 2>&1 & ;;
    encode-stdin) "$program" encode --raw --compress - "$out" <"$work/in.txt" 2>/dev/null & ;;
    encode-file) "$program" encode --raw --compress "$work/in.txt" "$out" 2>/dev/null & ;;
    decode) "$program" decode "$work/new.pdb" "$out" 2>/dev/null & ;;
    esac
    pid=$!
    # From before the output exists to after a run would have ended.
    ms=$((RANDOM % longest_wait))
    sleep "$((ms / 1000)).$(printf '%03d' $((ms % 1000)))"
    kill -s "$signal" "$pid" 2>/dev/null
    wait_for_run "$pid"
    # Counted before the check below runs lum2doc, which sweeps the temp folder.
    left=$(leftovers)

    if cmp -s "$out" "$old"; then result=old
    elif [ $kind = decode ] && cmp -s "$out" "$expected"; then result=new
    elif [ $kind != decode ] && lum2doc decode "$out" - 2>/dev/null | cmp -s - "$expected"; then result=new
    else result=BAD; bad=$((bad + 1)); fi
    outcome[$kind-$signal-$result]=$((${outcome[$kind-$signal-$result]:-0} + 1))
    # Only SIGKILL may add leftovers; a run may remove those of earlier ones.
    if [ "$left" -gt "$before" ]; then
        if [ "$signal" = KILL ]; then
            killed_left=$((killed_left + 1))
        else
            kept=$((kept + 1))
            echo "iteration $i: $kind $signal left temporary files" >&2
        fi
    fi
done
before=$(leftovers)
lum2doc encode --raw - "$work/out/book.pdb" <"$work/old.txt" || bad=$((bad + 1))
lum2doc decode "$work/old.pdb" "$work/out/book.txt" || bad=$((bad + 1))
lum2doc run --dir "$work/base" --answer yes >/dev/null || bad=$((bad + 1))
after=$(leftovers)

for key in $(printf '%s\n' "${!outcome[@]}" | sort); do printf '%-22s %d\n' "$key" "${outcome[$key]}"; done
echo "iterations: $iterations, damaged outputs: $bad, SIGINT/SIGTERM runs that left files: $kept"
echo "SIGKILL runs that left temporary files: $killed_left (removed by later runs of the same file)"
echo "temporary files left before the final runs: $before, after them: $after"
[ $bad -eq 0 ] && [ $kept -eq 0 ] && [ "$after" -eq 0 ]
