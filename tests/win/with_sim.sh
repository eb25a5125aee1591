#!/usr/bin/env bash
# Runs a Windows test program under Wine with the simulated instrument on a
# COM port: qel-sim (built for this machine) keeps its pseudo-terminal at
# the Wine prefix's dosdevices/comN, which Wine opens as COMN.
#   with_sim.sh QEL-SIM WINEPREFIX COMN WINESERVER -- COMMAND...
set -euo pipefail
sim=$1 prefix=$2 com=$3 wineserver=$4
shift 5
link="$prefix/dosdevices/${com,,}"
mkdir -p "$prefix/dosdevices"
# QEL_SIM_ARGS: the simulator's options (ten times faster than real time).
read -ra sim_args <<<"${QEL_SIM_ARGS:---time-scale 10}"
coproc SIM { exec "$sim" "${sim_args[@]}" --link "$link"; }
# Wine's server holds the terminal as its own; it goes before the terminal
# does, or the hang-up makes it print its objects.
trap 'WINEPREFIX=$prefix "$wineserver" -w || true; kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true' EXIT
# Its first line, the port's path, comes once the link is in place.
read -r port <&"${SIM[0]}"
echo "qel-sim on $port as $com"
QEL_TEST_COM=$com "$@"
