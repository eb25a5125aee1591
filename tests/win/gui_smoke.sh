#!/usr/bin/env bash
# qel-gui.exe from the Windows package, under Wine and Xvfb, against the
# simulated instrument on COM9, as an operator would run it on a clean PC:
#  - the package (scripts/package-windows --no-build) unpacked into a folder
#    of its own, in a Wine prefix made for the run (no other DLLs anywhere);
#  - its settings in Wine's registry (HKLM\SOFTWARE\Talvor\Qel\1.0, the
#    32-bit view), with automatic saving on;
#  - it opens COM9 (qel-sim's pseudo-terminal, noise 0), receives whole
#    passes and saves them: the files are read back by the Linux qel and
#    qel-soak-check, every point equal to the simulator's signal;
#  - it prints the sheet to a PDF (no printer under Wine: the PDF dialog);
#  - it closes on the system's close message and stores its settings
#    (under HKCU\SOFTWARE\Talvor\Qel\1.0, the machine's key left alone);
#  - started again, it ends with the session (a logout) and stores them too.
# Leaves a screenshot at BUILD-DIR/qel-gui-wine.png and prints the start time.
# Usage: gui_smoke.sh SOURCE-DIR BUILD-DIR LINUX-TOOLS-DIR WINE WINESERVER
# (LINUX-TOOLS-DIR: the Linux build's tools, with qel-sim, qel and qel-soak-check)
set -euo pipefail
src=$1 build=$2 tools=$3 wine=$4 wineserver=$5
# within SECONDS COMMAND...
source "$src/scripts/sim-lib.sh"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qel-win-gui-XXXXXX")
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all
xpid= spid= gpid=
cleanup() {
  [[ -n $gpid ]] && kill "$gpid" 2>/dev/null
  "$wineserver" -k 2>/dev/null || true
  [[ -n $spid ]] && kill "$spid" 2>/dev/null
  [[ -n $xpid ]] && kill "$xpid" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [[ -n ${DISPLAY:-} ]] && import -window root "$build/qel-gui-wine-failed.png" 2>/dev/null &&
    echo "the screen at the failure: $build/qel-gui-wine-failed.png" >&2
  exit 1
}
# A Windows path for a path of this machine (Wine's drive Z:).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

