#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# --mqtt-publish into a real broker: a mosquitto of its own, started here on a free loopback port
# with its configuration and its persistence file in a temporary folder. Subscribers hold
# persistent sessions (clean session off), so the broker keeps every message for them and no
# subscriber has to be listening at the moment the CLI publishes. Checked: every frame and record
# of the sample arrives as valid JSON (the records equal the --jsonl export line for line, the
# frames the sample's bytes); the status is retained "online" while a CLI runs and becomes
# "offline" by the last will when it is killed; a run without the options opens no socket; a CLI
# started before the broker reports that it cannot connect, keeps its messages and delivers them
# when the broker appears; with no broker at all the queue keeps the newest 10,000, the summary
# counts the dropped and the undelivered, and the exit status is 1.
set -euo pipefail
source "$(dirname "$0")/../loopback_ports.sh"
cli=$1
sample=$2
work=$(mktemp -d)
broker_pid=
cli_pid=
cleanup() {
  exec 8>&- 2>/dev/null || true
  [ -z "$cli_pid" ] || kill -9 "$cli_pid" 2>/dev/null || true
  [ -z "$broker_pid" ] || kill "$broker_pid" 2>/dev/null || true
  [ -z "$broker_pid" ] || wait "$broker_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
fail() { echo "FAIL: $*"; for log in *.err mosquitto.log; do [ -e "$log" ] && { echo "== $log"; cat "$log"; }; done; exit 1; }

port=$(free_port)
url="mqtt://127.0.0.1:$port"

mosquitto_conf "$work" "$port"
start_broker() {
  mosquitto -c mosquitto.conf &
  broker_pid=$!
  for _ in $(seq 100); do listening "$port" && return; sleep 0.1; done
  fail "mosquitto does not listen on $port"
}
stop_broker() {
  kill "$broker_pid"
  wait "$broker_pid" 2>/dev/null || true
  broker_pid=
}
# A persistent session that receives a station's frames and records from now on.
register() { mosquitto_sub -p "$port" -h 127.0.0.1 -c -i "sub-$1" -q 1 -E -t "talphex/$1/frames" -t "talphex/$1/records/#"; }
# The messages the session `sub-STATION` holds, "topic payload" a line: exactly `count`.
collect() {
  mosquitto_sub -p "$port" -h 127.0.0.1 -c -i "sub-$1" -q 1 -v -C "$2" -W 10 \
    -t "talphex/$1/frames" -t "talphex/$1/records/#" >"$1.messages" || true
}
# The retained status of a station; empty when none arrives within a second.
status() { mosquitto_sub -p "$port" -h 127.0.0.1 -q 1 -C 1 -W 1 -t "talphex/$1/status" 2>/dev/null || true; }

"$cli" --jsonl sample.jsonl "$sample"
records=$(wc -l <sample.jsonl)
frames=$(python3 -c '
import sys
parts = open(sys.argv[1], "rb").read().split(b"\xc0")
print(sum(1 for part in parts if part and len(part) != 28))' "$sample")
messages=$((records + frames))

# Every message, checked against the sample and its --jsonl export.
check_messages() {
  python3 - "$1.messages" "$1" "$sample" sample.jsonl <<'PY'
import json
import re
import sys

path, station, sample, jsonl = sys.argv[1:]
failures = []
frames, records = [], {"beacon": [], "payload": []}
for line in open(path, encoding="utf-8"):
    topic, payload = line.rstrip("\n").split(" ", 1)
    try:
        value = json.loads(payload)
    except ValueError as error:
        failures.append("%s: not JSON (%s): %s" % (topic, error, payload[:80]))
        continue
    if topic == "talphex/%s/frames" % station:
        frames.append(value)
    elif topic.startswith("talphex/%s/records/" % station):
        kind = topic.rsplit("/", 1)[1]
        records[kind].append(payload)
        if value["kind"] != kind:
            failures.append("%s carries a %s record" % (topic, value["kind"]))
    else:
        failures.append("unexpected topic " + topic)

parts = open(sample, "rb").read().split(b"\xc0")
expected_frames = [part for part in parts if part and len(part) != 28]
unescaped = [f.replace(b"\xdb\xdc", b"\xc0").replace(b"\xdb\xdd", b"\xdb") for f in expected_frames]
if len(frames) != len(unescaped):
    failures.append("%d frames, the sample has %d" % (len(frames), len(unescaped)))
for frame, raw in zip(frames, unescaped):
    if frame["frame_hex"] != raw[1:].hex() or frame["kiss_port"] != raw[0] >> 4:
        failures.append("frame %s differs from the sample's %s" % (frame["frame_hex"][:40], raw[:20].hex()))
        break
    if frame["station"] != station or not re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z",
                                                        frame["rx_time_utc"] or ""):
        failures.append("frame fields: %r" % frame)
        break
for kind in ("beacon", "payload"):
    lines = [line.rstrip("\n") for line in open(jsonl, encoding="utf-8")
             if json.loads(line)["kind"] == kind]
    if records[kind] != lines:
        failures.append("%s records: %d arrived, %d in the export, or they differ"
                        % (kind, len(records[kind]), len(lines)))
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
PY
}

# 1. A capture file published: everything arrives, and the status ends "offline".
start_broker
register T1
"$cli" "$sample" --mqtt "$url" --mqtt-publish --station T1 >T1.out 2>T1.err || fail "exit status $?"
grep -qx "talphex-cli: MQTT $url: connected" T1.err || fail "no connected line"
grep -qx "talphex-cli: MQTT $url: $messages published, 0 dropped, 0 not delivered" T1.err ||
  fail "summary"
collect T1 "$messages"
check_messages T1 || fail "messages of T1"
[ "$(status T1)" = offline ] || fail "T1's status after the run: $(status T1)"

# 2. Standard input, the CLI killed with -9: its status is "online" while it runs, then the
# broker publishes its last will.
mkfifo input
"$cli" - --mqtt "$url" --mqtt-publish --station T2 <input >T2.out 2>T2.err &
cli_pid=$!
exec 8>input
cat "$sample" >&8
for _ in $(seq 50); do [ "$(status T2)" = online ] && break; sleep 0.1; done
[ "$(status T2)" = online ] || fail "T2 is not online while it runs"
kill -9 "$cli_pid"
wait "$cli_pid" 2>/dev/null || true
cli_pid=
exec 8>&-
for _ in $(seq 50); do [ "$(status T2)" = offline ] && break; sleep 0.1; done
[ "$(status T2)" = offline ] || fail "no last will for T2: $(status T2)"

# The same capture with none of the options opens no socket, and publishing it connects to the
# broker (so that the trace is seen to show connections). LeakSanitizer cannot run under ptrace.
traced() { ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace -f "$@"; }
traced -e trace=socket,connect -o quiet.trace "$cli" "$sample" --jsonl quiet.jsonl
if grep -E "socket\(|connect\(" quiet.trace; then fail "a run without --mqtt opened a socket"; fi
traced -e trace=socket,connect -o publish.trace "$cli" "$sample" --mqtt "$url" --mqtt-publish \
  --station T5 >T5.out 2>T5.err
grep -q "connect(.*htons($port)" publish.trace || fail "no connection to the broker in the trace"

# 3. The broker away when the CLI starts: it says so, keeps the messages, and delivers them
# once the broker is back.
register T3
stop_broker
"$cli" "$sample" --mqtt "$url" --mqtt-publish --station T3 >T3.out 2>T3.err &
cli_pid=$!
for _ in $(seq 50); do grep -q "cannot connect" T3.err && break; sleep 0.1; done
grep -q "^talphex-cli: MQTT $url: cannot connect: Connection refused; reconnecting in [0-9]* s$" \
  T3.err || fail "no line says the broker cannot be reached"
start_broker
wait "$cli_pid" || fail "T3's exit status $?"
cli_pid=
grep -qx "talphex-cli: MQTT $url: $messages published, 0 dropped, 0 not delivered" T3.err ||
  fail "T3's summary"
collect T3 "$messages"
check_messages T3 || fail "messages of T3"

# 4. No broker within the wait, and more messages than the queue holds (the sample 50 times): the
# oldest are dropped and counted, the rest reported as not delivered.
stop_broker
for _ in $(seq 50); do cat "$sample"; done >long.kss
"$cli" --jsonl long.jsonl long.kss
long_messages=$(($(wc -l <long.jsonl) + 50 * frames))
status_code=0
"$cli" long.kss --mqtt "$url" --mqtt-publish --station T4 >T4.out 2>T4.err || status_code=$?
[ "$status_code" = 1 ] || fail "exit status $status_code without a broker"
grep -qx "talphex-cli: MQTT $url: 0 published, $((long_messages - 10000)) dropped, 10000 not delivered" \
  T4.err || fail "T4's summary, of $long_messages messages"
echo "MQTT: $frames frames and $records records delivered"
