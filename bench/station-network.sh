#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The station network's speed (a measurement, not a test): 10 publishing talphex-cli processes
# (`- --mqtt-publish --station Pn`), each fed 100 distinct frames a second on standard input for
# SECONDS (default 60), through one local mosquitto (started here on a free loopback port, its
# configuration in a temporary folder, stopped by its process id) into one merging subscriber
# (`--mqtt-subscribe --jsonl -`). bench/station-network.py paces the frames and reads the
# subscriber's records; it prints frames lost and decoded twice, the publish-to-decoded latency
# (p50, p99, as measured and without the merger's 2 s hold), the subscriber's CPU share of a core
# and its peak memory, and the broker's CPU. Targets: nothing lost or doubled, p99 without the hold
# under 50 ms, the subscriber under 20% of a core. The exit status is 1 when a frame is lost or
# doubled or a process fails.
#
#   bench/station-network.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/loopback_ports.sh

seconds=${1:-60}
stations=10
rate=100
# Each frame is told apart by its 16-bit message number or supervisor time: at most 65,536
# frames, which the merger also remembers as seen.
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ] ||
    [ $((stations * rate * seconds)) -gt 65536 ]; then
  echo "usage: bench/station-network.sh [SECONDS], 1 to $((65536 / stations / rate))" >&2
  exit 2
fi

cmake --preset release >/dev/null
cmake --build --preset release --target talphex-cli make-big-capture >/dev/null
build=$PWD/build/release

work=$(mktemp -d "${TMPDIR:-/tmp}/talphex-station-bench-XXXXXX")
broker_pid=
cleanup() {
  [ -z "$broker_pid" ] || kill "$broker_pid" 2>/dev/null || true
  [ -z "$broker_pid" ] || wait "$broker_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The generator writes about 12,000 frames a megabyte, each different from the others.
frames=$((stations * rate * seconds))
"$build/tools/make-big-capture" "$work/frames.kss" $((frames / 12000 + 1)) >/dev/null

port=$(free_port)
mosquitto_conf "$work" "$port"
mosquitto -c "$work/mosquitto.conf" >"$work/mosquitto.out" 2>&1 &
broker_pid=$!
for _ in $(seq 100); do listening "$port" && break; sleep 0.1; done
listening "$port" || { echo "mosquitto does not listen on $port" >&2; exit 1; }

echo "$stations publishers x $rate frames/s for $seconds s through mosquitto" \
  "$(mosquitto -h 2>/dev/null | sed -n 's/^mosquitto version //p' | head -1) on $(nproc) cores"
status=0
python3 bench/station-network.py --cli "$build/src/app/talphex-cli" --capture "$work/frames.kss" \
  --url "mqtt://127.0.0.1:$port" --stations "$stations" --rate "$rate" --seconds "$seconds" \
  --broker-pid "$broker_pid" --work "$work" || status=$?
echo "The InfluxDB writer's points per second: bench/influx-writer.sh [POINTS]"
exit $status
