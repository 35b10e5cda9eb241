#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# --mqtt-subscribe against a real broker: a mosquitto of its own on a free loopback port, with its
# persistence in a temporary folder. Checked:
# 1. three stations publish overlapping parts of the sample pass at once into one merging
#    subscriber: its analysis CSV is the whole pass's (each record once, in order), and the
#    records of the overlaps name both stations; malformed messages sent meanwhile give one
#    escaped line each and change nothing else;
# 2. a station publishing slowly while the broker is stopped and started again, and while the
#    subscriber is ended and started again: the two subscriber runs together decode every frame
#    of the pass once.
set -euo pipefail
source "$(dirname "$0")/../loopback_ports.sh"
cli=$1
sample=$2
work=$(mktemp -d)
broker_pid=
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  [ -z "$broker_pid" ] || kill "$broker_pid" 2>/dev/null || true
  [ -z "$broker_pid" ] || wait "$broker_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
fail() { echo "FAIL: $*"; for log in *.err mosquitto.log; do [ -e "$log" ] && { echo "== $log"; cat -v "$log"; }; done; exit 1; }

port=$(free_port)
url="mqtt://127.0.0.1:$port"
mosquitto_conf "$work" "$port"
start_broker() {
  mosquitto -c mosquitto.conf &
  broker_pid=$!
  for _ in $(seq 100); do listening "$port" && return; sleep 0.1; done
  fail "mosquitto does not listen on $port"
}
# SIGTERM: the broker saves its sessions and their waiting messages before it ends.
stop_broker() {
  kill "$broker_pid"
  wait "$broker_pid" 2>/dev/null || true
  broker_pid=
}
# Waits until FILE has COUNT lines (default 1) matching PATTERN (grep -E), at most 20 s.
await() {
  for _ in $(seq 200); do
    [ "$(grep -Ec "$2" "$1" 2>/dev/null)" -ge "${3:-1}" ] && return
    sleep 0.1
  done
  fail "$1 never says: $2"
}

# The sample cut at frame boundaries: each frame with the timestamp part before it. Frames 30 to
# 49 go to T1 and T2, 80 to 89 to T2 and T3; receive times shared by two frames stay with one
# station, so that the merged order is the file's.
python3 - "$sample" <<'PY'
import sys
parts = [p for p in open(sys.argv[1], "rb").read().split(b"\xc0") if p]
units = [parts[i] + b"\xc0" + parts[i + 1] + b"\xc0" for i in range(0, len(parts), 2)]
assert len(units) == 112 and all(len(parts[i]) == 28 for i in range(0, len(parts), 2))
for name, first, end in (("T1", 0, 50), ("T2", 30, 90), ("T3", 80, 112)):
    open(name + ".kss", "wb").write(b"".join(units[first:end]))
open("units.txt", "w").write("\n".join(u.hex() for u in units))
PY
"$cli" "$sample" --analysis-csv whole.csv
frames=112

# The CSV without the columns that name where a record came from: source and record number (a
# second run counts from 1 again) and the stations.
check_csv() {
  python3 - whole.csv "$@" <<'PY'
import csv, sys
whole, *merged_files = sys.argv[1:]
def rows(path, merged):
    table = list(csv.reader(open(path, newline="", encoding="utf-8")))
    if merged and table[0][-1] != "stations":
        sys.exit("%s: no stations column last" % path)
    return [r[:1] + r[2:3] + r[4:len(r) - merged] for r in table[1:]]
expected = rows(whole, 0)
got = [row for path in merged_files for row in rows(path, 1)]
if got != expected:
    print("FAIL: %d records merged, %d in the pass" % (len(got), len(expected)))
    for i, (a, b) in enumerate(zip(got, expected)):
        if a != b:
            print("first difference at record %d: %s / %s" % (i + 1, a[:3], b[:3]))
            break
    sys.exit(1)
PY
}

start_broker

# 1. Three stations at once into one subscriber; junk and control bytes on the frames topics.
"$cli" --mqtt "$url" --mqtt-subscribe --station M1 --frames "$frames" --seconds 60 \
  --analysis-csv merged.csv --jsonl merged.jsonl >M1.out 2>M1.err &
