#!/bin/sh
# One X server for a whole test run, shared by the tests that need X.
#   shared_xvfb.sh start DIR   starts Xvfb on a free display, writes its number to DIR/display
#   shared_xvfb.sh stop DIR    ends it
# The 800 x 600 screen is the show's default full-screen mode, Xvfb's only one.
set -eu
action=$1
dir=$2
lifetime=3600 # seconds: a server left by an interrupted run ends by itself

case $action in
start)
  mkdir -p "$dir"
  rm -f "$dir/display" "$dir/pid"
  # -displayfd: Xvfb picks a free display itself and writes its number once
  # it accepts clients. -noreset: by default the server resets whenever its
  # last client leaves and refuses connections meanwhile, which fails the
  # next test's program now and then. setsid and the redirections detach it
  # from ctest.
  setsid timeout "$lifetime" Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset \
    3>"$dir/display" </dev/null >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/pid"
  for _ in $(seq 1 100); do
    [ -s "$dir/display" ] && { echo "Xvfb on :$(cat "$dir/display")"; exit 0; }
    sleep 0.1
  done
  echo "Xvfb did not start:" >&2
  cat "$dir/xvfb.log" >&2
  exit 1
  ;;
stop)
  [ -f "$dir/pid" ] && kill "$(cat "$dir/pid")" 2>/dev/null || true
  rm -f "$dir/display" "$dir/pid"
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
