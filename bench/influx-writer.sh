#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The InfluxDB writer's points per second (a measurement, not a test; target: at least 100,000):
# a release build of bench_influx_writer writes POINTS (default 1,000,000) points of the sample's
# records into a local influxd of its own (Debian's influxdb, on free loopback ports, its data in
# a temporary folder), in the batches of 5,000 that --influx-url sends, timed from the first point
# until every batch is taken; then the same without a network (the writer alone). Peak memory by
# /usr/bin/time. The server's count of points is checked against what was sent.
#
#   bench/influx-writer.sh [POINTS]
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/loopback_ports.sh
points=${1:-1000000}

build=build/bench-influx
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALPHEX_BUILD_GUI=OFF \
  -DTALPHEX_BUILD_TESTS=OFF -DTALPHEX_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target bench_influx_writer >/dev/null
bench=$PWD/$build/bench/bench_influx_writer
sample=$PWD/data/sample-pass.kss

work=$(mktemp -d "${TMPDIR:-/tmp}/talphex-influx-bench-XXXXXX")
influxd_pid=
cleanup() {
  [ -z "$influxd_pid" ] || kill "$influxd_pid" 2>/dev/null || true
  [ -z "$influxd_pid" ] || wait "$influxd_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
http_port=$(free_port)
rpc_port=$(free_port "$http_port")
influxdb_conf "$work" "$http_port" "$rpc_port"
influxd run -config "$work/influxdb.conf" >"$work/influxd.log" 2>&1 &
influxd_pid=$!
url="http://127.0.0.1:$http_port"
for _ in $(seq 100); do curl -sf "$url/ping" >/dev/null && break; sleep 0.1; done
curl -sf -XPOST "$url/query" --data-urlencode "q=CREATE DATABASE bench" >/dev/null

echo "influxd $(influxd version 2>/dev/null | head -1) on $(nproc) cores; $points points of the sample's records"
mkdir -p "$work/cache"
# The server's own CPU time (user + system, in clock ticks) shows where the time goes.
cpu() { awk '{print $14 + $15}' "/proc/$influxd_pid/stat"; }
before=$(cpu)
/usr/bin/time -f 'writer process (making the lines and sending them): %e s, peak %M KB' \
  "$bench" "$sample" "$url/write?db=bench" "$points" "$work/cache"
echo "influxd CPU time meanwhile: $(( ($(cpu) - before) / $(getconf CLK_TCK) )) s"
stored=0
for kind in beacon payload; do
  n=$(curl -sf -G "$url/query" --data-urlencode "db=bench" \
    --data-urlencode "q=SELECT count(\"record\") FROM talphex_$kind" |
    python3 -c 'import json,sys; s=json.load(sys.stdin)["results"][0].get("series"); print(s[0]["values"][0][1] if s else 0)')
  stored=$((stored + n))
done
echo "points stored in InfluxDB: $stored"
/usr/bin/time -f 'writer alone: %e s, peak %M KB' "$bench" "$sample" - "$points" "$work/cache"
