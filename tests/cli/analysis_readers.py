#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads the three analysis exports of talphex-cli with real readers: Python's csv and json
modules, pandas, and a strict line-protocol parser. The values are checked against the golden
semicolon CSV files of the same capture, written by the program's other export.

Usage: analysis_readers.py TALPHEX_CLI SAMPLE_CAPTURE TEST_DATA_DIR
"""
import calendar
import csv
import json
import math
import os
import re
import subprocess
import sys
import tempfile

import pandas

cli, sample, data_dir = sys.argv[1:4]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def golden(name):
    with open(os.path.join(data_dir, name), newline="", encoding="latin-1") as f:
        return [line.split(";")[:-1] for line in f.read().split("\r\n")[1:] if line]


tmp = tempfile.mkdtemp()
# The sample without its timestamp parts: records with no receive time, read first so that no
# earlier time stamps them.
with open(sample, "rb") as f:
    parts = f.read().split(b"\xc0")
no_time = os.path.join(tmp, "no-time.kss")
with open(no_time, "wb") as f:
    f.write(b"\xc0".join(part for part in parts if len(part) != 28))
# A capture name with every character the three formats must escape.
odd_name = 'pass, "one"=1 \\.kss'
with open(sample, "rb") as src, open(os.path.join(tmp, odd_name), "wb") as dst:
    dst.write(src.read())

out = {ext: os.path.join(tmp, "out." + ext) for ext in ("csv", "jsonl", "lp")}
run = subprocess.run([cli, "--analysis-csv", out["csv"], "--jsonl", out["jsonl"], "--influx",
                      out["lp"], no_time, os.path.join(tmp, odd_name)],
                     capture_output=True, text=True)
check(run.returncode == 0, "exit status %d: %s" % (run.returncode, run.stderr))
check("112 records left out: 112 without a receive time\n" in run.stderr, "stderr: " + run.stderr)

beacon_golden, payload_golden = golden("sample-beacon.csv"), golden("sample-payload.csv")
sample_records = len(beacon_golden) + len(payload_golden)

# --- csv module -------------------------------------------------------------------------------
with open(out["csv"], newline="", encoding="utf-8") as f:
    rows = list(csv.reader(f))
header, rows = rows[0], rows[1:]
check(len(header) == 4 + 45 + 48 and len(set(header)) == len(header) and all(header),
      "header: %r" % header)
check(header[:4] == ["rx_time_utc", "source", "kind", "record"], "lead columns")
check(all(len(row) == len(header) for row in rows), "rows of another width")
check(len(rows) == 2 * sample_records, "rows: %d" % len(rows))
fields = header[4:49]
flags = header[49:]
beacon_fields = fields[:34]
payload_fields = fields[34:]
integer_columns = ["Message No.", "Time [s]", "Mode", "Idle Timer [s]",
                   "Supervisor Time [s]", "Overflow Time [s]"]
check(all(name in header for name in integer_columns), "integer columns named")

by_source = {"no-time.kss": {"beacon": [], "payload": []}, odd_name: {"beacon": [], "payload": []}}
for row in rows:
    cells = dict(zip(header, row))
    by_source[cells["source"]][cells["kind"]].append(cells)
# Records are numbered on across the captures of one run.
for source, expect_time in (("no-time.kss", False), (odd_name, True)):
    for kind, golden_rows, own, other in (("beacon", beacon_golden, beacon_fields,
                                           payload_fields + flags),
                                          ("payload", payload_golden, payload_fields,
                                           beacon_fields)):
        records = by_source[source][kind]
        check(len(records) == len(golden_rows), "%s %s rows: %d" % (source, kind, len(records)))
        first = 1 if source == "no-time.kss" else len(golden_rows) + 1
        for number, (cells, gold) in enumerate(zip(records, golden_rows), start=first):
            where = "%s %s record %d" % (source, kind, number)
            check(cells["record"] == str(number), where + ": record " + cells["record"])
            iso = gold[0].replace(" ", "T") + "Z" if expect_time else ""
            check(cells["rx_time_utc"] == iso, where + ": time " + cells["rx_time_utc"])
            check(all(cells[name] == "" for name in other), where + ": cells of the other kind")
            for name, gold_text in zip(own, gold[1:]):
                value = float(cells[name])
                check(abs(value - float(gold_text)) <= 0.005 + 1e-9,
                      "%s: %s %s vs %s" % (where, name, cells[name], gold_text))
                if name in integer_columns:
                    check(re.fullmatch(r"-?\d+", cells[name]), where + ": " + name)
            if kind == "payload":
                # Each status byte's flags: as many set as the byte has bits set.
                for status, byte in zip(["Status Word 0 High", "Status Word 0 Low",
                                         "Status Word 1 High", "Status Word 1 Low",
                                         "Status Word 2 High", "Status Word 2 Low"], gold[12:18]):
                    own_flags = [cells[name] for name in flags if name.startswith(status + " ")]
                    check(len(own_flags) == 8 and set(own_flags) <= {"0", "1"}, where + status)
                    check(own_flags.count("1") == bin(int(byte)).count("1"), where + status)

# --- pandas -----------------------------------------------------------------------------------
# Read with exact number parsing, the CSV and the JSON Lines hold the same value in every cell,
# and each is the number its text says.
frame = pandas.read_csv(out["csv"], float_precision="round_trip", keep_default_na=False,
                        na_values=[""])
json_frame = pandas.read_json(out["jsonl"], lines=True, precise_float=True, dtype=False,
                              convert_dates=False)
check(list(json_frame.columns) == header, "pandas json columns")
check(len(frame) == len(json_frame) == len(rows), "pandas rows")
for name in fields + ["record"]:
    for number, (a, b, row) in enumerate(zip(frame[name], json_frame[name], rows)):
        cell = row[header.index(name)]
        exact = float("nan") if cell == "" else float(cell)
        same = (math.isnan(a) and math.isnan(b) and math.isnan(exact)) or a == b == exact
        check(same, "pandas %s row %d: csv %r json %r text %r" % (name, number, a, b, cell))
for name in flags:
    for number, (a, b) in enumerate(zip(frame[name], json_frame[name])):
        check((pandas.isna(a) and pandas.isna(b)) or
              (a in (0, 1) and isinstance(b, bool) and bool(a) == b),
              "pandas flag %s row %d: %r %r" % (name, number, a, b))
check(list(frame.columns) == header, "pandas renamed columns: %r" %
      [c for c in frame.columns if c not in header])
check(not any(str(c).startswith("Unnamed") for c in frame.columns), "pandas: unnamed columns")
times = pandas.to_datetime(frame["rx_time_utc"], utc=True)
check(times.isna().sum() == sample_records and str(times.dt.tz) == "UTC", "pandas times")
beacons = frame[frame["kind"] == "beacon"]
check(beacons["Power Ch1 Temp [C]"].isna().all(), "pandas: payload field on beacon rows")
check(all(frame[name].dtype.kind in "fi" for name in fields + flags), "pandas: text in numbers")
check(set(frame["kind"]) == {"beacon", "payload"}, "pandas: kinds")

# --- json -------------------------------------------------------------------------------------
with open(out["jsonl"], encoding="utf-8") as f:
    objects = [json.loads(line) for line in f]
check(len(objects) == len(rows), "json lines: %d" % len(objects))
for obj, row in zip(objects, rows):
    check(list(obj) == header, "json keys")
    for name, cell in zip(header, row):
        value = obj[name]
        if name in flags:
            check(value is None if cell == "" else value is (cell == "1"), "json flag " + name)
        elif name in fields or name == "record":
            check(value is None if cell == "" else
                  isinstance(value, (int, float)) and not isinstance(value, bool) and
                  math.isclose(value, float(cell)), "json number %s %r" % (name, value))
            if name in integer_columns and value is not None:
                check(isinstance(value, int), "json integer " + name)
        else:
            check(value == (cell or None), "json text %s %r" % (name, value))

# --- line protocol ----------------------------------------------------------------------------
LINE = re.compile(r"(talphex_(?:beacon|payload))((?:,[a-z_]+=(?:[^\\ ,=]|\\.)+)*) "
                  r"((?:[a-z0-9_]+=[^ ,]+)(?:,[a-z0-9_]+=[^ ,]+)*) (-?\d+)")
with open(out["lp"], encoding="utf-8") as f:
    lines = f.read().split("\n")
check(lines[-1] == "", "line protocol ends without a line feed")
lines = lines[:-1]
check(len(lines) == sample_records, "line protocol lines: %d" % len(lines))
timed = [row for row in rows if row[0]]
for line, row in zip(lines, timed):
    match = LINE.fullmatch(line)
    check(match is not None, "line protocol: " + line[:120])
    if not match:
        continue
    measurement, tags, field_set, stamp = match.groups()
    check(measurement == "talphex_" + row[2], "measurement " + measurement)
    source = re.sub(r"\\(.)", r"\1", tags[len(",source="):])
    # A backslash is written as "/", which InfluxDB 1.x and 2.x read alike.
    check(tags.startswith(",source=") and source == row[1].replace("\\", "/"), "tag " + tags)
    expected_ns = calendar.timegm(tuple(map(int, re.findall(r"\d+", row[0])))) * 10**9
    check(int(stamp) == expected_ns, "timestamp " + stamp)
    values = dict(pair.split("=") for pair in field_set.split(","))
    check(values["record"] == row[3] + "i", "record " + values["record"])
    check(values.get("message_no", "").endswith("i") == (row[2] == "beacon"), "message_no")
    numbers = [v for v in values.values() if v not in ("true", "false")]
    check(all(re.fullmatch(r"-?\d+i|-?[\d.]+(e[+-]\d+)?", v) for v in numbers), line[:80])
    check(len(values) == 1 + (34 if row[2] == "beacon" else 11 + 48), "fields of " + line[:60])

# --- streamed from standard input: the same objects, in the same order: both follow the capture ---
with open(sample, "rb") as f:
    streamed = subprocess.run([cli, "--jsonl", "-", "-"], stdin=f, capture_output=True)
streamed_objects = [json.loads(line) for line in streamed.stdout.decode().splitlines()]
from_file = [o for o in objects if o["source"] == odd_name]
check(len(streamed_objects) == sample_records, "streamed: %d" % len(streamed_objects))
check(all(o["source"] == "standard input" for o in streamed_objects), "streamed source")
strip = lambda o: {k: v for k, v in o.items() if k not in ("source", "record")}
check(list(map(strip, streamed_objects)) == list(map(strip, from_file)),
      "streamed objects differ from the file's")

# --- the semicolon CSV of a capture whose first receive time opens with a quote ---------------------
# Unescaped, a quote there made csv and pandas read the rest of the file as one cell.
quoted = os.path.join(tmp, "quoted-time.kss")
stamp = next(i for i, part in enumerate(parts) if len(part) == 28)
forged = parts[:stamp] + [parts[stamp][:1] + b'"' + parts[stamp][2:]] + parts[stamp + 1:]
with open(quoted, "wb") as f:
    f.write(b"\xc0".join(forged))
semicolon = os.path.join(tmp, "quoted-time.csv")
run = subprocess.run([cli, "--csv", semicolon, quoted], capture_output=True, text=True)
check(run.returncode == 0, "quoted time: exit status %d: %s" % (run.returncode, run.stderr))
with open(semicolon, newline="", encoding="latin-1") as f:
    text = f.read()
with open(semicolon, newline="", encoding="latin-1") as f:
    read_rows = list(csv.reader(f, delimiter=";"))
plain_rows = [line.split(";") for line in text.split("\r\n")[:-1]]
check(read_rows == plain_rows, "quoted time: csv reads other cells than the lines hold")
check(len(read_rows) == 1 + len(beacon_golden), "quoted time: %d rows" % len(read_rows))
check(sum(row[0].startswith("?") for row in read_rows[1:]) >= 1, "quoted time: no '?' time")
frame = pandas.read_csv(semicolon, sep=";", encoding="latin-1")
check(len(frame) == len(beacon_golden), "quoted time: pandas reads %d rows" % len(frame))

for failure in failures[:20]:
    print("FAIL:", failure)
print("%d checks failed" % len(failures))
sys.exit(1 if failures else 0)
