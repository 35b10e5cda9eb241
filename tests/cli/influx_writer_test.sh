#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# --influx-url into a real InfluxDB: a server of its own, started here on free loopback ports
# with its data in a temporary folder, and the cache folder (XDG_CACHE_HOME) there too.
# 1. The sample streamed slowly on standard input while the server is stopped for 10 s and
#    started again on its data: the points wait in the spool meanwhile, and afterwards the
#    server holds one point per record with a receive time, the spool is empty and the run says
#    it could not write, then that it writes again.
# 2. A field-type conflict made first with curl: the server rejects the beacon points, the run
#    says so with the server's reason and keeps them in a rejected-*.lp file it names.
set -euo pipefail
source "$(dirname "$0")/../loopback_ports.sh"
cli=$1
sample=$2
work=$(mktemp -d)
influxd_pid=
cli_pid=
cleanup() {
  [ -z "$cli_pid" ] || kill "$cli_pid" 2>/dev/null || true
  [ -z "$influxd_pid" ] || kill "$influxd_pid" 2>/dev/null || true
  [ -z "$influxd_pid" ] || wait "$influxd_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
fail() { echo "FAIL: $*"; for log in *.err influxd.log; do [ -e "$log" ] && { echo "== $log"; cat "$log"; }; done; exit 1; }

http_port=$(free_port)
rpc_port=$(free_port "$http_port")
influxdb_conf "$work" "$http_port" "$rpc_port"
url="http://127.0.0.1:$http_port"
start_influxd() {
  influxd run -config influxdb.conf >>influxd.log 2>&1 &
  influxd_pid=$!
  for _ in $(seq 150); do curl -sf "$url/ping" >/dev/null && return; sleep 0.1; done
  fail "InfluxDB does not answer on $http_port"
}
stop_influxd() {
  kill "$influxd_pid"
  wait "$influxd_pid" 2>/dev/null || true
  influxd_pid=
}
query() { curl -sf -G "$url/query" --data-urlencode "db=$1" --data-urlencode "q=$2"; }
# The number of points of both measurements in database $1.
points() {
  local total=0 kind n
  for kind in beacon payload; do
    n=$(query "$1" "SELECT count(\"record\") FROM talphex_$kind" |
      python3 -c 'import json,sys; s=json.load(sys.stdin)["results"][0].get("series"); print(s[0]["values"][0][1] if s else 0)')
    total=$((total + n))
  done
  echo "$total"
}

export XDG_CACHE_HOME=$work/cache
cache=$XDG_CACHE_HOME/talphex
start_influxd
query talphex "CREATE DATABASE talphex" >/dev/null
query conflict "CREATE DATABASE conflict" >/dev/null
"$cli" --station GS-1 --influx sample.lp "$sample"
records=$(wc -l <sample.lp)
host=127.0.0.1:$http_port

# 1. The sample's bytes a frame at a time over about 25 s; the server away from 5 s to 15 s.
python3 - "$sample" <<'PY' | "$cli" - --station GS-1 --influx-url "$url/write?db=talphex" \
  >stream.out 2>stream.err &
import sys
import time

data = open(sys.argv[1], "rb").read()
pieces = data.split(b"\xc0")
for i, piece in enumerate(pieces):
    sys.stdout.buffer.write(piece + (b"\xc0" if i + 1 < len(pieces) else b""))
    sys.stdout.buffer.flush()
    time.sleep(25 / len(pieces))
PY
cli_pid=$!
sleep 5
stop_influxd
sleep 9
[ -s "$cache/influx-spool.lp" ] || fail "no points wait in the spool while the server is away"
sleep 1
start_influxd
wait "$cli_pid" || fail "exit status $? of the streaming run"
cli_pid=
grep -q "^talphex-cli: InfluxDB $host: cannot write: .*; [0-9]* points wait in $cache/influx-spool.lp, retrying in [0-9.]* s$" \
  stream.err || fail "no line says the server cannot be reached"
grep -q "^talphex-cli: InfluxDB $host: writing again; [0-9]* points waiting$" stream.err ||
  fail "no line says the server takes points again"
grep -qx "talphex-cli: InfluxDB $host: $records sent, 0 waiting, 0 rejected, 0 dropped" stream.err ||
  fail "summary of the streaming run, of $records records"
[ ! -s "$cache/influx-spool.lp" ] || fail "points left in the spool"
[ "$(points talphex)" = "$records" ] || fail "$(points talphex) points in InfluxDB for $records records"

# 2. A string where the beacon's battery voltage is a float, in the same shard as the sample.
stamp=$(grep -m1 '^talphex_beacon' sample.lp | awk '{print $NF}')
curl -sf -XPOST "$url/write?db=conflict" \
  --data-binary "talphex_beacon,station=GS-1 battery_volt_1_v=\"text\" $stamp"
status=0
"$cli" --station GS-1 --influx-url "$url/write?db=conflict" "$sample" >conflict.out \
  2>conflict.err || status=$?
[ "$status" = 1 ] || fail "exit status $status with rejected points"
grep -q "^talphex-cli: InfluxDB $host: rejected [0-9]* points: HTTP 400: partial write: field type conflict.*; kept in $cache/rejected-[0-9]\{8\}T[0-9]\{6\}-[0-9]*.lp$" \
  conflict.err || fail "no line names the rejected points, the reason and the file"
grep -q "^talphex-cli: InfluxDB $host: [0-9]* sent, 0 waiting, [1-9][0-9]* rejected, 0 dropped$" \
  conflict.err || fail "summary of the rejected run"
# Every beacon point is in a rejected file, as written, and nothing else is there.
cat "$cache"/rejected-*.lp >rejected.lp
grep '^talphex_beacon' sample.lp | sort >beacons.lp
[ -z "$(comm -23 beacons.lp <(sort rejected.lp))" ] || fail "beacon points missing from rejected files"
[ -z "$(comm -13 <(sort sample.lp) <(sort rejected.lp))" ] || fail "rejected files hold other lines"
echo "InfluxDB: $records points through a 10 s outage; $(wc -l <rejected.lp) rejected points kept"
