# SPDX-License-Identifier: GPL-3.0-or-later
# The steps of an end-to-end test: sourced by add_entry.sh and paste.sh
# after xsession.sh, with `work` a private folder and `shots` the folder of
# its screenshots. Each step begins with `begin`, is shot with `shot`, and
# ends the test with `fail`; `steps_finish` (from the EXIT trap) ends the X
# session and keeps the folder unless the test set passed=1.

step=0
passed=0

shot() {  # shot NAME: the whole screen, numbered by step
  import -display "$DISPLAY" -window root "$shots/$(printf '%02d' "$step")-$1.png" 2>/dev/null || true
}

fail() {
  shot "failed"
  echo "FAILED at step $step: $*"
  exit 1
}

begin() {  # begin DESCRIPTION: the next step
  step=$((step + 1))
  echo "step $step ($SECONDS s): $*"
}

steps_finish() {
  x_stop
  if [ "$passed" = 1 ] && [ -z "${PACEBOOK_E2E_KEEP:-}" ]; then
    rm -rf "$work"
  else
    echo "Screenshots of the steps are in $shots"
    echo "The program's output is in $work/pacebook.log"
  fi
}
