#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program under a private Xvfb with a window manager (openbox),
# so that windows are activated and framed by a real window manager. The
# program learns the window manager's process id from PACEBOOK_WM_PID, to
# pause it and so play a slow one.
#
#   run.sh TEST-PROGRAM [GTEST-ARGS...]
set -euo pipefail
program="${1:?usage: run.sh TEST-PROGRAM [ARGS...]}"
shift
for tool in Xvfb openbox xprop; do
  command -v "$tool" >/dev/null || { echo "FAILED: $tool is not installed (scripts/setup installs it)"; exit 1; }
done
work="$(mktemp -d "${TMPDIR:-/tmp}/pacebook-x11.XXXXXX")"
# shellcheck source=tests/e2e/xsession.sh
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/xsession.sh"
finish() {
  # A paused window manager would not end.
  [ -n "$wm_pid" ] && kill -CONT "$wm_pid" 2>/dev/null
  x_stop
  rm -rf "$work"
}
trap finish EXIT
mkdir -p "$work/home/.config" "$work/runtime"
chmod 700 "$work/runtime"
x_start 1280 1024 openbox || { echo "FAILED: Xvfb did not start"; exit 1; }
# On a busy machine the window manager may take a while to take over.
for _ in $(seq 300); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
if ! { [ -n "$wm_pid" ] && kill -0 "$wm_pid" 2>/dev/null && xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }; then
  echo "FAILED: openbox did not start"
  cat "$work/wm.log" 2>/dev/null
  exit 1
fi
env -u QT_SCALE_FACTOR -u QT_FONT_DPI -u SESSION_MANAGER QT_QPA_PLATFORM=xcb HOME="$work/home" \
  XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime" LC_ALL=C.UTF-8 \
  PACEBOOK_WM_PID="$wm_pid" "$program" "$@"
