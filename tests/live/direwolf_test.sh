#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End to end through a real soundmodem: the frames of the sample capture are turned into 1200 baud
# AFSK audio by gen_packets, Dire Wolf decodes the audio from standard input and serves the frames
# over KISS TCP, and talphex-cli --kiss-tcp must give every record that the capture file gives.
# Given talphex-decoder as well, the window connects at the same time (talphex-decoder --kiss-tcp)
# and its recording of the pass must reload to the same records.
set -euo pipefail
source "$(dirname "$0")/../loopback_ports.sh"
cli=$1
sample=$2
decoder=${3:-}
frames=30
work=$(mktemp -d)
direwolf_pid=
decoder_pid=
cleanup() {
  exec 7>&- 2>/dev/null || true
  [ -z "$direwolf_pid" ] || kill "$direwolf_pid" 2>/dev/null || true
  [ -z "$decoder_pid" ] || kill "$decoder_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# The first frames of the sample, as gen_packets reads them: SOURCE>DEST:INFO. The frame log
# writes "\" as "\\" for the terminal (the sample's texts are printable ASCII, nothing else is
# escaped).
"$cli" --log "$sample" >log.txt
grep -a -E '^(TALPHEX|VAVE)' log.txt | tr -d '\r' | sed -e 's/\\\\/\\/g' -e 's/^/N0CALL>CQ:/' \
  >all-packets.txt
head -n $frames all-packets.txt >packets.txt
gen_packets -r 44100 -o pass.wav packets.txt >gen_packets.log 2>&1

# Dire Wolf quietly serves on 8001 when asked for a port above 49151.
port=$(free_port)
printf 'ADEVICE stdin null\nARATE 44100\nMODEM 1200\nKISSPORT %s\nAGWPORT 0\n' "$port" >dw.conf

mkfifo audio
direwolf -c dw.conf -t 0 -r 44100 - <audio >direwolf.log 2>&1 &
direwolf_pid=$!
exec 7>audio
# Ready once it says so: a probing connection would take one of its few client places, and
# Dire Wolf 1.6 was seen to stop serving the next client too once a send to the probe failed.
ready="Ready to accept KISS TCP client application 0 on port $port"
for _ in $(seq 100); do grep -q "$ready" direwolf.log && break; sleep 0.1; done
grep -q "$ready" direwolf.log || { cat direwolf.log; echo "Dire Wolf does not serve KISS on $port"; exit 1; }

# Connections to the port that stand, from /proc/net/tcp (state 01).
connections() {
  awk -v port="$(printf '%04X' "$port")" \
    'NR > 1 { split($3, remote, ":"); if (remote[2] == port && $4 == "01") n++ } END { print n + 0 }' \
    /proc/net/tcp
}
clients=1
if [ -n "$decoder" ]; then
  # The window records into a folder of its own, named by the user's conf.ini.
  mkdir -p config/talphex window
  printf 'CAPTURE_PATH=%s\r\n' "$work/window" >config/talphex/conf.ini
  XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen \
    "$decoder" --kiss-tcp "127.0.0.1:$port" >decoder.log 2>&1 &
  decoder_pid=$!
  clients=2
fi

"$cli" --kiss-tcp "127.0.0.1:$port" --frames $frames --seconds 60 --csv live.csv \
  --payload-csv live-payload.csv --record-capture pass.kss 2>cli.log &
cli_pid=$!
for _ in $(seq 100); do grep -q '^talphex-cli: connected' cli.log && break; sleep 0.1; done
for _ in $(seq 100); do [ "$(connections)" -ge $clients ] && break; sleep 0.1; done
# Connected first, then the samples without the 44-byte WAV header and a second of silence.
{ tail -c +45 pass.wav; head -c 88200 /dev/zero; } >&7
status=0
wait $cli_pid || status=$?
[ $status -eq 0 ] || { cat cli.log direwolf.log; echo "talphex-cli ended with $status"; exit 1; }

# The same records as the capture file, apart from the receive times.
beacons=$(grep -c '^N0CALL>CQ:TALPHEX' packets.txt)
payloads=$((frames - beacons))
"$cli" --csv file.csv --payload-csv file-payload.csv "$sample" >/dev/null
compare() {
  diff <(cut -d';' -f2- "$1") <(head -n $(($3 + 1)) "$2" | cut -d';' -f2-) ||
    { echo "$1 differs from the capture file's records"; exit 1; }
}
compare live.csv file.csv "$beacons"
compare live-payload.csv file-payload.csv "$payloads"
# The recording reloads to the very same lines, receive times included.
"$cli" --csv reloaded.csv pass.kss >/dev/null
cmp live.csv reloaded.csv || { echo "the recorded capture does not reload to the same records"; exit 1; }
echo "Dire Wolf pass: $beacons beacon and $payloads payload records, as in the capture file"

[ -n "$decoder" ] || exit 0
# The window records each frame as it comes; once all are in, its recording gives the records
# the command-line decoder gave, apart from the receive times, which each took on its own.
recording=
for _ in $(seq 100); do
  recording=$(ls window/talphex-*.kss 2>/dev/null | head -n 1)
  if [ -n "$recording" ]; then
    "$cli" --csv window.csv --payload-csv window-payload.csv "$recording" >/dev/null
    [ "$(($(wc -l <window.csv) + $(wc -l <window-payload.csv)))" -eq $((frames + 2)) ] && break
  fi
  sleep 0.1
done
[ -n "$recording" ] || { cat decoder.log; echo "the window recorded nothing"; exit 1; }
for kind in "" -payload; do
  diff <(cut -d';' -f2- "live$kind.csv") <(cut -d';' -f2- "window$kind.csv") ||
    { cat decoder.log; echo "the window's recording$kind differs from the live records"; exit 1; }
done
kill "$decoder_pid"
echo "the window recorded $(basename "$recording") with the same records"
