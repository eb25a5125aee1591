# Shared by the scripts that run qel-gui against qel-sim (sourced, not run).

# A settings file of its own under a folder given as XDG_CONFIG_HOME:
#   write_settings DIR Name=value ...   (digits: a dword, otherwise a string)
write_settings() {
  local dir=$1 kv k v
  shift
  mkdir -p "$dir/Talvor/Qel"
  {
    printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Talvor\\Qel\\1.0]\n'
    for kv in "$@"; do
      k=${kv%%=*}
      v=${kv#*=}
      if [[ $v =~ ^[0-9]+$ ]]; then printf '"%s"=dword:%08x\n' "$k" "$v"; else printf '"%s"="%s"\n' "$k" "$v"; fi
    done
    printf '\n'
  } >"$dir/Talvor/Qel/1.0.reg"
}

# An X server of its own; sets DISPLAY and remembers the server's pid.
start_xvfb() {
  local n
  for n in $(seq 70 99); do
    [[ -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && return 0; sleep 0.1; done
    kill "$XVFB_PID" 2>/dev/null
  done
  echo "no X server" >&2
  return 1
}

# utime + stime of a process, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Time on a core of all threads of a process, in nanoseconds (the scheduler's
# own account: finer than the clock ticks, which an idle program hardly moves).
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%d\n", s}'; }
# Wake-ups of all threads of a process so far (voluntary context switches).
wakeups() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches/ {s += $2} END {print s}'; }
# Busy and total ticks of the whole machine.
machine_ticks() { awk '/^cpu / {print $2+$3+$4+$7+$8+$9, $2+$3+$4+$5+$6+$7+$8+$9}' /proc/stat; }
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

# The main window of a process, once it is shown.
wait_window() {
  local pid=$1 w
  for _ in $(seq 200); do
    w=$(xdotool search --onlyvisible --pid "$pid" --name 'КЕЛ' 2>/dev/null | head -1 || true)
    [[ -n $w ]] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}

# Waits until a link made by qel-sim exists.
wait_link() { for _ in $(seq 100); do [[ -e $1 ]] && return 0; sleep 0.05; done; return 1; }

# Waits up to $1 seconds for the command that follows to succeed.
within() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.2
  done
}
