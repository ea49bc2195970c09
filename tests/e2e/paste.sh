#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End to end, in a real X server: pastes into every text box of the program
# (the entry form's details and type, a grid cell being edited, the query
# window's statement) with Ctrl+V, Shift+Insert and the middle button, while
# nothing was ever copied on the display, while the clipboard's owner has
# been killed, and while an owner offers no format at all. None may crash
# the program or change a box. Then a real paste still pastes, and one line
# of 10 MB is refused with a message instead of freezing the program.
#
#   paste.sh PACEBOOK PACEBOOK-NEWLOG CLIPBOARD-OWNER
#
# On failure (or with PACEBOOK_E2E_KEEP=1) it keeps the folder that holds a
# screenshot of every step and the program's output, and names it.
set -euo pipefail

pacebook="${1:?usage: paste.sh PACEBOOK PACEBOOK-NEWLOG CLIPBOARD-OWNER}"
newlog="${2:?usage: paste.sh PACEBOOK PACEBOOK-NEWLOG CLIPBOARD-OWNER}"
owner="${3:?usage: paste.sh PACEBOOK PACEBOOK-NEWLOG CLIPBOARD-OWNER}"

for tool in Xvfb xdotool xwininfo xprop import sqlite3 openbox; do
  command -v "$tool" >/dev/null || { echo "FAILED: $tool is not installed (scripts/setup installs it)"; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/pacebook-e2e-paste.XXXXXX")"
shots="$work/screenshots"
mkdir -p "$work/program" "$shots"
# shellcheck source=tests/e2e/xsession.sh
. "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"
# shellcheck source=tests/e2e/steps.sh
. "$(dirname "${BASH_SOURCE[0]}")/steps.sh"
owner_pid=""

finish() {
  owner_stop
  steps_finish
}
trap finish EXIT

alive() {  # the program still runs
  kill -0 "$app_pid" 2>/dev/null || { wait "$app_pid" || echo "pacebook ended with status $?"; app_pid=""; fail "pacebook ended: $1"; }
}

message_boxes() {  # every message box carries the program's title, like the main window
  echo $(($(xdotool search --onlyvisible --name '^Pacebook$' 2>/dev/null | wc -l) - 1))
}

# --- The clipboard's owner: a small X client of our own --------------------
owner_start() {  # owner_start ARGS...: an owner of the clipboard and the selection
  owner_stop
  rm -f "$work/owner.out"
  env -u QT_QPA_PLATFORM QT_QPA_PLATFORM=xcb "$owner" "$@" >"$work/owner.out" 2>"$work/owner.log" &
  owner_pid=$!
  local _
  for _ in $(seq 100); do
    grep -q ready "$work/owner.out" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "the clipboard owner did not start: $(cat "$work/owner.log")"
}

owner_stop() {  # kills the owner outright: what it owned is left without one
  if [ -n "$owner_pid" ]; then
    kill -KILL "$owner_pid" 2>/dev/null || true
    wait "$owner_pid" 2>/dev/null || true
    owner_pid=""
  fi
}

# paste_nothing WINDOW X Y: at a point of a text box (in pixels of the
# window's client area), pastes the selection with the middle button, then
# selects everything in the box (which makes the program the selection's
# owner) and pastes the clipboard with Ctrl+V and Shift+Insert; the program
# must live through it without a word.
paste_nothing() {
  xdotool mousemove 0 0  # a --sync move to where the pointer already is waits
  click_at "$1" "$2" "$3"
  xdotool click 2
  settle
  alive "the middle button"
  xdotool key ctrl+a ctrl+v
  settle
  alive "Ctrl+V"
  xdotool key shift+Insert
  settle
  alive "Shift+Insert"
  [ "$(message_boxes)" -eq 0 ] || fail "a message box is open"
}

# paste_nothing_everywhere WINDOW X Y: paste_nothing in each of the
# clipboard states named in $states: nothing ever copied (only before any
# owner ran), an owner killed, an owner that offers no format.
paste_nothing_everywhere() {
  local state
  for state in ${states}; do
    case "$state" in
      never) owner_stop ;;
      gone) owner_start text "gone"; owner_stop ;;
      nothing) owner_start nothing ;;
    esac
    paste_nothing "$@"
    owner_stop
  done
}

# --- A private X server and a program folder of our own ---------------------
x_start 1280 1024 openbox || { echo "FAILED: Xvfb did not start"; exit 1; }
cp "$pacebook" "$work/program/pacebook"
"$newlog" "$work/program/Run.mdb" >/dev/null
log="$work/program/Run.mdb"

