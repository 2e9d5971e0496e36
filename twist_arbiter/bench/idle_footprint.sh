#!/usr/bin/env bash
# What twist_arbiter_main costs while idle: CPU use and peak resident memory (VmHWM).
#
#   bench/idle_footprint.sh PROGRAM [CONFIG] [SECONDS]
#
# Starts PROGRAM --ros-args --params-file CONFIG, lets it settle for 3 s (start-up and
# discovery), then measures its CPU time over SECONDS (default 30; the diagnostics timer fires
# every second meanwhile), reads VmHWM and VmRSS from /proc, stops it with SIGINT and prints the
# figures. Exits 1 if the program dies early or does not exit 0.
set -euo pipefail

program="${1:?usage: idle_footprint.sh PROGRAM [CONFIG] [SECONDS]}"
config="${2:-$(dirname "$0")/../../share/twist_arbiter/config/twist_arbiter.yaml}"
seconds="${3:-30}"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$program" --ros-args --params-file "$config" >"$log" 2>&1 &
pid=$!

alive() {
  kill -0 "$pid" 2>/dev/null || { echo "program ended early:" >&2; cat "$log" >&2; exit 1; }
}
# utime + stime in clock ticks (fields 14 and 15, counted after the command name).
cpu_ticks() { sed -E 's/^.*\) //' "/proc/$pid/stat" | awk '{print $12 + $13}'; }

sleep 3
alive
start=$(cpu_ticks)
sleep "$seconds"
alive
end=$(cpu_ticks)
hwm=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status")
rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
kill -INT "$pid"
status=0
wait "$pid" || status=$?

awk -v hwm="$hwm" -v rss="$rss" -v st="$status" -v t0="$start" -v t1="$end" \
  -v hz="$(getconf CLK_TCK)" -v s="$seconds" 'BEGIN {
  printf "twist_arbiter_main idle: CPU %.2f %% of one core over %d s, VmHWM %d kB (%.1f MiB), VmRSS %d kB, exit status %d\n", 100 * (t1 - t0) / hz / s, s, hwm, hwm / 1024, rss, st
}'
[[ $status -eq 0 ]]
