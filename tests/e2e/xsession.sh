# SPDX-License-Identifier: GPL-3.0-or-later
# Working Pacebook through an X server, as a user would: sourced by the
# end-to-end test (add_entry.sh) and by scripts/screenshots.
#
# Before sourcing, set `work` to a private folder. x_start starts Xvfb (and
# a window manager when asked) and exports DISPLAY; app_start starts the
# program with a private home; x_stop ends both. Positions of controls are
# given in twips (1/1440 inch) from a window's client area, as the windows
# lay them out; `dpi` and `scale` turn them into pixels.

dpi=96       # the X server's resolution
scale=1      # QT_SCALE_FACTOR the program runs with
xvfb_pid=""
wm_pid=""
app_pid=""

px() {  # px TWIPS: pixels on the screen, rounded
  echo $((($1 * dpi * scale + 720) / 1440))
}

x_start() {  # x_start WIDTH HEIGHT [WM]: a private Xvfb, and WM (e.g. openbox) if given
  exec {fd}>"$work/display"
  Xvfb -displayfd "$fd" -screen 0 "$1x$2x24" -dpi "$dpi" -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  exec {fd}>&-
  local _
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; return 1; }
    sleep 0.1
  done
  [ -s "$work/display" ] || return 1
  export DISPLAY=":$(head -n1 "$work/display")"
  if [ -n "${3:-}" ]; then
    HOME="$work/home" "$3" >"$work/wm.log" 2>&1 &
    wm_pid=$!
    # The window manager has taken over once it announces itself.
    for _ in $(seq 100); do
      xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
      sleep 0.1
    done
  fi
}

app_start() {  # app_start PROGRAM: starts it with a private home; output to $work/pacebook.log
  mkdir -p "$work/home/.config" "$work/runtime"
  chmod 700 "$work/runtime"
  (
    cd "$work"
    exec env -u QT_QPA_PLATFORM -u QT_SCALE_FACTOR -u QT_FONT_DPI -u QT_AUTO_SCREEN_SCALE_FACTOR \
      -u SESSION_MANAGER QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$scale" HOME="$work/home" \
      XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime" LC_ALL=C.UTF-8 "$1"
  ) >"$work/pacebook.log" 2>&1 &
  app_pid=$!
}

x_stop() {
  local pid
  for pid in "$app_pid" "$wm_pid" "$xvfb_pid"; do
    if [ -n "$pid" ] && kill "$pid" 2>/dev/null; then wait "$pid" 2>/dev/null || true; fi
  done
  app_pid="" wm_pid="" xvfb_pid=""
  return 0
}

wait_window() {  # wait_window TITLE [SECONDS]: prints the id of the visible window titled TITLE
  local deadline=$((SECONDS + ${2:-20})) id
  while [ $SECONDS -lt "$deadline" ]; do
    id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n1 || true)"
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    if [ -n "$app_pid" ] && ! kill -0 "$app_pid" 2>/dev/null; then return 1; fi
    sleep 0.1
  done
  return 1
}

shown_windows() {  # the program's windows on the screen, menus and drop-down lists included
  xdotool search --onlyvisible --class '^Pacebook$' 2>/dev/null | wc -l
}

wait_popup() {  # wait_popup COUNT: until more than COUNT windows show (a menu or list has opened)
  local deadline=$((SECONDS + 10))
  while [ $SECONDS -lt "$deadline" ]; do
    [ "$(shown_windows)" -gt "$1" ] && return 0
    sleep 0.05
  done
  return 1
}

open_menu() {  # open_menu WINDOW KEYS: focuses the window, presses KEYS (e.g. alt+l), waits for the menu
  local before
  before="$(shown_windows)"
  xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
  xdotool key --clearmodifiers "$2"
  wait_popup "$before"
}

origin() {  # origin WINDOW: "X Y", its client area's top left corner on the screen
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF} END {print x, y}'
}

