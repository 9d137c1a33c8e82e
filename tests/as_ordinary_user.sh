#!/bin/sh
# Runs a test program as a throw-away user. Run by root (as CI runs the
# suites), the checks that bind only an ordinary user (modes, read-only
# files, files of other users) would otherwise never run; run by a user, the
# suite's own run has covered them, so this one is skipped (exit 77).
set -eu
[ "$(id -u)" -eq 0 ] || { echo "not root: the suite's own run was the ordinary user's"; exit 77; }
command -v setpriv >/dev/null || { echo "no setpriv"; exit 77; }
uid=${LUM2_TEST_UID:-54321}
as_user() { setpriv --reuid="$uid" --regid="$uid" --clear-groups -- "$@"; }
# A build inside a folder only root may enter cannot be run by anyone else.
as_user test -x "$1" || { echo "uid $uid cannot reach $1"; exit 77; }
home=$(mktemp -d)
chown "$uid:$uid" "$home"
status=0
# The suite dies with this script (ctest's timeout ends only the script), and
# the suite's children die with the suite.
env HOME="$home" USER=lum2test LOGNAME=lum2test TMPDIR=/tmp \
  setpriv --reuid="$uid" --regid="$uid" --clear-groups --pdeathsig KILL -- "$@" || status=$?
rm -rf "$home"
exit "$status"
