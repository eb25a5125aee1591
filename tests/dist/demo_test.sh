#!/usr/bin/env bash
# The start script's demo under Xvfb: the window receives from qel-sim until
# its first automatically saved spectrum appears (with points in it); the
# operator's settings (HOME and XDG_CONFIG_HOME of the test, a scratch
# folder) stay untouched; the window is then killed outright, and the
# script and the simulator end with it.
# Usage: demo_test.sh SOURCE-DIR BUILD-DIR
set -euo pipefail
export LC_ALL=C.UTF-8
src=$1
# within SECONDS COMMAND...
source "$src/scripts/sim-lib.sh"
build=$2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qel-demo-test-XXXXXX")
xpid=
spid=
cleanup() {
  [[ -n $spid ]] && kill "$spid" 2>/dev/null
  [[ -n $xpid ]] && kill "$xpid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  echo "--- the script said:" >&2
  cat "$tmp/start.log" >&2 || true
  exit 1
}

# The operator's side: an empty home with an empty settings folder.
mkdir -p "$tmp/home/.config" "$tmp/demo"
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config
before=$(find "$HOME" -printf '%p %s %T@\n' | sort)

# An X server of its own; it names its display once it is ready.
mkfifo "$tmp/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xpid=$!
read -r -t 20 n <"$tmp/display" || fail "Xvfb did not start"
export DISPLAY=:$n QT_QPA_PLATFORM=xcb

TMPDIR=$tmp/demo QEL_BUILD_DIR=$build "$src/scripts/start" >"$tmp/start.log" 2>&1 &
spid=$!

saves_named() { grep -q "saved automatically into: " "$tmp/start.log"; }
within 30 saves_named || fail "the script did not name its folder of spectra"
saves=$(sed -n 's/.*saved automatically into: //p' "$tmp/start.log")
[[ $saves == "$tmp/demo/"* ]] || fail "spectra folder $saves is not the demo's own"
config=$(sed -n 's/.*settings of the demo: //p' "$tmp/start.log")
[[ -f $config && $config != "$HOME"* ]] || fail "demo settings $config"
grep -q '"Port"="'"$tmp/demo/" "$config" || fail "the demo's port is not the simulator's"

gui_pid() { pgrep -P "$spid" -x qel-gui; }
sim_pid() { pgrep -P "$spid" -x qel-sim; }
within 30 gui_pid >/dev/null || fail "qel-gui did not start"
gpid=$(gui_pid)
simpid=$(sim_pid) || fail "qel-sim is not running"

# The first spectrum saved with points in it (a pass that ended before the
# window had connected is saved without points).
file=
points=
saved_with_points() {
  local f n
  for f in "$saves"/*.qel; do
    [[ -f $f ]] || continue
    n=$("$build/tools/qel" info "$f" | sed -n 's/.*, точек: \([0-9][0-9]*\).*/\1/p')
    if [[ -n $n ]] && ((n > 100)); then file=$f points=$n; return 0; fi
  done
  return 1
}
within 90 saved_with_points || fail "no spectrum with points saved within 90 s: $(ls "$saves")"
# What the README says of the first two files: the first pass start, read
# from what the terminal kept before the window connected, saves nothing yet;
# the second file is that first pass, whole.
first=$(ls -v "$saves"/*.qel | head -1)
second=$(ls -v "$saves"/*.qel | sed -n 2p)
[[ $(basename "$first") == demo00000001.qel ]] || fail "the first file is $(basename "$first")"
"$build/tools/qel" info "$first" | grep -q "Данные: нет точек" || fail "the first file holds points"
if [[ -n $second ]]; then
  n=$("$build/tools/qel" info "$second" | sed -n 's/.*, точек: \([0-9][0-9]*\).*/\1/p')
  [[ -n $n ]] && ((n > 60000)) || fail "the second file holds ${n:-no} points, not a whole pass"
fi
[[ $(cat /proc/"$gpid"/environ | tr '\0' '\n' | sed -n 's/^XDG_CONFIG_HOME=//p') == "$tmp/demo/"* ]] ||
  fail "qel-gui does not run with the demo's settings folder"

# The window killed outright: the script ends, and the simulator with it.
kill -KILL "$gpid"
script_ended() { ! kill -0 "$spid" 2>/dev/null; }
sim_ended() { ! kill -0 "$simpid" 2>/dev/null; }
within 10 script_ended || fail "the script did not end with its window"
spid=
within 10 sim_ended || fail "the simulator still runs after the window was killed"

after=$(find "$HOME" -printf '%p %s %T@\n' | sort)
[[ $before == "$after" ]] || fail "the operator's folder changed: $(diff <(echo "$before") <(echo "$after"))"
echo "demo: $(basename "$file") saved with $points points; settings of the operator untouched"
