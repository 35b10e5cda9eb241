// SPDX-License-Identifier: GPL-3.0-or-later
// The readers' side of these formats (csv, json, pandas, line protocol) is checked on the sample by
// tests/cli/analysis_readers.py; these cases pin what the sample cannot show: receive times and
// names from untrusted input, values that are not finite and the source of each record.
#include "core/export/analysis_exports.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>

#include "core/base/utc_time.h"
#include "core/view/field_catalogue.h"

namespace talphex {
namespace {

TEST(AnalysisExports, ReceiveTimesAreCheckedBeforeTheyAreWritten) {
  const std::pair<const char*, const char*> kCases[] = {
      {"2026-11-14 09:41:03", "2026-11-14T09:41:03Z"},
      {"2024-02-29 23:59:59", "2024-02-29T23:59:59Z"},
      {"2026-02-29 00:00:00", ""},  // not a leap year
      {"2026-11-14 24:00:00", ""},
      {"2026-13-01 00:00:00", ""},
      {"2026-11-14T09:41:03", ""},
      {"2026-11-14 09:41:0\"", ""},
      {"2026-11-14\n09:41:03", ""},
      {"2026-11-14 09:41:03.5", ""},
      {"", ""},
  };
  for (const auto& [rx_time, iso] : kCases) EXPECT_EQ(IsoUtcTime(rx_time), iso) << rx_time;
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
  EXPECT_EQ(columns[kAnalysisLeadColumns + 28],
            "ACS Arduino Curr [\xC2\xB5"
            "A]");
  EXPECT_EQ(SnakeCaseKey(columns[kAnalysisLeadColumns + 28]), "acs_arduino_curr_ua");
  EXPECT_EQ(SnakeCaseKey("SP Curr X- [mA]"), "sp_curr_x_minus_ma");
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
  EXPECT_EQ(influx.without_time(), 1);
  const std::string start =
      "talphex_payload,source=a\"b\\,c?\\=?d\\ \xC3\xA9.kss record=8i,power_ch2_temp_c=0,";
  EXPECT_EQ(lines.substr(0, start.size()), start);
  EXPECT_EQ(lines.find("power_ch1_temp"), std::string::npos);
  EXPECT_NE(lines.find(",supervisor_time_s=3611i,"), std::string::npos);
  EXPECT_EQ(lines.substr(lines.size() - 21), " 1794649263000000000\n");
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
