#!/bin/bash
# The Windows smoke suite: the programs of dist/indahouse-win64.zip under
# Wine, on an Xvfb of their own, against the Linux build of the same sources.
#
#   tests/windows/smoke.sh [ZIP]     (scripts/windows.sh --smoke runs it)
#
# Needs build/tools/capture and build/showdir (the Linux side of the
# comparison) and build-win (the dialog probe); scripts/windows.sh makes all
# three. Each check prints "ok NAME" or "FAILED NAME: why"; the exit code is
# the number of failures.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
zip=$(realpath "${1:-$root/dist/indahouse-win64.zip}")
capture=$root/build/tools/capture
probe=$root/build-win/tests/windows/config_dialog_probe.exe
objdump=x86_64-w64-mingw32-objdump

# The dialog's controls, "X Y" in its window (as the Linux tests click them).
FULL_SCREEN_BOX="57 100"
# Every DLL the programs may import: Windows' own.
SYSTEM_DLLS="advapi32 comctl32 comdlg32 gdi32 glu32 imm32 kernel32 msvcrt ole32 oleaut32
  opengl32 setupapi shell32 shlwapi user32 version winmm winspool.drv ws2_32"
# Frames compared, as the live mode's keys reach them from its start time
# (paused): the first frame, placements' starts and times within them.
FRAME_START=0
FRAME_KEYS="Next Next Right Next shift+Right Next Next shift+Right Next"
SECONDS_LIMIT=90 # for any one program run

failures=0
ok() { echo "ok $1 ($(($(date +%s) - started)) s)"; }
failed() {
  echo "FAILED $1: $2"
  failures=$((failures + 1))
}

started=$(date +%s)
work=$(mktemp -d /tmp/indahouse-wine.XXXXXX)
xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# --- set-up: the zip unpacked under a name with a space and non-ASCII letters,
# an X server, a Wine prefix ---------------------------------------------------
show="$work/Shöw ünd Tell"
mkdir -p "$show" && (cd "$show" && cmake -E tar xf "$zip") || {
  echo "cannot unpack $zip"
  exit 1
}
show="$show/$(ls "$show")"

setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" \
  </dev/null >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w
echo "Wine ready in $(($(date +%s) - started)) s"

# Runs `wine EXE ARGS...` in the show folder in the background; its output
# goes to $work/out and $work/err, its pid to $run_pid.
run() {
  (cd "$show" && exec timeout "$SECONDS_LIMIT" wine "$@" >"$work/out" 2>"$work/err") &
  run_pid=$!
}
finish() { # the exit code of the program `run` started
  wait "$run_pid"
}
# The window whose name matches $1, once it is there (0 after 30 s).
window() {
  for _ in $(seq 1 300); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.1
  done
  echo 0
}
keys() { xdotool key --window "$1" "${@:2}" 2>/dev/null && sleep 0.4; }
click() { xdotool mousemove --window "$1" $2 click 1 2>/dev/null && sleep 0.4; }
# The show through its dialog, windowed: its exit code once it ends.
go_windowed() {
  run indahouse.exe
  dialog=$(window '^Config$')
  [ "$dialog" != 0 ] && click "$dialog" "$FULL_SCREEN_BOX" && keys "$dialog" Return
  finish
}
# The first line of $work/out matching $1, once it is there.
event() {
  for _ in $(seq 1 300); do
    line=$(tr -d '\r' <"$work/out" | grep -a -m1 -E "$1") && { echo "$line"; return; }
    sleep 0.1
  done
}

