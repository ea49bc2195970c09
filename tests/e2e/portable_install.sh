#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/install, as scripts/run uses it, into a throwaway home: the
# program lands stripped in the portable folder ($PACEBOOK_HOME), the log
# is made there (or copied from where an earlier scripts/run kept it, in
# build/app/) and never replaced, and it survives rm -rf of the build
# folder it was installed from. The real ~/Pacebook is never touched.
#
#   portable_install.sh SOURCE_DIR BUILD_DIR
#
# The build folder removed is a stand-in that installs through the real
# one's install rules, so the real build/ stays.
set -euo pipefail
src="${1:?usage: portable_install.sh SOURCE_DIR BUILD_DIR}"
real="${2:?usage: portable_install.sh SOURCE_DIR BUILD_DIR}"
work="$(mktemp -d "${TMPDIR:-/tmp}/pacebook-install.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" PACEBOOK_HOME="$work/home/Pacebook"
mkdir -p "$HOME"
fail() { echo "FAILED: $*"; exit 1; }
rows() { sqlite3 "$1" "SELECT group_concat(Time || ' ' || Type, ', ') FROM runlog"; }

# A build folder of its own, as after scripts/build, with a log an earlier
# scripts/run left in it.
stand_in() {
  rm -rf "$work/build"
  mkdir -p "$work/build/app"
  printf 'include("%s/cmake_install.cmake")\n' "$real" > "$work/build/cmake_install.cmake"
}
install() { PACEBOOK_BUILD_DIR="$work/build" "$src/scripts/install"; }

stand_in
"$real/logstore/pacebook-newlog" "$work/build/app/Run.mdb" >/dev/null
sqlite3 "$work/build/app/Run.mdb" "INSERT INTO runlog VALUES ('2024-05-01', 42, 'Long', 'from build')"
out="$(install)"
echo "$out"
log="$PACEBOOK_HOME/Run.mdb"
[[ $out == *"installed in $PACEBOOK_HOME"* && $out == *"Your log: $log"* ]] || fail "it does not say where: $out"
[ -x "$PACEBOOK_HOME/pacebook" ] && [ -x "$PACEBOOK_HOME/pacebook-newlog" ] || fail "the programs are not installed"
for program in pacebook pacebook-newlog; do
  if readelf -S "$PACEBOOK_HOME/$program" | grep -qE '\.symtab|\.debug_info'; then fail "$program is not stripped"; fi
done
[ "$(rows "$log")" = "42 Long" ] || fail "the log left in build/app/ was not taken along: $(rows "$log")"

# The log is the user's from now on: rm -rf build, a new build, install again.
sqlite3 "$log" "INSERT INTO runlog VALUES ('2024-05-02', 30, 'Tempo', 'in the portable folder')"
rm -rf "$work/build"
[ "$(rows "$log")" = "42 Long, 30 Tempo" ] || fail "the log did not survive rm -rf build"
[ -z "$(find "$PACEBOOK_HOME" -type l)" ] || fail "the portable folder links elsewhere"
stand_in
"$real/logstore/pacebook-newlog" "$work/build/app/Run.mdb" >/dev/null  # an empty one: must not win
out="$(install)"
[[ $out == *"Your log: $log"* ]] || fail "the second install does not name the log: $out"
[ "$(rows "$log")" = "42 Long, 30 Tempo" ] || fail "a second install replaced the log"

# A fresh home gets an empty log, made by the installed tool.
export PACEBOOK_HOME="$work/other home"
rm -f "$work/build/app/Run.mdb"
install >/dev/null
[ "$(sqlite3 "$PACEBOOK_HOME/Run.mdb" "SELECT count(*) FROM runlog")" = 0 ] || fail "no empty log in a fresh folder"
echo "passed"
