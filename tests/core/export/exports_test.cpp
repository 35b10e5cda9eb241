// SPDX-License-Identifier: GPL-3.0-or-later
// Golden files: tests/data/sample-beacon.csv, sample-payload.csv and sample-record20.tlm hold the
// exports of the bundled sample capture. After a deliberate change of a file format, regenerate
// them with
//   TALPHEX_UPDATE_GOLDEN=1 build/<dir>/tests/core_tests --gtest_filter='ExportsGolden.*'
// and review the difference by eye before committing it.

#include "core/export/exports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <tuple>

#include "testkit/sample_capture.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

using testing::Captured;
using testing::LoadSample;
using testing::ReadFile;

const std::string kDataDir = std::string(TALPHEX_TEST_DATA_DIR) + "/";

std::string BeaconCsv(const DecoderState& state, char separator) {
  return Captured([&](std::FILE* out) { WriteBeaconCsv(out, state, separator); });
}

// The exports of the sample beside its capture, replacing a file that was there, and nothing else.
TEST(ExportsGolden, SampleExportsBesideTheCapture) {
  const testing::TempDir dir;
  DecoderState state = LoadSample();
  state.InputFilePath = dir.File("pass.1.kss");
  testing::WriteFile(dir.File("pass.csv"), std::string(200000, 'x'));
  const std::tuple<Expected<std::string>, std::string, const char*> kCases[] = {
      {ExportBeaconCsv(state, '.'), dir.File("pass.csv"), "sample-beacon.csv"},
      {ExportPayloadCsv(state, '.'), dir.File("pass-payload.csv"), "sample-payload.csv"},
      {ExportReport(state, BuildRecordView(state, 20, Kind::kBeacon)), dir.File("pass.tlm"),
       "sample-record20.tlm"},
  };
  for (const auto& [written, path, golden] : kCases) {
    ASSERT_TRUE(written.ok()) << written.error().message;
    EXPECT_EQ(written.value(), path);
    const std::string text = ReadFile(path);
    if (std::getenv("TALPHEX_UPDATE_GOLDEN") != nullptr)
      testing::WriteFile(kDataDir + golden, text);
    EXPECT_TRUE(text == ReadFile(kDataDir + golden)) << path << " differs from " << golden;
  }
  EXPECT_EQ(dir.Listing(), "pass-payload.csv\npass.csv\npass.tlm\n");
}

TEST(Exports, CsvKeepsToTheStoredRecordsInTheTwoDecimalForm) {
  DecoderState state;
  state.BeaconStore.resize(1000);
  const double kValues[] = {3.14159, -273.15, 1234.5, 0, 0.5, 2.675, -0.001};
  std::copy(std::begin(kValues), std::end(kValues), state.BeaconStore[0].Value.begin());
  state.PayloadCount = 3;  // payload records only: the header alone
  EXPECT_EQ(BeaconCsv(state, '.').find("\r\n") + 2, BeaconCsv(state, '.').size());
  state.BeaconCount = 1005;
  const std::string csv = BeaconCsv(state, '.');
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1001);
  // No timestamp: the line begins with ";".
  EXPECT_NE(csv.find("\r\n;3.14;-273.15;1234.50;0.00;0.50;2.68;0.00;0.00;"), std::string::npos);
}

TEST(Exports, ReportHasItsLinesWhateverTheStoresHold) {
  const RecordView view = BuildRecordView(LoadSample(), 80, Kind::kBeacon);  // 26 payload records
  const std::string report = Captured([&](std::FILE* out) { WriteReport(out, view); });
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 53);
  EXPECT_NE(report.find("\r\n\r\n\r\nPower Ch1 Temp    :  C\r\n"), std::string::npos) << report;
  EXPECT_NE(report.find("\r\nSupervisor Time   :  s\r\n"), std::string::npos) << report;
}

TEST(Exports, NoInputFileWritesNothing) {
  DecoderState state;
  const RecordView view = BuildRecordView(state, 1, Kind::kBeacon);
  for (const Expected<std::string>& result :
       {ExportBeaconCsv(state, '.'), ExportPayloadCsv(state, '.'), ExportReport(state, view)}) {
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, ErrorKind::kNoCapture);
    EXPECT_EQ(result.error().message, kNoInputFile);
  }
}

}  // namespace
}  // namespace talphex
