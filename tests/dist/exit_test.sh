#!/usr/bin/env bash
# The real program under Xvfb (no window manager) ends when its main window
# closes and when the system asks it to:
#  1. analyse mode with the message window and the ADC window on screen:
#     the main window closed as a window manager closes it (the same close
#     as "Выход", which the window tests choose); the process is gone within 2 s
#     and the settings say both windows were shown (three runs: it used to
#     stay behind in some runs only);
#  2. receive mode against qel-sim, automatic saving into a folder that is
#     gone, so every spectrum is kept in memory: SIGTERM ends the program
#     within 2 s, the settings are stored, the kept spectra are in the
#     fallback folder that standard error names;
#  3. Ctrl-C on the demo's terminal;
#  4. one window per settings folder: a start after `kill -9` is a first
#     start; a second start hands its file to the running window, or brings
#     that window forward, and ends without writing the settings.
# Usage: exit_test.sh SOURCE-DIR BUILD-DIR
set -euo pipefail
export LC_ALL=C.UTF-8
src=$1
build=$2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qel-exit-test-XXXXXX")
xpid=
gpid=
simpid=
cleanup() {
  [[ -n $gpid ]] && kill -KILL "$gpid" 2>/dev/null
  [[ -n $simpid ]] && kill "$simpid" 2>/dev/null
  [[ -n $xpid ]] && kill "$xpid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
fail() {
  echo "FAIL: $*" >&2
  [[ -f $tmp/gui.err ]] && { echo "--- qel-gui said:" >&2; cat "$tmp/gui.err" >&2; }
  exit 1
}
# Waits up to $1 tenths of a second for a process to end.
ended_within() {
  local tenths=$1 pid=$2
  for _ in $(seq "$tenths"); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  ! kill -0 "$pid" 2>/dev/null
}
source "$src/scripts/sim-lib.sh"

# -noreset: Xvfb otherwise resets when its last client goes, and a program
# started during the reset cannot connect (Qt then aborts).
mkfifo "$tmp/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xpid=$!
read -r -t 20 n <"$tmp/display" || fail "Xvfb did not start"
export DISPLAY=:$n QT_QPA_PLATFORM=xcb
# A sanitizer build checks for leaks at exit: not those of the libraries Qt loads.
export LSAN_OPTIONS=suppressions=$src/tests/dist/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data
mkdir -p "$HOME"
reg=$XDG_CONFIG_HOME/Talvor/Qel/1.0.reg

# 1. "Выход" with the two other windows open.
for run in 1 2 3; do
  mkdir -p "$(dirname "$reg")"
  printf '%s\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_LOCAL_MACHINE\SOFTWARE\Talvor\Qel\1.0]' '"Mode"=dword:00000000' '"ADCEnable"=dword:00000001' \
    "\"WorkDir\"=\"$tmp/\"" '' \
    '[HKEY_LOCAL_MACHINE\SOFTWARE\Talvor\Qel\1.0\MsgWindow]' '"Visible"=dword:00000001' '' >"$reg"
  "$build/app/qel-gui" 2>"$tmp/gui.err" &
  gpid=$!
  w=$(wait_window "$gpid") || fail "run $run: the window did not appear"
  for _ in $(seq 50); do
    xdotool search --onlyvisible --pid "$gpid" --name 'Сообщения КЕЛ' >/dev/null 2>&1 &&
      xdotool search --onlyvisible --pid "$gpid" --name 'ВХОД  АЦП' >/dev/null 2>&1 && break
    sleep 0.1
  done
  xdotool search --onlyvisible --pid "$gpid" --name 'Сообщения КЕЛ' >/dev/null || fail "run $run: no message window"
  xdotool search --onlyvisible --pid "$gpid" --name 'ВХОД  АЦП' >/dev/null || fail "run $run: no ADC window"
  # The window manager's close (WM_DELETE_WINDOW): the same close as
  # "Выход", which the window tests choose from the menu.
  main=$(xdotool search --onlyvisible --pid "$gpid" --name 'Программа анализа спектров' | head -1)
  [[ -n $main ]] || fail "run $run: no main window"
  "$build/tools/qel-xping" --close "$main" || fail "run $run: no close request sent"
  ended_within 20 "$gpid" || fail "run $run: the process is still there 2 s after the close"
  wait "$gpid" || fail "run $run: qel-gui exited with status $?"
  gpid=
  grep -A8 'MsgWindow\]' "$reg" | grep -q '"Visible"=dword:00000001' || fail "run $run: the message window's visibility not stored"
  grep -q '"ADCEnable"=dword:00000001' "$reg" || fail "run $run: the ADC window's state not stored"
done
echo "close: the process ended within 2 s in 3 runs of 3, both windows' state stored"

# 2. SIGTERM in receive mode, with spectra kept in memory.
"$build/tools/qel-sim" --link "$tmp/tty" --time-scale 20 --speed 11 >/dev/null &
simpid=$!
wait_link "$tmp/tty" || fail "the simulator did not start"
rm -rf "$XDG_CONFIG_HOME"
write_settings "$XDG_CONFIG_HOME" "Port=$tmp/tty" "Mode=1" "Rapid=11" \
  "AutoSave=1" "SaveStep=1" "NameMask=t" "NumbMask=1" "WorkDir=$tmp/gone/"
"$build/app/qel-gui" 2>"$tmp/gui.err" &
gpid=$!
# Every automatic save advances the stored number, also when the file
# cannot be written: three advances, three spectra kept.
kept3() { grep -q '"NumbMask"=dword:0000000[4-9]' "$reg"; }
for _ in $(seq 600); do kept3 && break; sleep 0.1; done
kept3 || fail "no three automatic saves within 60 s"
kill -TERM "$gpid"
ended_within 20 "$gpid" || fail "the process is still there 2 s after SIGTERM"
wait "$gpid" || true
gpid=
folder=$(sed -n 's/.* в запасную папку //p' "$tmp/gui.err")
[[ -n $folder && -d $folder ]] || fail "standard error names no fallback folder"
[[ $folder == "$XDG_DATA_HOME/"* ]] || fail "fallback folder $folder is not under XDG_DATA_HOME"
count=$(find "$folder" -name 't*.qel' | wc -l)
((count >= 3)) || fail "only $count kept spectra in $folder"
grep -q 'Position\]' "$reg" || fail "the settings were not stored at the end"
kill "$simpid"
wait "$simpid" 2>/dev/null || true
simpid=
echo "SIGTERM: ended within 2 s; $count kept spectra written into $folder; settings stored"

# 3. Ctrl-C on the demo's terminal (SIGINT to the whole process group):
#    the start script ends with status 130 once the window and the
#    simulator have ended.
mkdir -p "$tmp/demo"
TMPDIR=$tmp/demo QEL_BUILD_DIR=$build python3 -c '
import os, signal, sys
signal.signal(signal.SIGINT, signal.SIG_DFL)  # as on a terminal, not ignored as in a background job
os.setpgrp()
os.execvp(sys.argv[1], sys.argv[1:])' "$src/scripts/start" >"$tmp/start.log" 2>&1 &
spid=$!
for _ in $(seq 300); do pgrep -P "$spid" -x qel-gui >/dev/null && break; sleep 0.1; done
gpid=$(pgrep -P "$spid" -x qel-gui) || fail "the start script did not start qel-gui"
w=$(wait_window "$gpid") || fail "the demo's window did not appear"
simpid=$(pgrep -P "$spid" -x qel-sim) || fail "the demo's simulator is not running"
# The simulator has ended first (and the script has taken its status): the
# script's own clean-up must not stumble over it.
kill -KILL "$simpid"
for _ in $(seq 50); do [[ -e /proc/$simpid ]] || break; sleep 0.1; done
kill -INT -- "-$spid"
status=0
wait "$spid" || status=$?
((status == 130)) || fail "the start script ended with status $status after Ctrl-C, not 130"
! kill -0 "$gpid" 2>/dev/null || fail "qel-gui still runs after the start script ended"
gpid= simpid=
echo "Ctrl-C: the start script ended with status 130 after its window"

# 4. One window per settings folder.
rm -rf "$XDG_CONFIG_HOME"
write_settings "$XDG_CONFIG_HOME" "Mode=0" "NumbMask=9" "ADCEnable=1" "WorkDir=$tmp/"
"$build/app/qel-gui" 2>"$tmp/gui.err" &
gpid=$!
wait_window "$gpid" >/dev/null || fail "the first window did not appear"
kill -KILL "$gpid"
wait "$gpid" 2>/dev/null || true
# Killed, it left its lock and its socket behind: the next start is a first one.
"$build/app/qel-gui" 2>"$tmp/gui.err" &
gpid=$!
main=$(wait_window "$gpid") || fail "no window after a start that followed kill -9"
before=$(md5sum <"$reg")
printf '\x10\x00\x00\x08\x11\x00\x10\x08' >"$tmp/handed.qel"
# Another environment (a login of its own) finds the same window.
(cd "$tmp" && XDG_RUNTIME_DIR=$tmp/elsewhere timeout 20 "$build/app/qel-gui" handed.qel 2>"$tmp/second.err") || fail "a second start with a file failed: $(cat "$tmp/second.err")"
within 10 xdotool search --onlyvisible --pid "$gpid" --name '^КЕЛ - handed.qel$' >/dev/null ||
  fail "the running window did not open the file handed over"
# Without a file: the running window comes forward, above its ADC window
# (xwininfo lists the top window first).
top_window() { xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) "\(ВХОД  АЦП\|КЕЛ - handed.qel\)".*/\1/p' | head -1; }
adc=$(xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) "ВХОД  АЦП".*/\1/p')
[[ -n $adc ]] || fail "no ADC window"
xdotool windowraise "$adc"
within 5 test "$(top_window)" == "$adc" || fail "the ADC window could not be raised"
timeout 20 "$build/app/qel-gui" 2>"$tmp/second.err" || fail "a second start without a file failed: $(cat "$tmp/second.err")"
within 10 test "$(top_window)" == "$(printf '0x%x' "$main")" || fail "the running window did not come forward"
[[ $(md5sum <"$reg") == "$before" ]] || fail "a second start wrote the settings"
# A window that does not answer (stopped): the second start waits for it,
# and is ended by SIGTERM as any program is.
kill -STOP "$gpid"
status=0
timeout -k 5 -s TERM 3 "$build/app/qel-gui" 2>"$tmp/second.err" || status=$?
kill -CONT "$gpid"
((status == 124)) || fail "a second start waiting for a stopped window ended with status $status, not by SIGTERM (124)"
kill -TERM "$gpid"
wait "$gpid" || true
gpid=
grep -q '"NumbMask"=dword:00000009' "$reg" || fail "the first window's settings were not kept"
echo "one window: a start after kill -9 runs; a second start handed its file over, brought the window forward, wrote nothing"
