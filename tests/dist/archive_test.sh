#!/usr/bin/env bash
# The archive of passes written by the real program under Xvfb against
# qel-sim at a fast sweep, with the real-time filter, accumulation and
# automatic saving on (31 passes and more): `kill -9` in the middle of the series, then a start
# again and a SIGTERM.
#  - every pass handed to the writer more than a second before the kill
#    (its automatic save is that old) is in the first archive; the passes
#    after are said to be missing (the archive is shorter, or torn), never
#    silently wrong;
#  - replaying passes 1..k (`qel average --exclude` of the later ones) gives
#    byte for byte the file saved at the pass start that ended pass k, in
#    both archives;
#  - SIGTERM ends the second series with the pass under way.
# Usage: archive_test.sh SOURCE-DIR BUILD-DIR
set -euo pipefail
export LC_ALL=C.UTF-8
src=$1
build=$2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qel-archive-test-XXXXXX")
gpid=
simpid=
XVFB_PID=
cleanup() {
  [[ -n $gpid ]] && kill -KILL "$gpid" 2>/dev/null
  [[ -n $simpid ]] && kill "$simpid" 2>/dev/null
  [[ -n $XVFB_PID ]] && kill "$XVFB_PID" 2>/dev/null
  wait 2>/dev/null || true
  [[ -n ${QEL_KEEP_TMP:-} ]] && echo "kept $tmp" >&2 || rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [[ -f $tmp/gui.err ]] && { echo "--- qel-gui said:" >&2; cat "$tmp/gui.err" >&2; }
  exit 1
}
source "$src/scripts/sim-lib.sh"
start_xvfb || fail "no X server"
export QT_QPA_PLATFORM=xcb
export LSAN_OPTIONS=suppressions=$src/tests/dist/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/config XDG_DATA_HOME=$tmp/data
mkdir -p "$HOME" "$tmp/w"
qel=$build/tools/qel

"$build/tools/qel-sim" --link "$tmp/tty" --time-scale 40 --speed 11 --noise 6 >/dev/null &
simpid=$!
wait_link "$tmp/tty" || fail "the simulator did not start"
write_settings "$XDG_CONFIG_HOME" "Port=$tmp/tty" "Mode=1" "Rapid=11" "AutoSave=1" "SaveStep=1" \
  "NameMask=a" "NumbMask=1" "WorkDir=$tmp/w/" "EnableRTLPF=1" "RTLPFConst=5" "EnableRTSum=1" "RTNumb=4" \
  "PassArchive=1"

saved() { find "$tmp/w" -name 'a*.qel' | wc -l; }
at_least() { (($(saved) >= $1)); }
"$build/app/qel-gui" 2>"$tmp/gui.err" &
gpid=$!
within 240 at_least 32 || fail "no 32 automatic saves within 240 s"
# Each file's time of saving, then the kill.
kill -KILL "$gpid"
killed=$(date +%s.%N)
{ wait "$gpid"; } 2>/dev/null || true
gpid=

first=$(find "$tmp/w" -name '*.qelpass')
[[ $(wc -l <<<"$first") == 1 && -n $first ]] || fail "not one archive after the first run: $first"
# File n+1 holds pass n of the series (file 1: the pass start that began it).
count=$("$qel" passes "$first" --csv - 2>"$tmp/passes.err" | tail -n +2 | wc -l)
files=$(saved)
old=0
for ((n = 2; n <= files; n++)); do
  f=$(printf '%s/a%08d.qel' "$tmp/w" "$n")
  t=$(stat -c %.9Y "$f")
  if awk -v t="$t" -v k="$killed" 'BEGIN {exit !(t < k - 1)}'; then old=$((n - 1)); fi
done
((count >= old)) || fail "only $count passes archived of the $old saved more than a second before the kill"
if ((count < files - 1)); then
  echo "after the kill: $((files - 1 - count)) later passes missing from the archive ($(cat "$tmp/passes.err"))"
fi

# The replay of passes 1..k is the file saved when pass k ended.
# check_replay ARCHIVE OFFSET CHECKED TOTAL: file OFFSET + k holds pass k.
check_replay() {
  local archive=$1 offset=$2 passes=$3 total=$4 k out f
  for ((k = 1; k <= passes; k++)); do
    out=$tmp/replay.qel
    if ((k < total)); then
      "$qel" average "$archive" --exclude "$((k + 1))-$total" -o "$out" >/dev/null 2>&1 || fail "qel average $k of $archive"
    else
      "$qel" average "$archive" -o "$out" >/dev/null 2>&1 || fail "qel average of $archive"
    fi
    f=$(printf '%s/a%08d.qel' "$tmp/w" "$((offset + k))")
    cmp -s "$out" "$f" || fail "the replay of passes 1..$k of $archive differs from $f"
  done
}
check_replay "$first" 1 "$count" "$count"
echo "kill -9: $count passes archived ($old saved more than 1 s before the kill), each replay equal to its file"

# A start again: a series of its own, ended by SIGTERM. Its first pass
# start saves under the number the settings hold now.
reg=$XDG_CONFIG_HOME/Talvor/Qel/1.0.reg
next=$((16#$(sed -n 's/^"NumbMask"=dword://p' "$reg")))
before=$(saved)
"$build/app/qel-gui" 2>"$tmp/gui.err" &
gpid=$!
within 120 at_least $((before + 6)) || fail "no 6 more automatic saves within 120 s"
kill -TERM "$gpid"
wait "$gpid" 2>/dev/null || true
gpid=
second=$(find "$tmp/w" -name '*.qelpass' ! -path "$first")
[[ -n $second ]] || fail "no archive for the second run"
last=$("$qel" passes "$second" --csv - | tail -n +2 | wc -l)
# The pass under way at SIGTERM is the last, saved as no file.
((last >= 5)) || fail "only $last passes in the second archive"
check_replay "$second" "$next" "$((last - 1))" "$last"
echo "second run: $last passes, ended by SIGTERM; each whole pass replays to its file"