zip=$("$src/scripts/package-windows" --no-build | sed -n 's/: .*//p')
[[ -f $zip ]] || fail "no package"
mkdir -p "$tmp/app" "$tmp/spectra"
(cd "$tmp/app" && cmake -E tar xf "$zip")
exe=$(echo "$tmp"/app/*/qel-gui.exe)
[[ -f $exe ]] || fail "qel-gui.exe is not in $zip"
# What the window needs beyond the DLLs it imports (those the package checks):
# the plugins Qt loads by name and Qt's own texts in Russian.
for f in platforms/qwindows.dll styles/qwindowsvistastyle.dll translations/qtbase_ru.qm copyright.txt qel.exe; do
  [[ -f $(dirname "$exe")/$f ]] || fail "$f is not in the package"
done

mkfifo "$tmp/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xpid=$!
read -r -t 20 n <"$tmp/display" || fail "Xvfb did not start"
export DISPLAY=:$n
# Wine's own texts and file names in UTF-8 (the window's texts are the
# program's own, in Russian, whatever Windows' language).
export LC_ALL=C.UTF-8
"$wine" wineboot --init >/dev/null 2>&1 || fail "wineboot"
"$wineserver" -w

spectra=$(winpath "$tmp/spectra/")
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0]\r\n'
  printf '"Port"="COM9"\r\n"Mode"=dword:00000001\r\n"AutoSave"=dword:00000001\r\n"SaveStep"=dword:00000001\r\n'
  printf '"NameMask"="win"\r\n"NumbMask"=dword:00000001\r\n"WorkDir"="%s"\r\n\r\n' "${spectra//\\/\\\\}"
} >"$tmp/settings.reg"
"$wine" reg import "$(winpath "$tmp/settings.reg")" /reg:32 >/dev/null 2>&1 || fail "the settings were not imported"

# The instrument on COM9, just before the window opens it: what it sends
# meanwhile waits in the terminal. Passes of " 1 мин" in 15 s.
coproc SIM { exec "$tools/qel-sim" --link "$WINEPREFIX/dosdevices/com9" --time-scale 4 --noise 0 \
  --pass-log "$tmp/passes"; }
spid=$SIM_PID
read -r port <&"${SIM[0]}" || fail "qel-sim did not start"

started=$(date +%s%N)
# Started in the working folder: the PDF dialog opens there.
(cd "$tmp/spectra" && exec "$wine" "$exe") >"$tmp/gui.log" 2>&1 &
gpid=$!
window=
shown() { window=$(xdotool search --onlyvisible --name 'КЕЛ' 2>/dev/null | head -1); [[ -n $window ]]; }
within 60 shown || fail "no window"
echo "the window is on the screen $(( ($(date +%s%N) - started) / 1000000 )) ms after the start"

# Two files: the first (the pass under way) and one whole pass.
saved() { [[ -f $tmp/spectra/win00000002.qel ]]; }
within 120 saved || fail "no pass saved; $(ls "$tmp/spectra")"
sleep 1
"$tools/qel" info "$tmp/spectra/win00000002.qel" >"$tmp/info" || fail "qel info: $(cat "$tmp/info")"
grep -q "Скорость:  1 мин" "$tmp/info" || fail "the saved pass: $(cat "$tmp/info")"
"$tools/qel-soak-check" --pass-log "$tmp/passes" --dir "$tmp/spectra" --mask win --speed 8 >"$tmp/check" ||
  fail "the saved passes are not the simulator's: $(cat "$tmp/check")"
grep -q "points with a wrong value: 0" "$tmp/check" || fail "$(cat "$tmp/check")"
echo "saved and read back: $(head -1 "$tmp/check")"
# The screenshot and the sheet with half a pass drawn.
sleep 7
if command -v import >/dev/null; then import -window root "$build/qel-gui-wine.png"; fi

# Print: the toolbar's fourth button, "Печать"; with no printer, the PDF dialog.
xdotool mousemove --window "$window" 270 44 click 1 2>/dev/null
pdf_dialog() { xdotool search --onlyvisible --name 'Печать в файл PDF' >/dev/null 2>&1; }
within 20 pdf_dialog || fail "no PDF dialog after Печать"
sleep 0.5
xdotool type 'sheet.pdf' 2>/dev/null
xdotool key Return 2>/dev/null
# The dialog opens in the folder of the settings' files (the working folder).
pdf_written() { [[ -s $tmp/spectra/sheet.pdf ]] && pdftotext "$tmp/spectra/sheet.pdf" - 2>/dev/null | grep -q "Усиление"; }
within 20 pdf_written || fail "no sheet printed; $(ls "$tmp" "$tmp/spectra")"
echo "printed: $(pdfinfo "$tmp/spectra/sheet.pdf" | awk '/^Pages|^Page size/' | tr -s ' ' | paste -sd ';')"

# Closed as Windows closes a program (WM_CLOSE), the settings stored: the
# window's place (the Position key) is written only then.
# They go where the user may write them, HKEY_CURRENT_USER; the machine's
# key, read at the first start, is left as it was.
key='HKCU\SOFTWARE\Talvor\Qel\1.0'
position() { "$wine" reg query "$key\Position" /reg:32 >/dev/null 2>&1; }
# Taken over from the machine's key at the start; the window's place is
# then removed, for the close to store it again.
position || fail "the settings were not taken over into the user's key at the start"
"$wine" reg delete "$key\Position" /f /reg:32 >/dev/null 2>&1 || fail "reg delete"
"$wine" taskkill /IM qel-gui.exe >/dev/null 2>&1 || fail "taskkill"
ended() { ! kill -0 "$gpid" 2>/dev/null; }
within 30 ended || fail "the window did not close"
gpid=
position || fail "the window's place was not stored at the close"
stored=$("$wine" reg query "$key" /v NumbMask /reg:32 2>/dev/null | tr -d '\r' | awk '/NumbMask/ {print $3}')
[[ -n $stored ]] && ((stored >= 3)) || fail "NumbMask after two saves: '$stored'"
machine=$("$wine" reg query 'HKLM\SOFTWARE\Talvor\Qel\1.0' /v NumbMask /reg:32 2>/dev/null | tr -d '\r' | awk '/NumbMask/ {print $3}')
((machine == 1)) || fail "the machine's key was written: NumbMask '$machine'"
echo "closed; settings stored (NumbMask $((stored)); the machine's key as it was)"

# A logout (WM_QUERYENDSESSION, then WM_ENDSESSION, and the process ends):
# the window closes first and stores its settings.
"$wine" reg delete "$key\Position" /f /reg:32 >/dev/null 2>&1 || fail "reg delete"
(cd "$tmp/spectra" && exec "$wine" "$exe") >>"$tmp/gui.log" 2>&1 &
gpid=$!
within 60 shown || fail "no window at the second start"
sleep 2
"$wine" wineboot --end-session >/dev/null 2>&1 || fail "wineboot --end-session"
within 30 ended || fail "the window did not end with the session"
gpid=
position || fail "the settings were not stored at the logout"
echo "ended with the session; settings stored"
