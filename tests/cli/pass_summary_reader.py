#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads the JSON pass summary of talphex-cli with Python's json module, strictly (no NaN or
Infinity), and checks each field's minimum, maximum, mean and last value against the values of
the analysis CSV of the same capture. A copy of the sample whose second half is received an hour
later, with receive times full of quotes, backslashes and control bytes, gives two passes.

Usage: pass_summary_reader.py TALPHEX_CLI SAMPLE_CAPTURE
"""
import csv
import json
import math
import os
import subprocess
import sys
import tempfile

cli, sample = sys.argv[1:3]
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def refuse_constant(name):
    raise ValueError("JSON constant " + name)


def read_summary(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f, parse_constant=refuse_constant)


tmp = tempfile.mkdtemp()

# --- the sample: every field against the analysis CSV ----------------------------------------
limits = os.path.join(tmp, "limits.ini")
with open(limits, "w") as f:
    f.write("[Battery Volt 1]\nyellow_high = 8.0\nred_high = 8.1\n[flags]\n"
            "Status Word 0 Low CH1_OC = watch\n")
summary_path = os.path.join(tmp, "pass.json")
analysis_path = os.path.join(tmp, "pass.csv")
run = subprocess.run([cli, "--limits", limits, "--pass-summary", summary_path, "--analysis-csv",
                      analysis_path, sample], capture_output=True, text=True)
check(run.returncode == 0, "exit status %d: %s" % (run.returncode, run.stderr))
summary = read_summary(summary_path)
with open(analysis_path, newline="", encoding="utf-8") as f:
    rows = list(csv.DictReader(f))

check(len(summary["passes"]) == 1, "sample: %d passes" % len(summary["passes"]))
sample_pass = summary["passes"][0]
check(sample_pass["beacon_frames"] == sum(r["kind"] == "beacon" for r in rows), "beacon frames")
check(sample_pass["payload_frames"] == sum(r["kind"] == "payload" for r in rows), "payload frames")
check(sample_pass["first_rx_time_utc"] == min(r["rx_time_utc"] for r in rows), "first time")
check(sample_pass["last_rx_time_utc"] == max(r["rx_time_utc"] for r in rows), "last time")
check(sample_pass["skipped_frames"] == {"body_not_decoded": 0, "body_too_long": 0,
                                        "part_too_long": 0}, "skipped frames")
check(len(sample_pass["fields"]) == 45, "45 fields")
for field in sample_pass["fields"]:
    name = field["field"]
    values = [(float(r[name]), int(r["record"])) for r in rows
              if r["kind"] == field["kind"] and r[name] != ""]
    check(field["values"] == len(values), name + ": count")
    if not values:
        continue
    low = min(v for v, _ in values)
    high = max(v for v, _ in values)
    mean = sum(v for v, _ in values) / len(values)
    check(math.isclose(field["min"], low, rel_tol=1e-12), name + ": min")
    check(math.isclose(field["max"], high, rel_tol=1e-12), name + ": max")
    check(math.isclose(field["mean"], mean, rel_tol=1e-9, abs_tol=1e-9),
          "%s: mean %r, expected %r" % (name, field["mean"], mean))
    check(field["min_record"] == next(n for v, n in values if v == low), name + ": min record")
    check(field["max_record"] == next(n for v, n in values if v == high), name + ": max record")
    check(math.isclose(field["last"], values[-1][0], rel_tol=1e-12), name + ": last")
    check(field["last_record"] == values[-1][1], name + ": last record")

# Every change of the watched flag is an alarm, and every flag change is listed.
flag = "Status Word 0 Low CH1_OC"
payload = [r for r in rows if r["kind"] == "payload"]
changes = [(int(b["record"]), flag) for a, b in zip(payload, payload[1:]) if a[flag] != b[flag]]
listed = [(c["record"], c["flag"]) for c in sample_pass["flag_changes"] if c["flag"] == flag]
check(listed == changes, "flag changes of %s: %r, expected %r" % (flag, listed, changes))
flag_alarms = [(a["record"], a["flag"]) for a in sample_pass["alarms"] if "flag" in a]
check(flag_alarms == changes, "flag alarms: %r" % flag_alarms)
all_changes = sum(a[c] != b[c] for a, b in zip(payload, payload[1:]) for c in rows[0]
                  if c.startswith("Status Word"))
check(len(sample_pass["flag_changes"]) == all_changes, "all flag changes")
check([a["to"] for a in sample_pass["alarms"] if "field" in a] ==
      ["yellow", "red", "yellow", "green"], "battery alarms")

# --- two passes, hostile receive times -------------------------------------------------------
with open(sample, "rb") as f:
    parts = f.read().split(b"\xc0")
stamps = [i for i, part in enumerate(parts) if len(part) == 28]
odd = os.path.join(tmp, "odd.kss")
for n, i in enumerate(stamps):
    part = parts[i]
    if n >= len(stamps) // 2:
        part = part[:12] + bytes([part[12] + 1]) + part[13:]  # the hour, ten later
    if n % 7 == 3:
        part = part[:1] + b'2026-"\\\x1b[2J\x00\x7f\xff\n\r\tab' + part[20:]
    parts[i] = part
with open(odd, "wb") as f:
    f.write(b"\xc0".join(parts))
odd_json = os.path.join(tmp, "odd.json")
odd_md = os.path.join(tmp, "odd.md")
for path in (odd_json, odd_md):
    run = subprocess.run([cli, "--pass-summary", path, odd], capture_output=True)
    check(run.returncode == 0, "odd capture: exit status %d" % run.returncode)
odd_summary = read_summary(odd_json)
check(len(odd_summary["passes"]) == 2, "odd capture: %d passes" % len(odd_summary["passes"]))
check(sum(p["beacon_frames"] + p["payload_frames"] for p in odd_summary["passes"]) == len(rows),
      "odd capture: every record in a pass")
second = odd_summary["passes"][-1]
check(second["first_rx_time_utc"] is not None and second["first_rx_time_utc"][11:13] == "19",
      "second pass starts an hour later: %r" % second["first_rx_time_utc"])
with open(odd_md, "rb") as f:
    markdown = f.read()
check(markdown.count(b"\n## Pass ") == 2, "Markdown: two passes")
check(all(b >= 0x20 or b == 0x0A for b in markdown), "Markdown: a control byte")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("pass summary read back: %d fields checked" % len(sample_pass["fields"]))
