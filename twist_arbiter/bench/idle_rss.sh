#!/usr/bin/env bash
# Peak resident memory (VmHWM) of twist_arbiter_main idling with a parameter file.
#
#   bench/idle_rss.sh PROGRAM [CONFIG] [SECONDS]
#
# Starts PROGRAM --ros-args --params-file CONFIG, lets it idle for SECONDS (default 3; the
# diagnostics timer fires every second meanwhile), reads VmHWM and VmRSS from /proc, stops it
# with SIGINT and prints the figures. Exits 1 if the program dies early or does not exit 0.
set -euo pipefail

program="${1:?usage: idle_rss.sh PROGRAM [CONFIG] [SECONDS]}"
config="${2:-$(dirname "$0")/../config/twist_arbiter.yaml}"
seconds="${3:-3}"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$program" --ros-args --params-file "$config" >"$log" 2>&1 &
pid=$!

sleep "$seconds"
if ! kill -0 "$pid" 2>/dev/null; then
  echo "program ended early:" >&2
  cat "$log" >&2
  exit 1
fi
hwm=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status")
rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
kill -INT "$pid"
status=0
wait "$pid" || status=$?

awk -v hwm="$hwm" -v rss="$rss" -v st="$status" 'BEGIN {
  printf "twist_arbiter_main idle: VmHWM %d kB (%.1f MiB), VmRSS %d kB, exit status %d\n", hwm, hwm / 1024, rss, st
}'
[[ $status -eq 0 ]]
