// Golden files: tests/data/sample-beacon.csv, sample-payload.csv and sample-record20.tlm hold the
// exports of the bundled sample capture. After a deliberate change of a file format, regenerate
// them with
//   TALPHEX_UPDATE_GOLDEN=1 build/<dir>/tests/core_tests --gtest_filter='ExportsGolden.*'
// and review the difference by eye before committing it.

#include "export/exports.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture_loader.h"
#include "capture/capture_writer.h"
#include "export/test_files.h"
#include "ui/field_catalogue.h"

namespace talphex {
namespace {

namespace fs = std::filesystem;
using testing::Captured;
using testing::ReadFile;
using testing::WriteFile;

constexpr int kReportRecord = 20;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text after the last CR LF";
  return lines;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  for (std::string field; std::getline(in, field, ';');) fields.push_back(field);
  if (!line.empty() && line.back() == ';') fields.emplace_back();
  return fields;
}

const DecoderState& Sample() {
  static const DecoderState state = [] {
    DecoderState loaded;
    loaded.InputFilePath = TALPHEX_SAMPLE_CAPTURE;
    const LoadResult result = LoadCaptureFile(loaded, TALPHEX_SAMPLE_CAPTURE);
    EXPECT_TRUE(result.ok()) << result.error;
    return loaded;
  }();
  return state;
}

void ExpectGolden(const std::string& name, const std::string& actual) {
  const fs::path golden = fs::path(TALPHEX_TEST_DATA_DIR) / name;
  const char* update = std::getenv("TALPHEX_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    WriteFile(golden, actual);
    GTEST_SKIP() << "rewrote " << golden;
  }
  ASSERT_TRUE(fs::exists(golden)) << golden;
  const std::string expected = ReadFile(golden);
  EXPECT_EQ(actual.size(), expected.size()) << name;
  EXPECT_TRUE(actual == expected) << name << " differs from its golden file " << golden;
}

TEST(ExportsGolden, BeaconCsvOfTheSample) {
  ASSERT_EQ(Sample().BeaconCount, 86);
  const std::string csv = Captured([](std::FILE* out) { WriteBeaconCsv(out, Sample(), '.'); });
  const std::vector<std::string> lines = Lines(csv);
  ASSERT_EQ(lines.size(), 87u);
  for (const std::string& line : lines) ASSERT_EQ(Fields(line).size(), 53u) << line;
  const std::vector<std::string> header = Fields(lines[0]);
  EXPECT_EQ(header[0], "time");
  for (int field = 0; field < kFieldCount; ++field) {
    EXPECT_EQ(header[static_cast<std::size_t>(field) + 1], kFields[field].caption);
  }
  EXPECT_EQ(header[46], "Status Word 0 High");
  EXPECT_EQ(header[51], "Status Word 2 Low");
  EXPECT_EQ(header[52], "");
  const std::vector<std::string> first = Fields(lines[1]);
  EXPECT_EQ(first[0], Sample().BeaconStore[0].RxTime);
  for (std::size_t slot = 34; slot <= 50; ++slot) EXPECT_EQ(first[slot + 1], "0.00") << slot;
  ExpectGolden("sample-beacon.csv", csv);
}

TEST(ExportsGolden, PayloadCsvOfTheSample) {
  ASSERT_EQ(Sample().PayloadCount, 26);
  const std::string csv = Captured([](std::FILE* out) { WritePayloadCsv(out, Sample(), '.'); });
  const std::vector<std::string> lines = Lines(csv);
  ASSERT_EQ(lines.size(), 27u);
  for (const std::string& line : lines) ASSERT_EQ(Fields(line).size(), 19u) << line;
  EXPECT_EQ(lines[0],
            "time;Power Ch1 Temp;Power Ch2 Temp;Battery Voltage;PowSec Ch1 Temp;Ch1 CSAC Temp;"
            "Ch1 Current;PowSec Ch2 Temp;Ch2 CSAC Temp;Ch2 Current;Supervisor Time;Overflow Time;"
            "Status Word 0 High;Status Word 0 Low;Status Word 1 High;Status Word 1 Low;"
            "Status Word 2 High;Status Word 2 Low;");
  for (std::size_t r = 1; r < lines.size(); ++r) {
    const std::vector<std::string> fields = Fields(lines[r]);
    for (std::size_t column = 12; column <= 17; ++column) {
      EXPECT_EQ(fields[column].find('.'), std::string::npos) << "status bytes are whole numbers";
    }
  }
  ExpectGolden("sample-payload.csv", csv);
}

TEST(ExportsGolden, ReportOfTheSample) {
  const RecordView view = BuildRecordView(Sample(), kReportRecord, Kind::kBeacon);
  const std::string report = Captured([&view](std::FILE* out) { WriteReport(out, view); });
  const std::vector<std::string> lines = Lines(report);
  ASSERT_EQ(lines.size(), 53u);
  EXPECT_EQ(lines[0].rfind("TALPHEX Telemetry Decoder", 0), 0u);
  EXPECT_EQ(lines[1], std::string(54, '='));
  EXPECT_EQ(lines[3], Sample().BeaconStore[kReportRecord - 1].FrameText);
  EXPECT_EQ(lines[40], Sample().PayloadStore[kReportRecord - 1].FrameText);
  for (std::size_t blank : {2, 4, 39, 41}) EXPECT_EQ(lines[blank], "") << blank;
  EXPECT_EQ(lines[5], "Message No.       : " + view.values[0] + " ");
  EXPECT_EQ(lines[9], "Battery Volt      : " + view.values[4] + " V");
  EXPECT_EQ(lines[33], "ACS Arduino Curr  : " + view.values[28] +
                           " \xB5"
                           "A");
  EXPECT_EQ(lines[52], "Overflow Time     : " + view.values[44] + " s");
  ExpectGolden("sample-record20.tlm", report);
}

TEST(Exports, CsvWithDecimalComma) {
  const std::vector<std::string> point =
      Lines(Captured([](std::FILE* out) { WriteBeaconCsv(out, Sample(), '.'); }));
  const std::vector<std::string> comma =
      Lines(Captured([](std::FILE* out) { WriteBeaconCsv(out, Sample(), ','); }));
  ASSERT_EQ(comma.size(), point.size());
  EXPECT_EQ(comma[0], point[0]) << "the header keeps its points";
  for (std::size_t r = 1; r < point.size(); ++r) {
    std::vector<std::string> expected = Fields(point[r]);
    for (std::size_t f = 1; f < expected.size(); ++f) {
      for (char& c : expected[f]) c = c == '.' ? ',' : c;
    }
    EXPECT_EQ(Fields(comma[r]), expected);
  }
}

TEST(Exports, CsvValuesInTheTwoDecimalForm) {
  DecoderState state;
  state.BeaconStore.resize(1);
  state.BeaconCount = 1;
  const double kValues[] = {3.14159, -273.15, 1234.5, 0, 0.5, 2.675, -0.001};
  const char* kTexts[] = {"3.14", "-273.15", "1234.50", "0.00", "0.50", "2.68", "0.00"};
  for (std::size_t i = 0; i < std::size(kValues); ++i) state.BeaconStore[0].Value[i] = kValues[i];
  const std::vector<std::string> lines =
      Lines(Captured([&state](std::FILE* out) { WriteBeaconCsv(out, state, '.'); }));
  ASSERT_EQ(lines.size(), 2u);
  const std::vector<std::string> fields = Fields(lines[1]);
  EXPECT_EQ(fields[0], "") << "no timestamp: the line begins with \";\"";
  for (std::size_t i = 0; i < std::size(kValues); ++i) EXPECT_EQ(fields[i + 1], kTexts[i]);
}

TEST(Exports, CsvKeepsToTheStoredRecords) {
  struct Case {
    int beacons;
    int payloads;
    std::size_t beacon_lines;
  };
  for (const Case c : {Case{0, 3, 1}, Case{1005, 0, 1001}}) {
    CaptureWriter writer;
    for (int i = 0; i < c.beacons; ++i) writer.AddFrame(kBeaconMarker, EncodeBeaconBody({}));
    for (int i = 0; i < c.payloads; ++i) writer.AddFrame(kPayloadMarker, EncodePayloadBody({}));
    DecoderState state;
    const std::string& bytes = writer.bytes();
    (void)LoadCaptureBytes(
        state, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, "p.kss");
    EXPECT_EQ(Lines(Captured([&](std::FILE* out) { WriteBeaconCsv(out, state, '.'); })).size(),
              c.beacon_lines);
    EXPECT_EQ(Lines(Captured([&](std::FILE* out) { WritePayloadCsv(out, state, '.'); })).size(),
              static_cast<std::size_t>(c.payloads) + 1);
  }
}

TEST(Exports, ReportOfARecordWithoutPayload) {
  const RecordView view = BuildRecordView(Sample(), 80, Kind::kBeacon);
  const std::vector<std::string> lines =
      Lines(Captured([&view](std::FILE* out) { WriteReport(out, view); }));
  ASSERT_EQ(lines.size(), 53u);
  EXPECT_EQ(lines[40], "");
  EXPECT_EQ(lines[42], "Power Ch1 Temp    :  C");
  EXPECT_EQ(lines[51], "Supervisor Time   :  s");
}

class ExportFileTest : public testing::TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    state_ = Sample();
    state_.InputFilePath = (folder_ / "pass.1.kss").string();
  }

  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  DecoderState state_;
};

