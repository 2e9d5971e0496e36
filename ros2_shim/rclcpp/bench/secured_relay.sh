#!/usr/bin/env bash
# The one-hop relay of bench_graph with DDS Security off, then on, in one run: relay CPU and
# latency percentiles side by side, and the CPU ratio secured/plain.
#
# Secured means ROS_SECURITY_STRATEGY=Enforce with a keystore made for the run by
# scripts/keystore: its governance signs RTPS and encrypts data and discovery, and every process
# (source, relay, sink) uses the enclave /bench, whose permissions allow everything.
#
# Usage: secured_relay.sh [BENCH_GRAPH] [RATE_HZ]
#   BENCH_GRAPH  the bench_graph program (default: the repository's install/ tree)
#   RATE_HZ      the source's rate (default 1000)
# Loopback only, in ROS_DOMAIN_ID (default 41).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
bench="${1:-${repo}/install/rclcpp/lib/rclcpp/bench_graph}"
rate="${2:-1000}"
keystore_tool="${repo}/scripts/keystore"
[[ -x "$bench" ]] || { echo "no bench_graph at $bench (build rclcpp first)" >&2; exit 2; }
[[ -x "$keystore_tool" ]] || { echo "no keystore tool at $keystore_tool" >&2; exit 2; }

export ROS_LOCALHOST_ONLY=1
export ROS_DOMAIN_ID="${ROS_DOMAIN_ID:-41}"
unset ROS_SECURITY_ENABLE ROS_SECURITY_STRATEGY ROS_SECURITY_KEYSTORE ROS_SECURITY_ENCLAVE_OVERRIDE

work="$(mktemp -d /tmp/secured_relay_XXXXXX)"
trap 'rm -rf "$work"' EXIT
# The documents name the domain, so the keystore is made for this run's ROS_DOMAIN_ID.
"$keystore_tool" create_keystore "$work/keystore" >/dev/null
"$keystore_tool" create_enclave "$work/keystore" /bench >/dev/null

filter="BM_RelayOneHop/${rate}/"
echo "==> plain relay at ${rate} Hz" >&2
"$bench" --benchmark_filter="$filter" --benchmark_out="$work/plain.json" \
  --benchmark_out_format=json >&2
echo "==> secured relay at ${rate} Hz (Enforce, encrypted)" >&2
ROS_SECURITY_ENABLE=true ROS_SECURITY_STRATEGY=Enforce ROS_SECURITY_KEYSTORE="$work/keystore" \
  ROS_SECURITY_ENCLAVE_OVERRIDE=/bench \
  "$bench" --benchmark_filter="$filter" --benchmark_out="$work/secured.json" \
  --benchmark_out_format=json >&2

/usr/bin/python3 - "$work/plain.json" "$work/secured.json" "$rate" <<'EOF'
import json
import sys

def counters(path):
    runs = json.load(open(path))['benchmarks']
    if not runs or 'error_message' in runs[0]:
        reason = runs[0].get('error_message', '') if runs else 'no result'
        sys.exit(f'{path}: the benchmark did not run: {reason}')
    return runs[0]

plain, secured = counters(sys.argv[1]), counters(sys.argv[2])
print(f'relay at {sys.argv[3]} Hz      plain    secured')
for key, unit in (('relay_cpu_pct', '%'), ('p50_us', 'us'), ('p90_us', 'us'), ('p99_us', 'us'),
                  ('received', ''), ('lost', '')):
    print(f'{key + " " + unit:<18} {plain[key]:>9.1f} {secured[key]:>10.1f}')
ratio = secured['relay_cpu_pct'] / plain['relay_cpu_pct'] if plain['relay_cpu_pct'] else 0.0
print(f'relay CPU secured/plain: {ratio:.2f}x')
EOF
