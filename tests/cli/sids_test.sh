#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# --sids into a real HTTP server: a small Python server of its own on a free loopback port,
# started and stopped here, records every POST and answers 500 to the first one and 200 to the
# rest (or 400 to all, with a control byte in its reason). Checked with Python's own form parser:
# every frame of the sample (with --sids-files), of the sample on standard input and of a TNC
# arrives exactly once with every field, the failed first POST again after it; a rejection is told
# once, escaped, and counted; without a callsign the run is refused before any socket is opened.
set -euo pipefail
source "$(dirname "$0")/../loopback_ports.sh"
cli=$1
sample=$2
work=$(mktemp -d)
server_pid=
tnc_pid=
cleanup() {
  [ -z "$tnc_pid" ] || kill "$tnc_pid" 2>/dev/null || true
  [ -z "$server_pid" ] || kill "$server_pid" 2>/dev/null || true
  [ -z "$server_pid" ] || wait "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
fail() { echo "FAIL: $*"; for log in *.err; do [ -e "$log" ] && { echo "== $log"; cat "$log"; }; done; exit 1; }

cat >server.py <<'PY'
import http.server
import sys

port, record, mode = int(sys.argv[1]), sys.argv[2], sys.argv[3]

class Handler(http.server.BaseHTTPRequestHandler):
    posts = 0

    def do_POST(self):
        body = self.rfile.read(int(self.headers["Content-Length"]))
        Handler.posts += 1
        if mode == "reject":
            status, answer = 400, b"noradID: \x1b[31mno such satellite"
        else:
            status, answer = (500, b"busy") if Handler.posts == 1 else (200, b"{}")
        with open(record, "a") as out:
            out.write("%d %s %s %s\n" % (status, self.headers["Content-Type"], self.path,
                                         body.decode("ascii")))
        self.send_response(status)
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

    def log_message(self, *args):
        pass

http.server.HTTPServer(("127.0.0.1", port), Handler).serve_forever()
PY
port=$(free_port)
server="127.0.0.1:$port"
url="http://$server/api/telemetry/"
# A new server for each run, so that each run meets the failing first answer.
start_server() {
  rm -f posts
  python3 server.py "$port" posts "$1" &
  server_pid=$!
  for _ in $(seq 100); do listening "$port" && return; sleep 0.1; done
  fail "the server does not listen on $port"
}
stop_server() {
  kill "$server_pid"
  wait "$server_pid" 2>/dev/null || true
  server_pid=
}
version=$("$cli" --version | head -1 | cut -d' ' -f2)
station=(--norad-id 99999 --sids-url "$url")
position=(--callsign EA4/G0ABC --longitude -3.70379 --latitude 40.41678)

# Every POST against the frames expected: "capture" takes each frame's time from the capture's
# timestamp part before it; "live" takes any time with milliseconds from $3 to $4 (ms since 1970).
check_posts() {
  python3 - posts "$sample" "$version" "$@" <<'PY'
import datetime
import re
import sys
from urllib.parse import parse_qs

record, sample, version, mode = sys.argv[1:5]
failures = []
expected = []  # (timestamp or None, frame hex)
time = None
for part in open(sample, "rb").read().split(b"\xc0"):
    if len(part) == 28:
        time = part[1:20].decode().replace(" ", "T") + ".000Z"
    elif part:
        raw = part.replace(b"\xdb\xdc", b"\xc0").replace(b"\xdb\xdd", b"\xdb")
        expected.append((time if mode == "capture" else None, raw[1:].hex().upper()))
posts = [line.rstrip("\n").split(" ", 3) for line in open(record)]
if [status for status, *_ in posts] != ["500"] + ["200"] * len(expected):
    failures.append("statuses %s, not 500 then %d times 200"
                    % (" ".join(status for status, *_ in posts), len(expected)))
if posts[0][3] != posts[1][3]:
    failures.append("the failed first POST was not sent again next")
fixed = {"noradID": "99999", "source": "EA4/G0ABC", "locator": "longLat",
         "longitude": "3.7038W", "latitude": "40.4168N", "version": version}
for (status, kind, path, body), (time, frame) in zip(posts[1:], expected):
    if kind != "application/x-www-form-urlencoded" or path != "/api/telemetry/":
        failures.append("POST to %s as %s" % (path, kind))
    if "source=EA4%2FG0ABC&" not in body:
        failures.append("the callsign's / is not percent-encoded: " + body)
    fields = parse_qs(body, keep_blank_values=True, strict_parsing=True)
    values = {key: value[0] for key, value in fields.items() if len(value) == 1}
    want = dict(fixed, frame=frame, timestamp=time or values.get("timestamp"))
    if values != want:
        failures.append("fields %r, expected %r" % (values, want))
    elif time is None:
        if not re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z", values["timestamp"]):
            failures.append("live timestamp " + values["timestamp"])
        else:
            at = datetime.datetime.strptime(values["timestamp"], "%Y-%m-%dT%H:%M:%S.%fZ")
            ms = (at - datetime.datetime(1970, 1, 1)).total_seconds() * 1000
            if not int(sys.argv[5]) <= ms <= int(sys.argv[6]):
                failures.append("live timestamp %s outside the run" % values["timestamp"])
    if failures:
        break
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
PY
}
frames=$(python3 -c '
import sys
print(sum(1 for p in open(sys.argv[1], "rb").read().split(b"\xc0") if p and len(p) != 28))' "$sample")
summary="talphex-cli: SiDS $server: $frames sent, 0 waiting, 0 rejected, 0 given up, 0 dropped"
retry_line="talphex-cli: SiDS $server: server failed: HTTP 500: busy; retrying in 1 s"

# 1. The capture file's frames, with --sids-files.
start_server fail-first
"$cli" "$sample" --sids --sids-files "${station[@]}" "${position[@]}" >files.out 2>files.err ||
  fail "exit status $?"
stop_server
grep -qxF "$retry_line" files.err || fail "no line tells the server failed"
grep -qxF "talphex-cli: SiDS $server: frames accepted" files.err || fail "no accepted line"
grep -qxF "$summary" files.err || fail "summary of the file run"
check_posts capture || fail "posts of the file run"

# 2. The same capture on standard input, a live input, with the station from conf.ini.
mkdir -p config/talphex
printf 'CALLSIGN = EA4/G0ABC\r\nLONGITUDE=-3.70379\r\nLATITUDE=40.41678\r\n' >config/talphex/conf.ini
start_server fail-first
XDG_CONFIG_HOME=$work/config "$cli" - --sids "${station[@]}" <"$sample" >stdin.out 2>stdin.err ||
  fail "exit status $? of the standard input run"
stop_server
grep -qxF "$summary" stdin.err || fail "summary of the standard input run"
check_posts capture || fail "posts of the standard input run"

# 3. A TNC that sends the frames without their timestamp parts: each is sent with the time it was
# received, in milliseconds.
start_server fail-first
tnc_port=$(free_port "$port")
python3 - "$sample" "$tnc_port" <<'PY' &
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
PY
tnc_pid=$!
# Told by a file, since a probe connection would take the one the server serves.
for _ in $(seq 100); do [ -e tnc.ready ] && break; sleep 0.1; done
before=$(date +%s%3N)
"$cli" --kiss-tcp "127.0.0.1:$tnc_port" --frames "$frames" --seconds 30 --sids "${station[@]}" \
  "${position[@]}" >tnc.out 2>tnc.err || fail "exit status $? of the TNC run"
after=$(date +%s%3N)
wait "$tnc_pid" || true
tnc_pid=
stop_server
grep -qxF "$summary" tnc.err || fail "summary of the TNC run"
check_posts live "$before" "$after" || fail "posts of the TNC run"

# 4. A server that rejects every frame: told once with its reason escaped, nothing retried, the
# run fails.
start_server reject
status=0
"$cli" "$sample" --sids --sids-files "${station[@]}" "${position[@]}" >reject.out 2>reject.err ||
  status=$?
stop_server
[ "$status" = 1 ] || fail "exit status $status when every frame is rejected"
[ "$(grep -c "rejected: " reject.err)" = 1 ] || fail "the rejection is not told exactly once"
grep -qxF 'talphex-cli: SiDS '"$server"': frame rejected: HTTP 400: noradID: \x1B[31mno such satellite' \
  reject.err || fail "the rejection's line"
grep -qxF "talphex-cli: SiDS $server: 0 sent, 0 waiting, $frames rejected, 0 given up, 0 dropped" \
  reject.err || fail "summary of the rejected run"
[ "$(wc -l <posts)" = "$frames" ] || fail "rejected frames were sent again"

# 5. No callsign or position anywhere: refused before anything is read or any socket opened.
start_server fail-first
mkdir -p empty
status=0
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 HOME=$work/empty \
  XDG_CONFIG_HOME=$work/empty strace -f -e trace=socket,connect -o refused.trace \
  "$cli" - --sids "${station[@]}" <"$sample" >refused.out 2>refused.err || status=$?
stop_server
[ "$status" = 2 ] || fail "exit status $status without a callsign"
printf '%s\n' "talphex-cli: --sids needs the station's callsign, longitude and latitude: give" \
  "--callsign, --longitude and --latitude, or set CALLSIGN, LONGITUDE and LATITUDE in" \
  "$work/empty/talphex/conf.ini" | paste -sd' ' >expected.err
echo "Run with --help for more information." >>expected.err
cmp -s expected.err refused.err || fail "message without a callsign: $(cat refused.err)"
if grep -E "socket\(|connect\(" refused.trace; then fail "a refused run opened a socket"; fi
[ ! -e posts ] || fail "a refused run sent something"
echo "SiDS: $frames frames sent once in each of three runs"