# --- the zip ------------------------------------------------------------------
size=$(du -k "$zip" | cut -f1)
foreign=""
for exe in "$show"/indahouse.exe "$show"/tools/*.exe; do
  for dll in $($objdump -p "$exe" | awk '/DLL Name:/ { print tolower($3) }'); do
    case " $(echo $SYSTEM_DLLS) " in *" ${dll%.dll} "*) ;; *) foreign="$foreign $(basename "$exe"):$dll" ;; esac
  done
done
if [ -z "$foreign" ]; then ok "zip: $size KiB, imports only Windows' own DLLs"; else failed "zip" "imports$foreign"; fi

# --- output reaches a pipe from a GUI program ---------------------------------
run indahouse.exe --help
if finish && grep -q -- "--paused" "$work/out"; then ok "--help on a pipe"; else failed "--help" "$(head -3 "$work/out" "$work/err")"; fi

# --- the dialog: its defaults, its list and a box ------------------------------
(cd "$show" && timeout "$SECONDS_LIMIT" wine "$probe" >"$work/probe" 2>&1) &
probe_pid=$!
dialog=$(window '^Config$')
[ "$dialog" != 0 ] && keys "$dialog" Return
wait $probe_pid
said=$(tr -d '\r' <"$work/probe")
if [ "$said" = "go 800x600x32 fullscreen=1 music=1" ]; then ok "dialog defaults"; else failed "dialog defaults" "$said"; fi

(cd "$show" && timeout "$SECONDS_LIMIT" wine "$probe" >"$work/probe" 2>&1) &
probe_pid=$!
dialog=$(window '^Config$')
if [ "$dialog" != 0 ]; then
  keys "$dialog" Tab Tab space && keys "$dialog" Up Return
  click "$dialog" "$FULL_SCREEN_BOX"
  keys "$dialog" Return
fi
wait $probe_pid
said=$(tr -d '\r' <"$work/probe")
if [ "$said" = "go 640x480x32 fullscreen=0 music=1" ]; then ok "dialog controls"; else failed "dialog controls" "$said"; fi

# --- the show, windowed: Go!, a window of 800 x 600, Escape ends it with 0 ------
run indahouse.exe
dialog=$(window '^Config$')
[ "$dialog" != 0 ] && click "$dialog" "$FULL_SCREEN_BOX" && keys "$dialog" Return
stage=$(window '^Zorvath in da house!$')
geometry=""
if [ "$stage" != 0 ]; then
  sleep 3
  geometry=$(xdotool getwindowgeometry "$stage" | awk '/Geometry/ { print $2 }')
  keys "$stage" Escape
fi
finish
code=$?
if [ "$code" = 0 ] && [ "$geometry" = 800x600 ] && [ ! -e "$show/error.txt" ]; then
  ok "show: windowed 800x600, Escape ends it with 0"
else
  failed "show" "exit $code, window '$geometry', $(cat "$work/err" "$show/error.txt" 2>/dev/null | head -5)"
fi

# --- full screen: the display mode changes and comes back ---------------------
# Xvfb has one mode, so the show runs in a Wine desktop of 1024 x 768, which
# offers the usual modes. The dialog's defaults ask for 800 x 600 full screen;
# after the show the probe's dialog keeps the desktop open to be measured,
# and is then ended with the desktop (a key sent into a Wine desktop's
# dialog once left it waiting until the time limit).
desktop_size() { xdotool getwindowgeometry "$1" 2>/dev/null | awk '/Geometry/ { print $2 }'; }
until_size() { # WINDOW SIZE: waits up to 10 s for it
  for _ in $(seq 1 100); do [ "$(desktop_size "$1")" = "$2" ] && return 0; sleep 0.1; done
  return 1
}
run explorer /desktop=smoke,1024x768 cmd /c "start /wait indahouse.exe & start /wait $(winepath -w "$probe")"
desktop=$(window '^smoke - Wine desktop$')
dialog=$(window '^Config$')
[ "$dialog" != 0 ] && keys "$dialog" Return
if until_size "$desktop" 800x600; then changed=yes; else changed="no: $(desktop_size "$desktop")"; fi
stage=$(window '^Zorvath in da house!$')
[ "$stage" != 0 ] && keys "$stage" Escape
if until_size "$desktop" 1024x768; then restored=yes; else restored="no: $(desktop_size "$desktop")"; fi
# The probe's dialog only held the desktop open: end it all.
wineserver -k
finish
if [ "$changed" = yes ] && [ "$restored" = yes ]; then ok "full screen: 800x600 over a 1024x768 desktop, then 1024x768 again"; else
  failed "full screen" "mode changed: $changed; restored: $restored"
fi

# --- a missing picture: the four-line report and exit code 1 -------------------
mv "$show/data/floor.hwl" "$work/floor.hwl"
go_windowed
code=$?
mv "$work/floor.hwl" "$show/data/floor.hwl"
expected=$(printf 'Sorry, but the following module had something to say:\r\n\r\nkglTexture\r\nCould not load Texture (data/floor.hwl: file not found)\r\n_')
report=$(cat "$show/error.txt" 2>/dev/null; echo _)
if [ "$code" = 1 ] && [ "$report" = "$expected" ]; then ok "missing picture: error.txt and exit 1"; else
  failed "missing picture" "exit $code, error.txt: $(cat -A "$show/error.txt" 2>/dev/null)"
fi
rm -f "$show/error.txt"

# --- a tracker module: this build has no libopenmpt, and says what it plays ---
cp "$show/script.sqx" "$work/script.sqx"
sed -i 's/^@music \([^ ]*\) [^ ]*/@music \1 tune.xm/' "$show/script.sqx"
printf 'Extended Module: tune' >"$show/tune.xm"
go_windowed
code=$?
mv "$work/script.sqx" "$show/script.sqx"
rm -f "$show/tune.xm" "$show/error.txt"
if [ "$code" = 1 ] && grep -q "not a sound this build plays (Ogg Vorbis, WAV or FLAC" "$work/err"; then
  ok "tracker module: refused, naming the formats that play"
