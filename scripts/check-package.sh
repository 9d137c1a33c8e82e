#!/usr/bin/env bash
# Makes the Debian package from a build (scripts/test.sh passes its release
# build) and holds it to what Debian asks of it: lintian, desktop-file-validate
# and appstreamcli find nothing to complain about, the man pages render without
# warnings and name every option lum2doc and lum2 take, the bash completion
# offers them, and the installed programs find their library and convert.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
export LANG=C.UTF-8 LC_ALL=C.UTF-8

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

rm -f "$build"/lum2_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log"; exit 1; }
deb=$(echo "$build"/lum2_*.deb)
version=$(dpkg-deb -f "$deb" Version)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root/pkg"
pkg=$root/pkg

echo "-- lintian"
# lintian says on standard error that it runs as root (CI does); that is no finding.
lintian --fail-on error,warning "$deb" 2> >(grep -v "running with root privileges" >&2) || fail "lintian"

echo "-- desktop-file-validate, appstreamcli"
out=$(desktop-file-validate "$pkg/usr/share/applications/lum2.desktop" 2>&1) || true
[ -z "$out" ] || fail "desktop-file-validate: $out"
# The tree, not the file alone: the metadata's desktop entry must be there too.
appstreamcli validate-tree --no-net "$pkg" || fail "appstreamcli"

echo "-- man pages"
for page in "$pkg"/usr/share/man/man1/*.1.gz; do
  out=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man $page"
  [ -z "$out" ] || fail "man warnings in $(basename "$page"): $out"
  MANWIDTH=200 man -l "$page" 2>/dev/null | col -b >"$root/$(basename "$page" .1.gz).txt"
done

echo "-- bash completion"
completion=$pkg/usr/share/bash-completion/completions/lum2doc
completions() { # WORDS...: what completing the last word offers
  (cd "$root/files" && bash -c 'source /usr/share/bash-completion/bash_completion; source "$0"
           COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
           _lum2doc lum2doc "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
           printf "%s " $(printf "%s\n" "${COMPREPLY[@]}" | sort)' "$completion" "$@")
}
mkdir "$root/files" && touch "$root/files/"{book.pdb,notes.txt}

# Every option the programs print in their help is in the man page, and each
# of lum2doc's is completed after its command.
documented() { # TEXTFILE OPTION...
  local file=$1 option
  shift
  for option in "$@"; do
    grep -qF -- "$option" "$file" || fail "$option is missing from $(basename "$file")"
  done
}
options_of() { grep -oE -- '(^|[ [|])--[a-z0-9][a-z0-9-]*' | grep -oE -- '--[a-z0-9-]+' | sort -u; }
for command in "" encode decode info tasks targets run; do
  mapfile -t options < <("$pkg/usr/bin/lum2doc" $command --help | options_of)
  documented "$root/lum2doc.txt" "${options[@]}" ${command:+"lum2doc $command"}
  [ -n "$command" ] || continue
  offered=" $(completions lum2doc "$command" --)"
  for option in "${options[@]}"; do
    [[ $offered == *" $option "* ]] || fail "completing 'lum2doc $command --' does not offer $option"
  done
done
mapfile -t options < <("$pkg/usr/bin/lum2" --help | options_of)
documented "$root/lum2.txt" "${options[@]}" -s -c
check_completion() { # EXPECTED WORDS...
  local expected=$1 got
  shift
  got=$(completions "$@")
  [ "$got" = "$expected" ] || fail "completing '$*' offered '$got', not '$expected'"
}
check_completion "--help --version decode encode info run targets tasks " lum2doc ""
check_completion "book.pdb " lum2doc decode ""
check_completion "book.pdb notes.txt " lum2doc decode book.pdb ""
check_completion "book.pdb " lum2doc info ""
check_completion "book.pdb notes.txt " lum2doc encode ""
check_completion "palm-to-pc pc-to-palm " lum2doc tasks add --direction p
check_completion "--answer --dir --help " lum2doc run --

echo "-- the installed programs"
# Nothing of the build is beside them: the library comes from the package's
# folder, found from the program's own place.
[ "$("$pkg/usr/bin/lum2doc" --version)" = "lum2doc $version" ] || fail "lum2doc --version"
[ "$("$pkg/usr/bin/lum2" --version)" = "lum2 $version" ] || fail "lum2 --version"
printf 'A text\twith a TAB\n%.0s' {1..400} >"$root/in.txt"
if "$pkg/usr/bin/lum2doc" encode --compress "$root/in.txt" "$root/in.pdb" &&
  "$pkg/usr/bin/lum2doc" decode "$root/in.pdb" "$root/out.txt"; then
  cmp -s "$root/in.txt" "$root/out.txt" || fail "the packaged lum2doc's round trip changed the text"
else
  fail "the packaged lum2doc cannot convert"
fi

if [ "$failures" -ne 0 ]; then
  echo "Package check: $failures failures" >&2
  exit 1
fi
echo "Package check passed: $(basename "$deb")"
