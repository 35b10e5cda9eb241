// SPDX-License-Identifier: GPL-3.0-or-later
// The readers' side of these formats (csv, json, pandas, line protocol) is checked on the sample by
// tests/cli/analysis_readers.py; a golden file of each pins the exact names and keys. These
// cases pin what the sample cannot show: receive times and names from untrusted input, values
// that are not finite, the limits of line-protocol times and the source of each record.
#include "core/export/analysis_exports.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "core/base/utc_time.h"
#include "core/view/field_catalogue.h"
#include "testkit/sample_capture.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

// Receive times with their milliseconds (-1: unknown), as the CSV and JSON write them.
TEST(AnalysisExports, ReceiveTimesAreCheckedBeforeTheyAreWritten) {
  struct Case {
    const char* rx_time;
    int millisecond;
    const char* iso;
  };
  constexpr Case kCases[] = {
      {"2026-11-14 09:41:03", -1, "2026-11-14T09:41:03Z"},
      {"2026-11-14 09:41:03", 0, "2026-11-14T09:41:03.000Z"},
      {"2026-11-14 09:41:03", 7, "2026-11-14T09:41:03.007Z"},
      {"2026-11-14 09:41:03", 45, "2026-11-14T09:41:03.045Z"},
      {"2024-02-29 23:59:59", 999, "2024-02-29T23:59:59.999Z"},
      {"2026-02-29 00:00:00", 5, ""},  // not a leap year
      {"2026-11-14 24:00:00", -1, ""},
      {"2026-13-01 00:00:00", -1, ""},
      {"2026-11-14T09:41:03", -1, ""},
      {"2026-11-14 09:41:0\"", -1, ""},
      {"2026-11-14\n09:41:03", -1, ""},
      {"2026-11-14 09:41:03.5", -1, ""},
      {"", 120, ""},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(IsoUtcTime(c.rx_time, c.millisecond), c.iso) << c.rx_time << " " << c.millisecond;
  }
  TelemetryRecord record;
  record.RxTime = "2026-11-14 09:41:03";
  record.RxMillisecond = 250;
  const std::pair<AnalysisFormat, std::string> kStarts[] = {
      {AnalysisFormat::kCsv, "2026-11-14T09:41:03.250Z,pass.kss,"},
      {AnalysisFormat::kJsonLines, "{\"rx_time_utc\":\"2026-11-14T09:41:03.250Z\","},
  };
  for (const auto& [format, start] : kStarts) {
    AnalysisWriter writer(format);
    std::string line;
    writer.Append(line, Kind::kBeacon, record, 1, "pass.kss");
    EXPECT_EQ(line.substr(0, start.size()), start);
  }
  EXPECT_EQ(ParseUtcDateTime("1970-01-01 00:00:00"), 0);
  EXPECT_EQ(ParseUtcDateTime("2000-03-01 00:00:01"), 951868801);
  EXPECT_EQ(ParseUtcDateTime("1969-12-31 23:59:59"), -1);
}

