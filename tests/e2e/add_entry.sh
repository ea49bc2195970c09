#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End to end, in a real X server: starts pacebook on an empty log under Xvfb
# and works it only through the X server, as a user would: "Add Entry" from
# the Logbook menu, "Add New", a day on the calendar, 1 on the hours slider
# and 30 on the minutes slider, "Long", a description, "ACCEPT", "View
# Entire Log", a click on the "Time (minutes)" heading, and "Exit". Then the
# log must hold exactly that run, 90 minutes long, and the settings file the
# main window's place and size.
#
#   add_entry.sh PACEBOOK PACEBOOK-NEWLOG
#
# Exits 77 (skipped) only when Xvfb or xdotool is not installed. On failure
# (or with PACEBOOK_E2E_KEEP=1) it keeps the folder that holds a screenshot
# of every step and the program's output, and names it.
set -euo pipefail

pacebook="${1:?usage: add_entry.sh PACEBOOK PACEBOOK-NEWLOG}"
newlog="${2:?usage: add_entry.sh PACEBOOK PACEBOOK-NEWLOG}"

for tool in Xvfb xdotool xwininfo import sqlite3; do
  command -v "$tool" >/dev/null || { echo "FAILED: $tool is not installed (scripts/setup installs it)"; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/pacebook-e2e.XXXXXX")"
shots="$work/screenshots"
mkdir -p "$work/program" "$shots"
# shellcheck source=tests/e2e/xsession.sh
. "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"
# shellcheck source=tests/e2e/steps.sh
. "$(dirname "${BASH_SOURCE[0]}")/steps.sh"
trap steps_finish EXIT

no_message_box() {  # every message box carries the program's title, like the main window
  local n
  n="$(xdotool search --onlyvisible --name '^Pacebook$' 2>/dev/null | wc -l)"
  [ "$n" -le 1 ] || fail "a message box is open"
}

# --- A private X server and a program folder of our own ---------------------
x_start 1280 1024 || { echo "FAILED: Xvfb did not start"; exit 1; }
cp "$pacebook" "$work/program/pacebook"
"$newlog" "$work/program/Run.mdb" >/dev/null
log="$work/program/Run.mdb"
settings="$work/home/.config/Pacebook/Pacebook.ini"

# --- The user's session ----------------------------------------------------
begin "start pacebook on an empty log"
app_start "$work/program/pacebook"
main="$(wait_window Pacebook)" || fail "the main window did not open"
shot "main-window"

begin "Logbook > Add Entry"
open_menu "$main" alt+l || fail "the Logbook menu did not open"
xdotool key Return  # the menu opens on its first item, "Add Entry"
entry="$(wait_window runlog)" || fail "the entry form did not open"
entry_width="$(client_width "$entry")"
[ "$entry_width" -eq "$(px 7428)" ] ||
  fail "the entry form is $entry_width pixels wide, not $(px 7428): the screen is not at $dpi DPI"
settle
shot "entry-form"
no_message_box

begin "Add New"
calendar_x=$(px 600) calendar_y=$(px 480) calendar_w=$(px 2652) calendar_h=$(px 1932)
hidden_calendar="$(region "$entry" "$calendar_x" "$calendar_y" "$calendar_w" "$calendar_h")"
click_twips "$entry" 2880 4920 1452 300
wait_region_change "$entry" "$calendar_x" "$calendar_y" "$calendar_w" "$calendar_h" "$hidden_calendar" ||
  fail "the calendar did not appear"
settle
shot "adding"
no_message_box

begin "a day on the calendar"
# Rows three and four of the month grid always hold days of the month shown.
click_at "$entry" $((calendar_x + calendar_w / 2)) $((calendar_y + calendar_h * 6 / 10))
settle
no_message_box

begin "hours slider to 1, minutes slider to 30"
slide_to "$entry" 1440 2640 2172 372 6 1
settle
slide_to "$entry" 1440 3120 3972 408 59 30
settle
shot "duration"
no_message_box

begin "type Long"
# The arrow of the type box opens its list; typing picks the item.
before="$(shown_windows)"
click_at "$entry" $(( $(px 4920) + $(px 1932) - 8 )) $(( $(px 2160) + $(px 288) / 2 ))
wait_popup "$before" || fail "the list of types did not open"
xdotool type --delay 40 "Long"
xdotool key Return
settle
no_message_box

begin "a description"
click_twips "$entry" 4920 1200 2172 612
xdotool type --delay 20 "Intervals by the lake"
settle
shot "filled-in"
no_message_box

begin "ACCEPT"
shown_calendar="$(region "$entry" "$calendar_x" "$calendar_y" "$calendar_w" "$calendar_h")"
click_twips "$entry" 5400 2640 1212 372
wait_region_change "$entry" "$calendar_x" "$calendar_y" "$calendar_w" "$calendar_h" "$shown_calendar" ||
  fail "the calendar stayed: the entry was not accepted"
settle
shot "accepted"
no_message_box

begin "View Entire Log"
click_twips "$entry" 4800 4920 1452 300
grid="$(wait_window 'runlog Grid')" || fail "the grid window did not open"
settle
shot "grid"
no_message_box

begin "click the Time (minutes) heading"
# The heading row lies right under the button strip.
header_y=$(($(px 330) + 2))
time_end=""
deadline=$((SECONDS + 10))
while [ -z "$time_end" ] && [ $SECONDS -lt "$deadline" ]; do  # until the grid has drawn its headings
  read -r date_end time_end _ <<<"$(heading_lines "$grid" "$header_y")"
  [ -n "$time_end" ] || sleep 0.1
done
[ -n "$time_end" ] || fail "no column lines found in the heading row"
click_at "$grid" $(((date_end + time_end) / 2)) $((header_y + 4))
settle
shot "sorted"
no_message_box

begin "File > Exit"
app_exit "$main" || fail "$exit_failure"

# --- What the session left behind ------------------------------------------
begin "the log holds exactly the new run"
rows="$(sqlite3 -separator '|' "$log" 'SELECT "Date", "Time", "Type", "Description" FROM runlog')"
echo "  runlog: $rows"
[ "$(sqlite3 "$log" 'SELECT count(*) FROM runlog')" -eq 1 ] || fail "the log holds $(sqlite3 "$log" 'SELECT count(*) FROM runlog') rows"
IFS='|' read -r day minutes type description <<<"$rows"
[ "$minutes" = "90" ] || fail "Time is '$minutes', not 90"
[ "$type" = "Long" ] || fail "Type is '$type', not Long"
[ "$description" = "Intervals by the lake" ] || fail "Description is '$description'"
[[ "$day" =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}$ ]] || fail "Date is '$day'"
[ "${day:0:7}" = "$(date +%Y-%m)" ] || fail "Date $day is not in this month, which the calendar showed"

begin "the settings hold the main window's place and size"
[ -f "$settings" ] || fail "no settings file at $settings"
for key in MainLeft MainTop MainWidth MainHeight; do
  grep -Eq "^$key=-?[0-9]+(\.[0-9]+)?\$" "$settings" || fail "$key is missing from $settings"
done
grep -qx '\[Settings\]' "$settings" || fail "no [Settings] section in $settings"

passed=1
echo "PASSED in $SECONDS s"