begin "start pacebook; Logbook > Add Entry; Add New"
app_start "$work/program/pacebook"
main="$(wait_window Pacebook)" || fail "the main window did not open"
open_menu "$main" alt+l || fail "the Logbook menu did not open"
xdotool key Return
entry="$(wait_window runlog)" || fail "the entry form did not open"
settle
click_twips "$entry" 2880 4920 1452 300
settle
calendar_x=$(px 600) calendar_y=$(px 480) calendar_w=$(px 2652) calendar_h=$(px 1932)
click_at "$entry" $((calendar_x + calendar_w / 2)) $((calendar_y + calendar_h * 6 / 10))
slide_to "$entry" 1440 2640 2172 372 6 1
settle
slide_to "$entry" 1440 3120 3972 408 59 30
settle
before="$(shown_windows)"
click_at "$entry" $(( $(px 4920) + $(px 1932) - 8 )) $(( $(px 2160) + $(px 288) / 2 ))
wait_popup "$before" || fail "the list of types did not open"
xdotool type --delay 40 "Long"
xdotool key Return
settle
click_twips "$entry" 4920 1200 2172 612
xdotool type --delay 20 "kept"
settle
shot "entry"

# Nothing was ever copied on this display: the first round has that too.
states="never gone nothing"
begin "paste nothing into the details box"
paste_nothing_everywhere "$entry" "$(px 5400)" "$(px 1400)"
# From here the program has owned the selection (Ctrl+A took it): a state
# of nothing ever copied cannot come back.
states="gone nothing"
begin "paste nothing into the type box"
paste_nothing_everywhere "$entry" $(( $(px 4920) + 20 )) $(( $(px 2160) + $(px 288) / 2 ))

begin "a real paste still pastes; ACCEPT"
owner_start text ", pasted"
click_twips "$entry" 4920 1200 2172 612
xdotool key ctrl+End ctrl+v
settle
owner_stop
shot "pasted"
shown_calendar="$(region "$entry" "$calendar_x" "$calendar_y" "$calendar_w" "$calendar_h")"
click_twips "$entry" 5400 2640 1212 372
wait_region_change "$entry" "$calendar_x" "$calendar_y" "$calendar_w" "$calendar_h" "$shown_calendar" ||
  fail "the entry was not accepted"
[ "$(sqlite3 "$log" 'SELECT Type || "|" || Description FROM runlog')" = "Long|kept, pasted" ] ||
  fail "the log holds '$(sqlite3 "$log" 'SELECT Type || "|" || Description FROM runlog')'"

begin "View Entire Log; paste nothing into a cell being edited"
click_twips "$entry" 4800 4920 1452 300
grid="$(wait_window 'runlog Grid')" || fail "the grid window did not open"
settle
# The first row's details cell, right of the heading row.
cell_x=$(( $(client_width "$grid") * 3 / 4 )) cell_y=$(( $(px 330) + 24 ))
xdotool mousemove --sync $(( $(origin "$grid" | cut -d' ' -f1) + cell_x )) $(( $(origin "$grid" | cut -d' ' -f2) + cell_y ))
xdotool click --repeat 2 --delay 80 1
settle
shot "cell"
for state in ${states}; do
  case "$state" in
    gone) owner_start text "gone"; owner_stop ;;
    nothing) owner_start nothing ;;
  esac
  xdotool key ctrl+a ctrl+v
  settle
  alive "Ctrl+V in a cell"
  xdotool key shift+Insert
  settle
  alive "Shift+Insert in a cell"
  owner_stop
done
xdotool key Return  # the cell as it was: nothing to store
settle
[ "$(message_boxes)" -eq 0 ] || fail "a message box is open"
[ "$(sqlite3 "$log" 'SELECT Description FROM runlog')" = "kept, pasted" ] ||
  fail "the cell was changed to '$(sqlite3 "$log" 'SELECT Description FROM runlog')'"

begin "Logbook > View Log; paste nothing into the statement"
open_menu "$main" alt+l || fail "the Logbook menu did not open"
xdotool key Down Return
query="$(wait_window 'Log Entries')" || fail "the query window did not open"
settle
click_twips "$query" 2880 2880 1932 492  # "I'll enter my own SQL query"
settle
click_twips "$query" 0 120 4931 600
xdotool type --delay 20 "select 1"
paste_nothing_everywhere "$query" "$(px 2400)" "$(px 400)"
shot "statement"

begin "a statement of 10 MB on one line is refused with a message"
owner_start line 10000000
click_twips "$query" 0 120 4931 600
pasted_at=$SECONDS
xdotool key ctrl+v
deadline=$((SECONDS + 30))
while [ "$(message_boxes)" -lt 1 ] && [ $SECONDS -lt "$deadline" ]; do alive "the long paste"; sleep 0.1; done
[ "$(message_boxes)" -eq 1 ] || fail "no message after a paste of 10 MB"
echo "  refused after $((SECONDS - pasted_at)) s"
shot "refused"
xdotool key Return
settle
[ "$(message_boxes)" -eq 0 ] || fail "the message did not close"
owner_stop
alive "the long paste"

begin "File > Exit"
app_exit "$main" || fail "$exit_failure"
[ "$(sqlite3 "$log" 'SELECT count(*) || "|" || Time || "|" || Description FROM runlog')" = "1|90|kept, pasted" ] ||
  fail "the log holds '$(sqlite3 "$log" 'SELECT * FROM runlog')'"

passed=1
echo "PASSED in $SECONDS s"
