#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/install (as scripts/run uses it) into a throwaway home: the
# programs land stripped in $PACEBOOK_HOME, the log an earlier scripts/run
# left in build/app/ is taken along, and the log survives rm -rf of the build
# folder and a second install. The build folder removed is a stand-in that
# installs through the real one's rules. The real ~/Pacebook is never touched.
#
#   portable_install.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src="${1:?}" real="${2:?}"
work="$(mktemp -d "${TMPDIR:-/tmp}/pacebook-install.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/home/share" PACEBOOK_HOME="$work/home/Pacebook"
fail() { echo "FAILED: $*"; exit 1; }
rows() { sqlite3 "$PACEBOOK_HOME/Run.mdb" "SELECT group_concat(Time, ' ') FROM (SELECT Time FROM runlog ORDER BY rowid)"; }
install() {  # a fresh stand-in build folder with a log in build/app/, then scripts/install
  mkdir -p "$work/build/app"
  printf 'include("%s/cmake_install.cmake")\n' "$real" > "$work/build/cmake_install.cmake"
  "$real/logstore/pacebook-newlog" "$work/build/app/Run.mdb" >/dev/null
  sqlite3 "$work/build/app/Run.mdb" "INSERT INTO runlog (Time) VALUES ($1)"
  PACEBOOK_BUILD_DIR="$work/build" "$src/scripts/install"
}

out="$(install 42)"
[[ $out == *"installed in $PACEBOOK_HOME"* && $out == *"Your log: $PACEBOOK_HOME/Run.mdb"* ]] || fail "where? $out"
for program in pacebook pacebook-newlog; do
  readelf -S "$PACEBOOK_HOME/$program" | grep -qE '\.symtab|\.debug_info' && fail "$program is not stripped"
done
[ "$(rows)" = 42 ] || fail "the log in build/app/ was not taken along: $(rows)"
sqlite3 "$PACEBOOK_HOME/Run.mdb" "INSERT INTO runlog (Time) VALUES (30)"
rm -rf "$work/build"
[ "$(rows)" = "42 30" ] || fail "the log did not survive rm -rf build: $(rows)"
install 99 >/dev/null
[ "$(rows)" = "42 30" ] || fail "a second install replaced the log: $(rows)"
echo passed
