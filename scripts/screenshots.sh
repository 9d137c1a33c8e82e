#!/usr/bin/env bash
# screenshots.sh [BUILD]: takes the README's and the user's guide's pictures of
# the desktop program from the real lum2 in BUILD/bin (default: build/),
# started under xvfb-run in a throw-away home with a few example tasks: docs/
# and help/ main-window.png and tray-menu.png at scale 1, and
# docs/main-window@2x.png at QT_SCALE_FACTOR=2. It builds nothing. It uses
# the Debian packages xvfb, imagemagick and x11-utils (xvfb-run, import,
# xwininfo), and trayer and xdotool for the tray and its menu, and installs
# those that are missing.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
bin=$build/bin
# The tools come from Debian's packages, installed when missing as
# install-deps.sh installs the build's.
missing=()
for package in xvfb xauth imagemagick x11-utils trayer xdotool; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    as_root=()
    if [[ $(id -u) -ne 0 ]]; then
        command -v sudo >/dev/null || { echo "screenshots.sh: run as root or install sudo: missing ${missing[*]}" >&2; exit 1; }
        as_root=(sudo)
    fi
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 update
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y \
        --no-install-recommends "${missing[@]}"
fi
if [[ ! -x $bin/lum2 || ! -x $bin/lum2doc ]]; then
    echo "screenshots.sh: no lum2 and lum2doc in $bin: build them first" >&2
    exit 1
fi

# A folder of a fixed name, so that the paths the pictures show stay the same
# from one run to the next.
scratch=${TMPDIR:-/tmp}/lum2-screenshots
rm -rf "$scratch"
mkdir -m 0700 "$scratch"
trap 'rm -rf "$scratch"' EXIT
home=$scratch/home
base=$home/lum2
books=$home/books
hotsync=$scratch/hotsync
mkdir -p "$home/.jpilot/backup" "$books" "$hotsync/Anna Berg/backup" "$hotsync/Travel/backup"
touch "$hotsync/Travel/profile"
echo "user Jay" >"$home/.jpilot/jpilot.rc"
mkdir -m 0700 "$scratch/run"

export HOME=$home JPILOT_HOME=$home LUM2_HOTSYNC_ROOT=$hotsync XDG_RUNTIME_DIR=$scratch/run
export LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC
unset QT_SCALE_FACTOR QT_QPA_PLATFORM

