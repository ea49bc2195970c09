#!/usr/bin/env bash
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

for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/setup installs it)"
    exit 77
  fi
done
for tool in xwininfo import sqlite3; do
  command -v "$tool" >/dev/null || { echo "FAILED: $tool is not installed (scripts/setup installs it)"; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/pacebook-e2e.XXXXXX")"
shots="$work/screenshots"
mkdir -p "$work/program" "$work/home/.config" "$work/runtime" "$shots"
chmod 700 "$work/runtime"
xvfb_pid=""
app_pid=""
step=0
passed=0

finish() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  if [ "$passed" = 1 ] && [ -z "${PACEBOOK_E2E_KEEP:-}" ]; then
    rm -rf "$work"
  else
    echo "Screenshots of the steps are in $shots"
    echo "The program's output is in $work/pacebook.log"
  fi
}
trap finish EXIT

fail() {
  shot "failed"
  echo "FAILED at step $step: $*"
  exit 1
}

shot() {  # shot NAME: the whole screen, numbered by step
  import -display "$DISPLAY" -window root "$shots/$(printf '%02d' "$step")-$1.png" 2>/dev/null || true
}

begin() {  # begin DESCRIPTION: the next step
  step=$((step + 1))
  echo "step $step ($SECONDS s): $*"
}

# --- A private X server and a program folder of our own ---------------------
exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 5>&-
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log"; echo "FAILED: Xvfb did not start"; exit 1; }
  sleep 0.1
done
[ -s "$work/display" ] || { echo "FAILED: Xvfb gave no display"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

cp "$pacebook" "$work/program/pacebook"
"$newlog" "$work/program/Run.mdb" >/dev/null
log="$work/program/Run.mdb"
settings="$work/home/.config/Pacebook/Pacebook.ini"

# --- Helpers that act as a user would --------------------------------------
dpi=96
px() { echo $((($1 * dpi + 720) / 1440)); }  # twips to pixels, rounded

wait_window() {  # wait_window TITLE [SECONDS]: the id of the visible window titled TITLE
  local deadline=$((SECONDS + ${2:-20})) id
  while [ $SECONDS -lt "$deadline" ]; do
    id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n1 || true)"
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    kill -0 "$app_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

origin() {  # origin WINDOW: "X Y" of its client area on the screen
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}'
}

click_at() {  # click_at WINDOW LEFT TOP: a left click at a point of the client area, in pixels
  local ox oy
  read -r ox oy < <(origin "$1")
  xdotool mousemove --sync $((ox + $2)) $((oy + $3)) click 1
}

click_twips() {  # click_twips WINDOW LEFT TOP WIDTH HEIGHT: a click in the middle of a control
  click_at "$1" "$(px $(($2 + $4 / 2)))" "$(px $(($3 + $5 / 2)))"
}

drag_x() {  # drag_x WINDOW FROM-X TO-X Y: press, move in small steps, release
  local ox oy x
  read -r ox oy < <(origin "$1")
  xdotool mousemove --sync $((ox + $2)) $((oy + $4)) mousedown 1
  for x in $(seq "$2" 5 "$3") "$3"; do xdotool mousemove $((ox + x)) $((oy + $4)) sleep 0.02; done
  xdotool sleep 0.05 mouseup 1
}

region() {  # region WINDOW X Y W H: a fingerprint of what part of a window shows
  import -display "$DISPLAY" -window "$1" -crop "$4x$5+$2+$3" rgb:- 2>/dev/null | md5sum
}

wait_region_change() {  # wait_region_change WINDOW X Y W H BEFORE: until the part shows something else
  local deadline=$((SECONDS + 10))
  while [ $SECONDS -lt "$deadline" ]; do
    [ "$(region "$1" "$2" "$3" "$4" "$5")" != "$6" ] && return 0
    sleep 0.1
  done
  return 1
}

no_message_box() {  # every message box carries the program's title, like the main window
  local n
  n="$(xdotool search --onlyvisible --name '^Pacebook$' 2>/dev/null | wc -l)"
  [ "$n" -le 1 ] || fail "a message box is open"
}

settle() { sleep 0.2; }  # lets the program answer the last input

# --- The user's session ----------------------------------------------------
begin "start pacebook on an empty log"
(
  cd "$work"
  exec env -u QT_QPA_PLATFORM -u QT_SCALE_FACTOR -u QT_FONT_DPI -u SESSION_MANAGER \
    QT_QPA_PLATFORM=xcb HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
    XDG_RUNTIME_DIR="$work/runtime" LC_ALL=C.UTF-8 "$work/program/pacebook"
) >"$work/pacebook.log" 2>&1 &
app_pid=$!
main="$(wait_window Pacebook)" || fail "the main window did not open"
shot "main-window"

begin "Logbook > Add Entry"
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+l
settle
xdotool key Return  # the menu opens on its first item, "Add Entry"
entry="$(wait_window runlog)" || fail "the entry form did not open"
read -r _ entry_width < <(xwininfo -id "$entry" | awk '/^ *Width:/ {print "w", $2}')
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
# The thumb (15 pixels long) starts at 0, at the left end; dragged by its
# middle, value v lies v / maximum of the way along the slider's width less
# the thumb's length.
thumb=15
hr_x=$(px 1440) hr_w=$(px 2172) hr_mid=$(( $(px 2640) + $(px 372) / 2 ))
min_x=$(px 1440) min_w=$(px 3972) min_mid=$(( $(px 3120) + $(px 408) / 2 ))
drag_x "$entry" $((hr_x + thumb / 2)) $((hr_x + thumb / 2 + (1 * (hr_w - thumb) + 3) / 6)) "$hr_mid"
settle
drag_x "$entry" $((min_x + thumb / 2)) $((min_x + thumb / 2 + (30 * (min_w - thumb) + 29) / 59)) "$min_mid"
settle
shot "duration"
no_message_box

begin "type Long"
# The arrow of the type box opens its list; typing picks the item.
click_at "$entry" $(( $(px 4920) + $(px 1932) - 8 )) $(( $(px 2160) + $(px 288) / 2 ))
settle
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
# The heading row lies under the button strip; its column lines are darker
# than the headings, and the first one ends the Date column.
header_y=$(( $(px 330) + 2 ))
read -r grid_w < <(xwininfo -id "$grid" | awk '/^ *Width:/ {print $2}')
read -r date_end time_end < <(
  import -display "$DISPLAY" -window "$grid" -crop "${grid_w}x1+0+${header_y}" -depth 8 txt:- 2>/dev/null |
    awk -v min="$(px 900)" 'NR > 1 {
        split($1, p, ","); x = p[1] + 0
        s = $2; gsub(/[()]/, "", s); split(s, c, ","); l = (c[1] + c[2] + c[3]) / 3
        if (x > 0 && x < min) base = l
        if (x >= min && l < base - 20 && x > last + 1) { lines[++n] = x }
        if (x >= min && l < base - 20) last = x
      } END { print lines[1], lines[2] }')
[ -n "$time_end" ] || fail "no column lines found in the heading row"
click_at "$grid" $(((date_end + time_end) / 2)) $((header_y + 4))
settle
shot "sorted"
no_message_box

begin "File > Exit"
xdotool windowfocus --sync "$main"
xdotool key --clearmodifiers alt+f
settle
xdotool key x
deadline=$((SECONDS + 15))
while kill -0 "$app_pid" 2>/dev/null && [ $SECONDS -lt "$deadline" ]; do sleep 0.1; done
if kill -0 "$app_pid" 2>/dev/null; then fail "pacebook is still running after Exit"; fi
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "pacebook ended with status $status"

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