pids+=($!)
merger=$!
await M1.err "subscribed to talphex/\+/frames"
mosquitto_pub -p "$port" -h 127.0.0.1 -q 1 -t talphex/J1/frames -m 'junk'
mosquitto_pub -p "$port" -h 127.0.0.1 -q 1 -t talphex/J2/frames \
  -m $'{"rx_time_utc":null,"station":"J2\x1b[2J","frame_hex":"00","kiss_port":0}'
mosquitto_pub -p "$port" -h 127.0.0.1 -q 1 -t talphex/J3/frames -m $'\x1b]0;owned\x07'
for station in T1 T2 T3; do
  "$cli" "$station.kss" --mqtt "$url" --mqtt-publish --station "$station" >"$station.out" \
    2>"$station.err" &
  pids+=($!)
done
for pid in "${pids[@]:1}"; do wait "$pid" || fail "a publisher's exit status $?"; done
wait "$merger" || fail "the merging run's exit status $?"
pids=()
check_csv merged.csv || fail "merged CSV"
prefix="talphex-cli: MQTT $url: malformed message on"
grep -qxF "$prefix talphex/J1/frames: not a JSON object" M1.err || fail "no line for junk"
grep -qxF "$prefix talphex/J2/frames: station: expected a plain string, a small integer or null" \
  M1.err || fail "no line for a station with control bytes"
grep -qxF "$prefix talphex/J3/frames: not a JSON object" M1.err || fail "no line for escapes"
if grep -q $'[\x01-\x08\x0b-\x1f\x7f]' M1.err; then fail "a control byte reached standard error"; fi
grep -qxF "talphex-cli: MQTT $url: 142 frames received, 30 duplicates, 3 malformed" M1.err ||
  fail "summary of the merge"
# Records of the overlaps name both stations, the others their own, each station once.
python3 - merged.csv merged.jsonl <<'PY' || fail "stations"
import csv, json, sys
rows = list(csv.DictReader(open(sys.argv[1], newline="", encoding="utf-8")))
lines = [json.loads(line) for line in open(sys.argv[2], encoding="utf-8")]
for i, (row, line) in enumerate(zip(rows, lines)):
    expected = {s for s, first, end in (("T1", 0, 50), ("T2", 30, 90), ("T3", 80, 112))
                if first <= i < end}
    names = row["stations"].split(" ")
    if set(names) != expected or len(names) != len(expected) or line["stations"] != names:
        sys.exit("record %d: stations %r / %r, expected %s" % (i + 1, names, line["stations"],
                                                               sorted(expected)))
PY

# 2. One station publishing a frame every 80 ms from standard input. The broker is stopped and
# started again, and the subscriber ended by SIGTERM and started again, while it publishes.
"$cli" --mqtt "$url" --mqtt-subscribe talphex/P/frames --station M2 --seconds 60 \
  --analysis-csv part1.csv >M2a.out 2>M2a.err &
pids+=($!)
await M2a.err "subscribed to talphex/P/frames"
python3 -c '
import sys, time
for unit in open("units.txt").read().split():
    sys.stdout.buffer.write(bytes.fromhex(unit)); sys.stdout.flush(); time.sleep(0.08)
' | "$cli" - --mqtt "$url" --mqtt-publish --station P >P.out 2>P.err &
pids+=($!)
publisher=$!
sleep 2
stop_broker
sleep 1
start_broker
# The subscriber back in its session, and frames decoded after it.
await M2a.err "subscribed to talphex/P/frames" 2
sleep 1
kill -TERM "${pids[0]}"
wait "${pids[0]}" || true
# Frames published while no subscriber runs wait in its session.
sleep 1
decoded=$(($(wc -l <part1.csv) - 1))
[ "$decoded" -gt 0 ] && [ "$decoded" -lt "$frames" ] || fail "first run decoded $decoded frames"
"$cli" --mqtt "$url" --mqtt-subscribe talphex/P/frames --station M2 --seconds 60 \
  --frames $((frames - decoded)) --analysis-csv part2.csv >M2b.out 2>M2b.err &
pids+=($!)
wait "$publisher" || fail "the slow publisher's exit status $?"
wait "${pids[2]}" || fail "the second merging run's exit status $?"
pids=()
check_csv part1.csv part2.csv || fail "the two runs of the restarted subscriber"
echo "MQTT merge: $frames frames from three stations; $decoded + $((frames - decoded)) across restarts"