else
  failed "tracker module" "exit $code: $(head -3 "$work/err")"
fi

# --- frames: the live mode paused, overlay hidden, against the Linux capture ---
run indahouse.exe --live --paused --mute --at "$FRAME_START"
live=$(window '^Zorvath in da house! - live$')
times=""
if [ "$live" != 0 ] && [ -n "$(event '^pause ')" ]; then
  keys "$live" h
  n=0
  for key in "" $FRAME_KEYS; do
    if [ -n "$key" ]; then
      before=$(grep -c -a '^seek ' "$work/out")
      keys "$live" "$key"
      for _ in $(seq 1 100); do [ "$(grep -c -a '^seek ' "$work/out")" -gt "$before" ] && break; sleep 0.1; done
      at=$(grep -a '^seek ' "$work/out" | tail -1 | awk '{ print $2 }')
    else
      at=$FRAME_START
    fi
    sleep 0.6
    import -window "$live" "$work/wine-$n.png"
    times="$times $at"
    n=$((n + 1))
  done
  # Files saved into the show folder are taken up (a scan a second on Windows).
  for file in data/floor.hwl script.sqx scenes/show.scene; do
    cp "$show/$file" "$work/saved" && mv "$work/saved" "$show/$file"
    if [ -n "$(event "^reload $file")" ]; then ok "live: a saved $file is reloaded"; else
      failed "live reload" "no 'reload $file' line: $(tail -3 "$work/out")"
    fi
  done
  keys "$live" Escape
fi
finish
n=0
for at in $times; do
  SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy "$capture" "$root/build/showdir" --at "$at" \
    --size 800x600 --out "$work/linux-$n.png" >/dev/null 2>&1
  differing=$(compare -metric AE "$work/wine-$n.png" "$work/linux-$n.png" null: 2>&1)
  if [ "$differing" = 0 ]; then ok "frame at $at ms: the Linux capture's pixels"; else
    failed "frame at $at ms" "$differing pixels differ"
    cp "$work/wine-$n.png" "$work/linux-$n.png" /tmp/ 2>/dev/null
  fi
  n=$((n + 1))
done
[ -n "$times" ] || failed "frames" "no live window or no pause line: $(head -5 "$work/out" "$work/err")"

# --- playing: the silent clock without a sound device, the frame rate and the
# time to the first frame, against the Linux build on the same display ---------
# Wine has no sound device here: SDL tries DirectSound, then WinMM, both
# fail at once, and the silent output keeps the clock.
play() { # NAME COMMAND...: plays PLAY_SECONDS from PLAY_FROM, then Escape
  local name=$1
  shift
  local launched ended
  launched=$(date +%s%N)
  (cd "$show" && exec timeout "$SECONDS_LIMIT" "$@" --live --at "$PLAY_FROM" >"$work/out" \
    2>"$work/err") &
  run_pid=$!
  live=$(window '^Zorvath in da house! - live$')
  [ "$live" != 0 ] && [ -n "$(event '^play ')" ] || return 1
  first_frame_ms=$((($(date +%s%N) - launched) / 1000000))
  sleep "$PLAY_SECONDS"
  keys "$live" Escape
  finish || return 1
  ended=$(event '^end ')
  echo "$name: first frame after $first_frame_ms ms, played to ${ended#end }"
  end_at=$(echo "$ended" | awk '{ print $2 }')
}
PLAY_FROM=30000
PLAY_SECONDS=6
if play "Wine" wine indahouse.exe && grep -q "the music plays silently" "$work/err" &&
  [ "$end_at" -ge $((PLAY_FROM + (PLAY_SECONDS - 1) * 1000)) ]; then
  ok "silent clock: $(grep -m1 "plays silently" "$work/err" | tr -d '\r')"
else
  failed "silent clock" "$(head -5 "$work/out" "$work/err")"
fi
play "Linux" "$root/build/runtime/indahouse" --dir "$root/build/showdir" ||
  echo "(the Linux show did not play: $(head -3 "$work/err"))"

echo "Windows smoke suite: $failures failed, $(($(date +%s) - started)) s"
exit "$failures"