TEST_F(ExportFileTest, WritesBesideTheCapture) {
  const RecordView view = BuildRecordView(state_, 3, Kind::kBeacon);
  const Expected<std::string> csv = ExportBeaconCsv(state_, '.');
  const Expected<std::string> payload = ExportPayloadCsv(state_, '.');
  const Expected<std::string> report = ExportReport(state_, view);
  ASSERT_TRUE(csv.ok()) << csv.error();
  ASSERT_TRUE(payload.ok()) << payload.error();
  ASSERT_TRUE(report.ok()) << report.error();
  EXPECT_EQ(csv.value(), (folder_ / "pass.csv").string());
  EXPECT_EQ(payload.value(), (folder_ / "pass-payload.csv").string());
  EXPECT_EQ(report.value(), (folder_ / "pass.tlm").string());
  EXPECT_EQ(ReadFile(csv.value()),
            Captured([&](std::FILE* out) { WriteBeaconCsv(out, state_, '.'); }));
  EXPECT_EQ(ReadFile(payload.value()),
            Captured([&](std::FILE* out) { WritePayloadCsv(out, state_, '.'); }));
  EXPECT_EQ(ReadFile(report.value()), Captured([&](std::FILE* out) { WriteReport(out, view); }));
  EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"pass-payload.csv", "pass.csv", "pass.tlm"}))
      << "no temporary file is left behind";
}