client_width() {  # client_width WINDOW
  xwininfo -id "$1" | awk '/^ *Width:/ {print $2}'
}

click_at() {  # click_at WINDOW X Y: a left click at a point of the client area, in pixels
  local ox oy
  read -r ox oy < <(origin "$1")
  xdotool mousemove --sync $((ox + $2)) $((oy + $3)) click 1
}

click_twips() {  # click_twips WINDOW LEFT TOP WIDTH HEIGHT: a click in the middle of a control
  click_at "$1" "$(px $(($2 + $4 / 2)))" "$(px $(($3 + $5 / 2)))"
}

drag_x() {  # drag_x WINDOW FROM-X TO-X Y: press, move across in small steps, release
  local ox oy x
  read -r ox oy < <(origin "$1")
  xdotool mousemove --sync $((ox + $2)) $((oy + $4)) mousedown 1
  for x in $(seq "$2" 5 "$3") "$3"; do xdotool mousemove $((ox + x)) $((oy + $4)) sleep 0.02; done
  xdotool sleep 0.05 mouseup 1
}

slide_to() {  # slide_to WINDOW LEFT TOP WIDTH HEIGHT MAXIMUM VALUE: drags a slider's thumb from 0
  # The thumb, 15 pixels long at scale 1, starts at 0 at the left end; held
  # by its middle, value v lies v / maximum of the way along the slider's
  # width less the thumb's length.
  local thumb=$((15 * scale)) left width mid
  left=$(px "$2") width=$(px "$4") mid=$(($(px "$3") + $(px "$5") / 2))
  drag_x "$1" $((left + thumb / 2)) $((left + thumb / 2 + ($7 * (width - thumb) + $6 / 2) / $6)) "$mid"
}

region() {  # region WINDOW X Y W H: a fingerprint of what a part of a window shows
  import -display "$DISPLAY" -window "$1" -crop "$4x$5+$2+$3" rgb:- 2>/dev/null | md5sum
}

wait_region_change() {  # wait_region_change WINDOW X Y W H BEFORE: until that part shows something else
  local deadline=$((SECONDS + 10))
  while [ $SECONDS -lt "$deadline" ]; do
    [ "$(region "$1" "$2" "$3" "$4" "$5")" != "$6" ] && return 0
    sleep 0.1
  done
  return 1
}

heading_lines() {  # heading_lines GRID-WINDOW Y: x of the column lines in the heading row of the grid
  # The lines are darker than the headings; the record selectors' corner
  # has none, so the first line ends the first column.
  import -display "$DISPLAY" -window "$1" -crop "$(client_width "$1")x1+0+$2" -depth 8 txt:- 2>/dev/null |
    awk -v min="$(px 900)" 'NR > 1 {
        split($1, p, ","); x = p[1] + 0
        s = $2; gsub(/[()]/, "", s); split(s, c, ","); l = (c[1] + c[2] + c[3]) / 3
        if (x > 0 && x < min) base = l
        if (x >= min && l < base - 20) { if (x > last + 1) printf "%d ", x; last = x }
      } END { print "" }'
}

app_exit() {  # app_exit MAIN-WINDOW: File > Exit; fails, with exit_failure saying why, unless the program ends with status 0
  exit_failure=""
  open_menu "$1" alt+f || { exit_failure="the File menu did not open"; return 1; }
  xdotool key x
  local deadline=$((SECONDS + 15)) status=0
  while kill -0 "$app_pid" 2>/dev/null && [ $SECONDS -lt "$deadline" ]; do sleep 0.1; done
  if kill -0 "$app_pid" 2>/dev/null; then exit_failure="pacebook is still running after Exit"; return 1; fi
  wait "$app_pid" || status=$?
  app_pid=""
  [ "$status" -eq 0 ] || { exit_failure="pacebook ended with status $status"; return 1; }
}

settle() { sleep 0.2; }  # lets the program answer the last input
