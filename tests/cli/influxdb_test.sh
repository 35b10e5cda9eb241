#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The --influx export written into a real InfluxDB: a server of its own, started here on free
# loopback ports with its data in a temporary folder, takes the sample's export and that of a
# capture whose frames share receive times (millisecond stamps, several frames to one stamp) and a
# live burst of 112 frames in one write from a TNC. Every
# record must be one point, and the values read back must be those of the analysis CSV.
set -euo pipefail
source "$(dirname "$0")/../loopback_ports.sh"
cli=$1
sample=$2
work=$(mktemp -d)
influxd_pid=
cleanup() {
  [ -z "$influxd_pid" ] || kill "$influxd_pid" 2>/dev/null || true
  [ -z "$influxd_pid" ] || wait "$influxd_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

http_port=$(free_port)
rpc_port=$(free_port "$http_port")

# Only the HTTP service, on loopback; no reporting, no other listener, everything in $work.
influxdb_conf "$work" "$http_port" "$rpc_port"
influxd run -config influxdb.conf >influxd.log 2>&1 &
influxd_pid=$!
url="http://127.0.0.1:$http_port"
for _ in $(seq 100); do
  curl -sf "$url/ping" >/dev/null && break
  sleep 0.1
done
curl -sf "$url/ping" >/dev/null || { cat influxd.log; echo "InfluxDB does not answer on $http_port"; exit 1; }
curl -sf -XPOST "$url/query" --data-urlencode "q=CREATE DATABASE talphex" >/dev/null

# The sample's frames, each after a millisecond stamp instead of its timestamp part: four frames
# to one stamp, stamps 7 ms apart, so that many records share a receive time.
python3 - "$sample" shared.kss <<'EOF'
import sys

parts = open(sys.argv[1], "rb").read().split(b"\xc0")
frames = [part for part in parts if part and len(part) != 28]
out = bytearray(b"\xc0")
for i, frame in enumerate(frames):
    ms = 1794649263000 + (i // 4) * 7
    stamp = b"\x09" + ms.to_bytes(8, "big")
    stamp = stamp.replace(b"\xdb", b"\xdb\xdd").replace(b"\xc0", b"\xdb\xdc")
    out += stamp + b"\xc0" + frame + b"\xc0"
open(sys.argv[2], "wb").write(out)
EOF

for capture in "$sample" shared.kss; do
  name=$(basename "$capture")
  "$cli" --station GS-1 --influx "$name.lp" --analysis-csv "$name.csv" "$capture"
  curl -sf -XPOST "$url/write?db=talphex&precision=ns" --data-binary "@$name.lp"
done

# A live burst: a TNC that sends the sample's 112 frames, without their timestamp parts, in one
# write, so that they arrive within the same millisecond or so.
tnc_port=$(free_port "$http_port" "$rpc_port")
python3 - "$sample" "$tnc_port" <<'EOF' &
import socket
import sys

parts = open(sys.argv[1], "rb").read().split(b"\xc0")
burst = b"\xc0" + b"".join(part + b"\xc0" for part in parts if part and len(part) != 28)
server = socket.create_server(("127.0.0.1", int(sys.argv[2])))
server.settimeout(30)
open("tnc.ready", "w").close()
connection, _ = server.accept()
connection.sendall(burst)
connection.recv(1)
EOF
tnc_pid=$!
# Told by a file, since a probe connection would take the one the server serves.
for _ in $(seq 100); do [ -e tnc.ready ] && break; sleep 0.1; done
"$cli" --station GS-1 --kiss-tcp "127.0.0.1:$tnc_port" --frames 112 --seconds 30 --influx burst.lp \
  --analysis-csv burst.csv 2>/dev/null
wait "$tnc_pid" || true
curl -sf -XPOST "$url/write?db=talphex&precision=ns" --data-binary "@burst.lp"

python3 - "$url" "$(basename "$sample")" shared.kss burst <<'EOF'
import csv
import json
import sys
import urllib.parse
import urllib.request

url, captures = sys.argv[1], sys.argv[2:]
failures = []


def query(q):
    address = url + "/query?" + urllib.parse.urlencode({"db": "talphex", "q": q})
    with urllib.request.urlopen(address) as answer:
        result = json.load(answer)["results"][0]
    return result.get("series", [])


for capture in captures:
    with open(capture + ".csv", newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    for kind in ("beacon", "payload"):
        records = [row for row in rows if row["kind"] == kind]
        series = query("SELECT count(\"record\") FROM talphex_%s WHERE \"source\" = '%s' "
                       "AND \"station\" = 'GS-1'" % (kind, rows[0]["source"]))
        points = series[0]["values"][0][1] if series else 0
        print("%s %s: %d records, %d points" % (capture, kind, len(records), points))
        if points != len(records):
            failures.append("%s %s: %d points for %d records" % (capture, kind, points,
                                                                len(records)))
    # Three values read back: an integer, a calibrated value and one of the last record.
    chosen = [("beacon", "1", "Message No.", "message_no"),
              ("beacon", "7", "Battery Volt 1 [V]", "battery_volt_1_v"),
              ("payload", str(sum(row["kind"] == "payload" for row in rows)),
               "Supervisor Time [s]", "supervisor_time_s")]
    for kind, record, column, key in chosen:
        cell = next(row[column] for row in rows if row["kind"] == kind and row["record"] == record)
        series = query("SELECT \"%s\" FROM talphex_%s WHERE \"source\" = '%s' AND \"record\" = %s"
                       % (key, kind, rows[0]["source"], record))
        values = series[0]["values"] if series else []
        if len(values) != 1 or float(values[0][1]) != float(cell):
            failures.append("%s %s %s %s: %r, the CSV has %s" % (capture, kind, record, key,
                                                                values, cell))

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
EOF