TEST_F(ExportFileTest, ExportingAgainReplacesTheFile) {
  WriteFile(folder_ / "pass.csv", std::string(200000, 'x'));
  ASSERT_TRUE(ExportBeaconCsv(state_, '.').ok());
  state_.BeaconCount = 2;
  ASSERT_TRUE(ExportBeaconCsv(state_, ',').ok());
  EXPECT_EQ(ReadFile(folder_ / "pass.csv"),
            Captured([&](std::FILE* out) { WriteBeaconCsv(out, state_, ','); }));
}

TEST_F(ExportFileTest, NoInputFileWritesNothing) {
  state_.InputFilePath.clear();
  const RecordView view = BuildRecordView(state_, 1, Kind::kBeacon);
  for (const Expected<std::string>& result :
       {ExportBeaconCsv(state_, '.'), ExportPayloadCsv(state_, '.'), ExportReport(state_, view)}) {
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error(), kNoInputFile);
  }
  EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(ExportFileTest, UnwritablePlaceGivesAnErrorNamingThePath) {
  struct Case {
    const char* name;
    std::string input;
    std::string output;
  };
  const Case kCases[] = {
      {"folder that does not exist", (folder_ / "gone" / "pass.kss").string(),
       (folder_ / "gone" / "pass.csv").string()},
      {"output name taken by a folder", (folder_ / "taken.kss").string(),
       (folder_ / "taken.csv").string()},
  };
  fs::create_directories(folder_ / "taken.csv");
  for (const Case& c : kCases) {
    state_.InputFilePath = c.input;
    const Expected<std::string> result = ExportBeaconCsv(state_, '.');
    ASSERT_FALSE(result.ok()) << c.name;
    EXPECT_NE(result.error().find(c.output), std::string::npos) << c.name << ": " << result.error();
    EXPECT_GT(result.error().size(), c.output.size() + 2) << c.name << ": a reason follows";
  }
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"taken.csv"});
}

// A write that fails part-way (the file-size limit stands in for a full disk) must leave the
// earlier file exactly as it was.
TEST_F(ExportFileTest, FailedWriteKeepsTheEarlierFile) {
  const std::string earlier = "earlier export\r\n";
  WriteFile(folder_ / "pass.csv", earlier);
  WriteFile(folder_ / "pass.tlm", earlier);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const Expected<std::string> csv = ExportBeaconCsv(state_, '.');
  const Expected<std::string> report =
      ExportReport(state_, BuildRecordView(state_, 1, Kind::kBeacon));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);

  ASSERT_FALSE(csv.ok());
  EXPECT_NE(csv.error().find((folder_ / "pass.csv").string()), std::string::npos) << csv.error();
  EXPECT_EQ(ReadFile(folder_ / "pass.csv"), earlier);
  ASSERT_FALSE(report.ok()) << "a report is larger than 1000 bytes";
  EXPECT_EQ(ReadFile(folder_ / "pass.tlm"), earlier);
  EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"pass.csv", "pass.tlm"}));
}

}  // namespace
}  // namespace talphex