TEST(AnalysisExports, ColumnNamesAndKeysAreUnique) {
  const std::vector<std::string>& columns = AnalysisColumns();
  ASSERT_EQ(columns.size(), kAnalysisLeadColumns + kFieldCount + kLampCount);
  std::set<std::string> names(columns.begin(), columns.end());
  std::set<std::string> keys;
  for (const std::string& name : columns) {
    const std::string key = SnakeCaseKey(name);
    EXPECT_EQ(key.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_"), std::string::npos);
    keys.insert(key);
  }
  EXPECT_EQ(names.size(), columns.size());
  EXPECT_EQ(keys.size(), columns.size());
}

// The whole CSV header, every JSON and line-protocol key and the values of the sample's first
// record of each kind, against golden files (regenerated like those of exports_test.cpp).
TEST(ExportsGolden, AnalysisFormatsOfTheSample) {
  const DecoderState state = testing::LoadSample();
  const std::pair<AnalysisFormat, const char*> kCases[] = {
      {AnalysisFormat::kCsv, "sample-analysis.csv"},
      {AnalysisFormat::kJsonLines, "sample-analysis.jsonl"},
      {AnalysisFormat::kInflux, "sample-analysis.lp"},
  };
  for (const auto& [format, golden] : kCases) {
    AnalysisWriter writer(format);
    std::string text = writer.Header();
    for (const Kind kind : {Kind::kBeacon, Kind::kPayload}) {
      writer.Append(text, kind, state.Store(kind)[0], 1, "/captures/sample-pass.kss");
    }
    const std::string path = std::string(TALPHEX_TEST_DATA_DIR) + "/" + golden;
    if (std::getenv("TALPHEX_UPDATE_GOLDEN") != nullptr) testing::WriteFile(path, text);
    EXPECT_TRUE(text == testing::ReadFile(path)) << golden << " differs:\n" << text;
  }
}

// File names reach the CSV and JSON as UTF-8 with no control character: a name that is not
// UTF-8 (overlong forms, surrogates, past U+10FFFF, cut off) is read as Latin-1, and C1
// characters become "?" like the other control characters.
TEST(AnalysisExports, FileNamesBecomePrintableUtf8) {
  const std::pair<std::string, std::string> kCases[] = {
      {"\xC2\xA9 \xE2\x82\xAC \xF0\x9F\x93\xA1.kss", "\xC2\xA9 \xE2\x82\xAC \xF0\x9F\x93\xA1.kss"},
      {"x\xC0\xAF.kss", "x\xC3\x80\xC2\xAF.kss"},  // an overlong "/"
      {"x\xC1\xBF.kss", "x\xC3\x81\xC2\xBF.kss"},
      {"\xE0\x80\xAF", "\xC3\xA0?\xC2\xAF"},
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0?"},
      {"\xF4\x90\x80\x80", "\xC3\xB4???"},
      {"\xF5\x80", "\xC3\xB5?"},
      {"a\xC3", "a\xC3\x83"},
      {"a\x7F"
       "b\x1F"
       "c",
       "a?b?c"},
      {"\xE9\x7F", "\xC3\xA9?"},
  };
  for (const auto& [name, shown] : kCases) {
    SCOPED_TRACE(shown);
    AnalysisWriter csv(AnalysisFormat::kCsv);
    AnalysisWriter json(AnalysisFormat::kJsonLines);
    std::string csv_line, json_line;
    csv.Append(csv_line, Kind::kBeacon, TelemetryRecord{}, 1, "/captures/" + name);
    json.Append(json_line, Kind::kBeacon, TelemetryRecord{}, 1, "/captures/" + name);
    const std::string csv_start = "," + shown + ",beacon,1,";
    const std::string json_start = "{\"rx_time_utc\":null,\"source\":\"" + shown + "\",";
    EXPECT_EQ(csv_line.substr(0, csv_start.size()), csv_start);
    EXPECT_EQ(json_line.substr(0, json_start.size()), json_start);
  }
}

// Line protocol holds nanoseconds since 1970 in 64 bits: the seconds from 1677-09-21 00:12:45 to
// 2262-04-11 23:47:15 are written, with their milliseconds; one more on either side is left out,
// counted apart from the records without a time.
TEST(AnalysisExports, LineProtocolTimesWithinSixtyFourBitNanoseconds) {
  struct Case {
    const char* rx_time;
    int millisecond;
    const char* end;  // nullptr: left out
    InfluxLeftOut left_out;
  };
  const Case kCases[] = {
      {"2262-04-11 23:47:15", -1, " 9223372035000000000\n", {}},
      {"2262-04-11 23:47:15", 999, " 9223372035999000000\n", {}},
      {"2262-04-11 23:47:16", -1, nullptr, {.out_of_range = 1}},
      {"1677-09-21 00:12:45", -1, " -9223372035000000000\n", {}},
      {"1677-09-21 00:12:45", 1, " -9223372034999000000\n", {}},
      {"1677-09-21 00:12:44", 999, nullptr, {.out_of_range = 1}},
      {"2026-11-14 09:41:03", 7, " 1794649263007000000\n", {}},
      {"2026-11-14 09:41:03", -1, " 1794649263000000000\n", {}},
      {"2026-11-14 09:41:3", 7, nullptr, {.without_time = 1}},
      {"", -1, nullptr, {.without_time = 1}},
  };
  for (const auto& [rx_time, millisecond, end, left_out] : kCases) {
    SCOPED_TRACE(rx_time);
    TelemetryRecord record;
    record.RxTime = rx_time;
    record.RxMillisecond = millisecond;
    AnalysisWriter writer(AnalysisFormat::kInflux);
    std::string line;
    writer.Append(line, Kind::kBeacon, record, 1, "pass.kss");
    EXPECT_EQ(writer.left_out().without_time, left_out.without_time);
    EXPECT_EQ(writer.left_out().out_of_range, left_out.out_of_range);
    if (end == nullptr) {
      EXPECT_EQ(line, "");
    } else {
      ASSERT_GT(line.size(), std::strlen(end));
      EXPECT_EQ(line.substr(line.size() - std::strlen(end)), end);
    }
  }
}

// One payload record from a capture whose name holds control bytes (a C1 CSI among them), quotes
// and Latin-1, with a receive time that is not one and a value that is not finite.
TEST(AnalysisExports, UntrustedTextAndMissingValues) {
  TelemetryRecord record;
  record.RxTime = "2026-11-14\r\n9:41:03";
  record.Value[34] = std::numeric_limits<double>::quiet_NaN();
  record.Value[43] = 3611;
  const std::string source =
      "/captures/a\"b,c\x01=\x9B"
      "d \xE9.kss";
  const std::pair<AnalysisFormat, std::string> kCases[] = {
      {AnalysisFormat::kCsv,
       ",\"a\"\"b,c?=?d \xC3\xA9.kss\",payload,7" + std::string(36, ',') + "0,"},
      {AnalysisFormat::kJsonLines,
       "{\"rx_time_utc\":null,\"source\":\"a\\\"b,c?=?d \xC3\xA9.kss\",\"kind\":\"payload\","
       "\"record\":7,\"Message No.\":null,"},
  };
  for (const auto& [format, start] : kCases) {
    AnalysisWriter writer(format);
    std::string line;
    writer.Append(line, Kind::kPayload, record, 7, source);
    EXPECT_EQ(line.substr(0, start.size()), start);
    EXPECT_EQ(line.find('\x01'), std::string::npos);
    EXPECT_NE(line.find(format == AnalysisFormat::kCsv ? ",0,3611," : "[s]\":3611,"),
              std::string::npos)
        << line;
  }
  AnalysisWriter influx(AnalysisFormat::kInflux);
  std::string lines;
  influx.Append(lines, Kind::kPayload, record, 7, source);
  record.RxTime = "2026-11-14 09:41:03";
  influx.Append(lines, Kind::kPayload, record, 8, source);
  EXPECT_EQ(influx.left_out().without_time, 1);
  const std::string start =
      "talphex_payload,source=a\"b\\,c?\\=?d\\ \xC3\xA9.kss record=8i,power_ch2_temp_c=0,";
  EXPECT_EQ(lines.substr(0, start.size()), start);
  EXPECT_EQ(lines.find("power_ch1_temp"), std::string::npos);
  EXPECT_NE(lines.find(",supervisor_time_s=3611i,"), std::string::npos);
  EXPECT_EQ(lines.substr(lines.size() - 21), " 1794649263000000000\n");
}

// InfluxDB keeps one point per measurement, tag set and time: records that share a receive time
// would overwrite each other. The later one of a series moves to the nanosecond after the last,
// so every record is a point, in arrival order; other series, and times that went back, keep
// their own time.
TEST(AnalysisExports, EveryRecordIsOnePoint) {
  struct Step {
    Kind kind;
    const char* source;
    const char* rx_time;
    int millisecond;
    std::int64_t nanoseconds_after_time;  // of the point written
  };
  constexpr Kind kB = Kind::kBeacon;
  constexpr Kind kP = Kind::kPayload;
  constexpr Step kSteps[] = {
      {kB, "a.kss", "2026-11-14 09:41:03", -1, 0},
      {kB, "a.kss", "2026-11-14 09:41:03", -1, 1},
      {kB, "a.kss", "2026-11-14 09:41:03", -1, 2},
      {kP, "a.kss", "2026-11-14 09:41:03", -1, 0},  // another measurement
      {kB, "b.kss", "2026-11-14 09:41:03", -1, 0},  // another source
      {kB, "a.kss", "2026-11-14 09:41:03", -1, 3},  // back to the first series
      {kB, "a.kss", "2026-11-14 09:41:03", 0, 4},
      {kB, "a.kss", "2026-11-14 09:41:03", 1, 0},
      {kB, "a.kss", "2026-11-14 09:41:03", 1, 1},
      {kB, "a.kss", "2026-11-14 09:41:04", -1, 0},
      {kB, "a.kss", "2026-11-14 09:41:02", -1, 0},  // a clock set back
      {kB, "a.kss", "2026-11-14 09:41:02", -1, 1},
  };
  AnalysisWriter writer(AnalysisFormat::kInflux);
  std::string lines;
  for (const Step& step : kSteps) {
    TelemetryRecord record;
    record.RxTime = step.rx_time;
    record.RxMillisecond = step.millisecond;
    lines.clear();
    writer.Append(lines, step.kind, record, 1, step.source);
    const std::int64_t expected = *ParseUtcDateTime(step.rx_time) * 1'000'000'000 +
                                  std::max(step.millisecond, 0) * 1'000'000 +
                                  step.nanoseconds_after_time;
    EXPECT_EQ(lines.substr(lines.rfind(' ') + 1), std::to_string(expected) + "\n")
        << step.source << " " << step.rx_time << " " << step.millisecond;
  }
}

// Tag values as InfluxDB 1.x and 2.x both store them: a backslash would be read differently by
// the two (and one at the end rejects the whole file), so it becomes "/".
TEST(AnalysisExports, LineProtocolTagValues) {
  const std::pair<std::string, std::string> kCases[] = {
      {"back\\slash.kss", "back/slash.kss"},
      {"ends in\\", "ends\\ in/"},
      {"\\\\", "//"},
      {"a,b=c d.kss", "a\\,b\\=c\\ d.kss"},
      {"\\,", "/\\,"},
      {"tab\there\x1B\x9B.kss", "tab?here??.kss"},
      {"\xE9t\xE9.kss", "\xC3\xA9t\xC3\xA9.kss"},
  };
  TelemetryRecord record;
  record.RxTime = "2026-11-14 09:41:03";
  for (const auto& [name, tag] : kCases) {
    AnalysisWriter writer(AnalysisFormat::kInflux);
    std::string line;
    writer.Append(line, Kind::kBeacon, record, 1, "/captures/" + name);
    const std::string start = "talphex_beacon,source=" + tag + " record=1i,";
    EXPECT_EQ(line.substr(0, start.size()), start) << name;
  }
}

// The station is a tag after the source; without one, or without a source, the tag is left out.
TEST(AnalysisExports, StationTag) {
  struct Case {
    const char* station;
    const char* source;
    const char* start;
  };
  constexpr Case kCases[] = {
      {"", "pass.kss", "talphex_payload,source=pass.kss record=1i,"},
      {"GS-1_north", "pass.kss", "talphex_payload,source=pass.kss,station=GS-1_north record=1i,"},
      {"GS-1", "", "talphex_payload,station=GS-1 record=1i,"},
      {"", "", "talphex_payload record=1i,"},
  };
  TelemetryRecord record;
  record.RxTime = "2026-11-14 09:41:03";
  for (const Case& c : kCases) {
    AnalysisWriter writer(AnalysisFormat::kInflux, c.station);
    std::string line;
    writer.Append(line, Kind::kPayload, record, 1, c.source);
    EXPECT_EQ(line.substr(0, std::strlen(c.start)), c.start);
  }
}

// Merging runs name the stations of each record last, first hearer first; the line protocol,
// which tags one station per point, stays as it was.
TEST(AnalysisExports, StationsColumnLast) {
  TelemetryRecord record;
  record.RxTime = "2026-11-14 09:41:03";
  const std::vector<std::string> two = {"GS-2", "GS_1"};
  struct Case {
    AnalysisFormat format;
    std::vector<std::string> stations;
    const char* header_end;
    const char* line_end;
  };
  const Case kCases[] = {
      {AnalysisFormat::kCsv, two, ",stations\r\n", ",GS-2 GS_1\r\n"},
      {AnalysisFormat::kCsv, {}, ",stations\r\n", ",0,\r\n"},
      {AnalysisFormat::kJsonLines, two, "", ",\"stations\":[\"GS-2\",\"GS_1\"]}\n"},
      {AnalysisFormat::kJsonLines, {}, "", "false,\"stations\":[]}\n"},
      {AnalysisFormat::kInflux, two, "", " 1794649263000000000\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.format));
    AnalysisWriter plain(c.format);
    AnalysisWriter merged(c.format);
    merged.AddStationsColumn();
    std::string plain_line;
    std::string merged_line;
    plain.Append(plain_line, Kind::kPayload, record, 1, "a.kss");
    merged.Append(merged_line, Kind::kPayload, record, 1, "a.kss", c.stations);
    EXPECT_TRUE(merged_line.ends_with(c.line_end)) << merged_line;
    EXPECT_TRUE(merged.Header().ends_with(c.header_end));
    // Everything before the column is the plain line's: all but its "\r\n" or "}\n".
    const std::size_t kept = plain_line.size() - 2;
    EXPECT_EQ(merged_line.substr(0, kept), plain_line.substr(0, kept));
    if (c.format == AnalysisFormat::kInflux) {
      EXPECT_EQ(merged_line, plain_line);
    }
  }
}

// The message of the records left out names each reason with its count.
TEST(AnalysisExports, LeftOutTextNamesEachReason) {
  const std::pair<InfluxLeftOut, const char*> kCases[] = {
      {{}, ""},
      {{.without_time = 3}, "3 records left out: 3 without a receive time"},
      {{.out_of_range = 5},
       "5 records left out: 5 with a receive time outside InfluxDB's years 1677 to 2262"},
      {{.without_time = 3, .out_of_range = 5},
       "8 records left out: 3 without a receive time, 5 with a receive time outside InfluxDB's "
       "years 1677 to 2262"},
  };
  for (const auto& [left_out, text] : kCases) EXPECT_EQ(InfluxLeftOutText(left_out), text);
}

// Records keep the capture they came from, across captures that add none of a kind.
TEST(AnalysisExports, SourceOfEachRecord) {
  DecoderState state;
  state.BeginSource("first.kss");
  state.BeaconCount = 2;
  state.BeginSource("payload-only.kss");
  state.PayloadCount = 3;
  state.BeginSource("last.kss");
  state.BeaconCount = 4;
  const std::pair<std::pair<Kind, int>, const char*> kCases[] = {
      {{Kind::kBeacon, 1}, "first.kss"},         {{Kind::kBeacon, 2}, "first.kss"},
      {{Kind::kBeacon, 3}, "last.kss"},          {{Kind::kPayload, 1}, "payload-only.kss"},
      {{Kind::kPayload, 3}, "payload-only.kss"},
  };
  for (const auto& [record, source] : kCases) {
    EXPECT_EQ(state.SourceOf(record.first, record.second), source) << record.second;
  }
  state.ResetCounts();
  EXPECT_EQ(state.SourceOf(Kind::kBeacon, 1), "");
}

}  // namespace
}  // namespace talphex
