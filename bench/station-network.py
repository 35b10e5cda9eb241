# SPDX-License-Identifier: GPL-3.0-or-later
"""Run by bench/station-network.sh against the broker it started: paces distinct frames into the
standard input of publishing CLIs, each preceded by a millisecond stamp of the moment it is
written (the frame's rx_time_utc), and reads the merging subscriber's JSON lines, timestamping
each on arrival. Frame n of the generated capture is the beacon with message number n (n even)
or the payload with supervisor time n (n odd); station Pp sends frames p*F to (p+1)*F-1."""

import argparse
import calendar
import os
import re
import signal
import subprocess
import sys
import threading
import time

HOLD_MS = 2000  # FrameMerger::kHoldMs: every frame waits this long for slower stations
STAMP_COMMAND = 0x09  # a KISS part of this command and 8 bytes is a millisecond receive time

RECORD = re.compile(rb'"rx_time_utc":"([^"]*)".*?"kind":"(beacon|payload)"')
NUMBER = {b"beacon": re.compile(rb'"Message No\.":(\d+)'),
          b"payload": re.compile(rb'"Supervisor Time \[s\]":(\d+)')}
STATIONS = re.compile(rb'"stations":\[([^\]]*)\]')


def kiss_escape(part):
    return part.replace(b"\xdb", b"\xdb\xdd").replace(b"\xc0", b"\xdb\xdc")


def capture_frames(path, count):
    """The first `count` frames of a KISS capture, escaped as they are; timestamp parts left out."""
    frames = [part for part in open(path, "rb").read().split(b"\xc0") if part and len(part) != 28]
    if len(frames) < count:
        sys.exit("the capture holds %d frames, %d needed" % (len(frames), count))
    return frames[:count]