# The example books, and a Palm file for the task that reads one back.
printf 'Chapter 1\n\nIt was a dark and stormy night.\n' >"$books/novel.txt"
printf 'Shopping\n\tmilk\n\tbread\n' >"$books/notes.txt"
printf '<html><body><h1>Pancakes</h1><p>Flour, milk and eggs.</p></body></html>\n' >"$books/pancakes.html"
printf 'Soups\n\nLentil, onion, tomato.\n' >"$scratch/recipes.txt"
"$bin/lum2doc" encode --compress "$scratch/recipes.txt" "$home/.jpilot/backup/recipes.pdb"
# A fixed time, for the file facts the editor shows.
touch -d '2026-03-14 10:22:05' "$books"/*

# Targets: 0 Jay (J-Pilot), 1 Anna Berg, 2 Travel - Profile, 3 Custom.
add() { "$bin/lum2doc" tasks add --dir "$base" "$@" >/dev/null; }
add --pc "$books/novel.txt" --palm novel.pdb --direction pc-to-palm --options 1100001 --tabs 4 --install 1100
add --pc "$books/notes.txt" --palm notes.pdb --direction sync --options 1100001 --tabs 4 --install 0100
add --pc "$books/recipes.txt" --palm recipes.pdb --direction palm-to-pc --options 1000001 --install 1000
add --pc "$books/pancakes.html" --palm "$books/Pancakes.pdb" --direction pc-to-palm --options 1010001 --install 0001
# A book as Project Gutenberg writes one: chapters, paragraphs wrapped at 70.
python3 - "$books/voyage.txt" <<'BOOK'
import sys, textwrap
chapters = ["The Harbour", "Open Water", "The Storm", "Landfall", "Home Again"]
sentence = ("The ship left the harbour at first light, and the crew watched the town grow small behind "
            "them while the gulls turned over the grey water. ")
out = ["THE VOYAGE", "", "by A. Sailor", ""]
for n, title in enumerate(chapters, 1):
    out += ["", "CHAPTER %s. %s" % (["I", "II", "III", "IV", "V"][n - 1], title.upper()), ""]
    for _ in range(3):
        out += textwrap.wrap(sentence * 4, 70) + [""]
open(sys.argv[1], "w").write("\n".join(out))
BOOK
add --pc "$books/voyage.txt" --palm "$books/Voyage.pdb" --direction pc-to-palm --options 110000111 --install 0001
"$bin/lum2doc" run --dir "$base" --answer yes >/dev/null

# Run inside the X server: starts a tray and lum2 at the scale, waits for the
# window to be drawn and takes it, or with "tray" opens the tray menu and
# takes the screen's lower right corner; then ends what it started.
cat >"$scratch/take.sh" <<'TAKE'
#!/usr/bin/env bash
set -euo pipefail
bin=$1 base=$2 scale=$3 out=$4 what=$5
trayer --edge bottom --align right --widthtype request --height 24 --SetDockType true >/dev/null 2>&1 &
tray=$!
sleep 1
(cd "$base" && QT_SCALE_FACTOR=$scale exec "$bin/lum2") &
lum2=$!
window=
for _ in $(seq 50); do
    window=$(xwininfo -root -tree 2>/dev/null | awk '/"LUM2 V[^"]*"/ { print $1; exit }')
    [[ -n $window ]] && break
    sleep 0.2
done
sleep 2
status=0
if [[ -z $window ]]; then
    echo "screenshots.sh: lum2 showed no window" >&2
    status=1
elif [[ $what == tray ]]; then
    # The tray holds lum2's icon alone: a right click in its middle opens the menu.
    geometry=$(xwininfo -name panel)
    x=$(awk '/Absolute upper-left X/ { print $NF }' <<<"$geometry")
    y=$(awk '/Absolute upper-left Y/ { print $NF }' <<<"$geometry")
    w=$(awk '/Width:/ { print $NF }' <<<"$geometry")
    h=$(awk '/Height:/ { print $NF }' <<<"$geometry")
    xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 3
    sleep 1
    import -window root -crop 560x300+464+300 +repage "$out"
elif [[ $what == preview ]]; then
    # The last task's row (the fifth, rows of 18 pixels under the header):
    # a click selects it, a right click opens the list's menu, whose one
    # entry is Preview.
    xdotool mousemove --window "$window" 60 109 click 1
    sleep 0.5
    xdotool click 3
    sleep 0.5
    xdotool key Down key Return
    preview=
    for _ in $(seq 25); do
        preview=$(xwininfo -root -tree 2>/dev/null | awk '/ - Preview"/ { print $1; exit }')
        [[ -n $preview ]] && break
        sleep 0.2
    done
    if [[ -z $preview ]]; then
        echo "screenshots.sh: lum2 showed no preview" >&2
        status=1
    else
        sleep 1
        # The third bookmark (rows of 14 pixels) brings its chapter up.
        xdotool mousemove --window "$preview" 40 46 click 1
        sleep 1
        import -window "$preview" "$out"
    fi
else
    import -window "$window" "$out"
fi
kill "$lum2" "$tray" 2>/dev/null || true
wait "$lum2" "$tray" 2>/dev/null || true
exit $status
TAKE
chmod +x "$scratch/take.sh"

shoot() { # scale, screen size, picture, what
    xvfb-run -a -s "-screen 0 ${2}x24" "$scratch/take.sh" "$bin" "$base" "$1" "$scratch/shot.png" "$4"
    cp "$scratch/shot.png" "$root/docs/$3"
    echo "docs/$3: $(identify -format '%wx%h' "$root/docs/$3")"
}
shoot 1 1024x600 main-window.png window
shoot 1 1024x600 tray-menu.png tray
shoot 2 2048x1200 main-window@2x.png window
shoot 1 1024x600 preview.png preview
for picture in main-window.png tray-menu.png preview.png; do cp "$root/docs/$picture" "$root/help/$picture"; done
