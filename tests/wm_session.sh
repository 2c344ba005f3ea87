#!/bin/sh
# Runs a command on a private X display (Xvfb) under a real window manager
# (openbox), for tests of what a window manager changes about a window.
# Exits 77 (skipped) when either is missing.
command -v xvfb-run >/dev/null 2>&1 && command -v openbox >/dev/null 2>&1 || {
  echo "xvfb-run or openbox is missing: skipped"
  exit 77
}
exec xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  "$@"
  rc=$?
  kill "$wm" 2>/dev/null
  exit $rc' wm_session "$@"