def cpu_ticks(pid):
    """User plus system time of a process so far, in clock ticks."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def epoch_ms(text):
    """Milliseconds since 1970 of YYYY-MM-DDThh:mm:ss[.sss]Z."""
    seconds = calendar.timegm(time.strptime(text[:19], "%Y-%m-%dT%H:%M:%S"))
    fraction = text[20:23] if len(text) > 20 and text[19] == "." else "0"
    return seconds * 1000 + int(fraction)


def wait_for_line(path, pattern, process, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        with open(path, "rb") as log:
            if re.search(pattern, log.read(), re.M):
                return
        if process.poll() is not None:
            break
        time.sleep(0.05)
    sys.exit("%s: no line matches %r:\n%s" % (path, pattern, open(path, errors="replace").read()))


def read_records(stream, arrived):
    for line in stream:
        arrived.append((time.time(), line))


def percentile(values, fraction):
    return values[min(len(values) - 1, int(fraction * len(values)))]


def main(children):
    parser = argparse.ArgumentParser()
    for name in ("cli", "capture", "url", "work"):
        parser.add_argument("--" + name, required=True)
    for name in ("stations", "rate", "seconds", "broker-pid"):
        parser.add_argument("--" + name, type=int, required=True)
    args = parser.parse_args()
    per_station = args.rate * args.seconds
    total = args.stations * per_station
    frames = capture_frames(args.capture, total)
    tick = os.sysconf("SC_CLK_TCK")

    sub_err = os.path.join(args.work, "subscriber.err")
    subscriber = subprocess.Popen(
        [args.cli, "--mqtt", args.url, "--station", "HQ", "--mqtt-subscribe", "--jsonl", "-",
         "--frames", str(total)],
        stdout=subprocess.PIPE, stderr=open(sub_err, "wb"))
    children.append(subscriber)
    arrived = []
    reader = threading.Thread(target=read_records, args=(subscriber.stdout, arrived))
    reader.start()
    wait_for_line(sub_err, rb": connected$", subscriber, 10)

    publishers, pub_errs = [], []
    for p in range(args.stations):
        pub_errs.append(os.path.join(args.work, "P%d.err" % p))
        publishers.append(subprocess.Popen(
            [args.cli, "-", "--mqtt", args.url, "--mqtt-publish", "--station", "P%d" % p],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=open(pub_errs[p], "wb"),
            bufsize=0))
        children.append(publishers[-1])
    for p, publisher in enumerate(publishers):
        wait_for_line(pub_errs[p], rb": connected$", publisher, 10)

    # Every station gets a frame each period, stamped when it is written.
    period = 1.0 / args.rate
    sub_ticks, broker_ticks = cpu_ticks(subscriber.pid), cpu_ticks(args.broker_pid)
    started = time.monotonic()
    latest = 0.0
    for k in range(per_station):
        delay = started + k * period - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        else:
            latest = max(latest, -delay)
        for p, publisher in enumerate(publishers):
            stamp = bytes([STAMP_COMMAND]) + int(time.time() * 1000).to_bytes(8, "big")
            publisher.stdin.write(b"\xc0" + kiss_escape(stamp) + b"\xc0" +
                                  frames[p * per_station + k] + b"\xc0")
    paced = time.monotonic() - started
    sub_ticks = cpu_ticks(subscriber.pid) - sub_ticks
    broker_ticks = cpu_ticks(args.broker_pid) - broker_ticks

    failures = []
    published = dropped = undelivered = 0
    for p, publisher in enumerate(publishers):
        publisher.stdin.close()
        if publisher.wait(timeout=60) != 0:
            failures.append("publisher P%d ended with status %d" % (p, publisher.returncode))
        summary = re.search(rb"(\d+) published, (\d+) dropped, (\d+) not delivered",
                            open(pub_errs[p], "rb").read())
        if not summary:
            failures.append("publisher P%d printed no summary" % p)
            continue
        published += int(summary[1])
        dropped += int(summary[2])
        undelivered += int(summary[3])

    # The subscriber ends by itself after `total` frames; with frames lost it is stopped.
    deadline = time.monotonic() + HOLD_MS / 1000 + 15
    while True:
        pid, status, usage = os.wait4(subscriber.pid, os.WNOHANG)
        if pid != 0:
            break
        if time.monotonic() > deadline:
            subscriber.send_signal(signal.SIGINT)
            deadline = float("inf")
        time.sleep(0.05)
    subscriber.returncode = os.waitstatus_to_exitcode(status)
    reader.join()

    counts, latencies, wrong_station, unreadable = {}, [], 0, 0
    for arrival, line in arrived:
        record = RECORD.search(line)
        number = record and NUMBER[record[2]].search(line)
        if not number:
            unreadable += 1
            continue
        n = int(number[1])
        counts[n] = counts.get(n, 0) + 1
        latencies.append(arrival * 1000 - epoch_ms(record[1].decode()))
        stations = STATIONS.search(line)
        if not stations or stations[1] != b'"P%d"' % (n // per_station):
            wrong_station += 1
    lost = sum(1 for n in range(total) if n not in counts)
    twice = sum(count - 1 for count in counts.values())
    unexpected = sum(1 for n in counts if n >= total)
    latencies.sort()

    print("published: %d frames by %d stations (%d messages with the records, %d dropped, "
          "%d not delivered), paced at %d frames/s, at most %.1f ms behind"
          % (total, args.stations, published, dropped, undelivered, total / paced,
             latest * 1000))
    print("decoded: %d records; lost %d, decoded twice %d, unexpected %d, unreadable %d, "
          "stations other than the sender %d" % (len(arrived), lost, twice, unexpected, unreadable, wrong_station))
    if latencies:
        p50, p99 = percentile(latencies, 0.5), percentile(latencies, 0.99)
        print("latency, written to a publisher to decoded by the subscriber: p50 %.1f ms, "
              "p99 %.1f ms, max %.1f ms" % (p50, p99, latencies[-1]))
        print("  without the merger's deliberate %d ms hold (network and decoding): p50 %.1f ms, "
              "p99 %.1f ms (target p99 < 50 ms)" % (HOLD_MS, p50 - HOLD_MS, p99 - HOLD_MS))
    print("subscriber: %.1f%% of a core while the frames flowed (%.2f s CPU in %.1f s; target "
          "< 20%%), %.2f s CPU in all, peak memory %d KB"
          % (100 * sub_ticks / tick / paced, sub_ticks / tick, paced,
             usage.ru_utime + usage.ru_stime, usage.ru_maxrss))
    print("broker: %.1f%% of a core while the frames flowed" % (100 * broker_ticks / tick / paced))
    for line in open(sub_err, "rb").read().splitlines():
        if b"frames received" in line:
            print("subscriber says: " + line.decode("ascii", "replace"))
    if subscriber.returncode != 0:
        failures.append("the subscriber ended with status %d" % subscriber.returncode)
    if lost or twice or unexpected or unreadable or wrong_station:
        failures.append("frames lost, doubled or wrong")
    for failure in failures:
        print("FAIL: " + failure)
    sys.exit(1 if failures else 0)


def run():
    children = []
    try:
        main(children)
    finally:
        # A run cut short leaves no process behind.
        for child in children:
            if child.poll() is None:
                child.kill()


run()
