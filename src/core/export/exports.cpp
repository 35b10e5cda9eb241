// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/export/exports.h"

#include <string_view>

#include "core/base/output.h"
#include "core/export/atomic_file.h"
#include "core/export/output_path.h"
#include "core/view/field_catalogue.h"
#include "core/view/program_info.h"
#include "core/view/text_forms.h"

namespace talphex {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::size_t kCaptionWidth = 18;

int FirstSlot(Kind kind) { return kind == Kind::kBeacon ? 0 : kFirstPayloadSlot; }

void WriteCsv(std::FILE* out, const DecoderState& state, Kind kind, char decimal_separator) {
  Put(out, CsvHeader(kind));
  std::string line;
  const std::size_t records = state.StoredCount(kind);
  for (std::size_t r = 0; r < records; ++r) {
    AppendCsvLine(line, kind, state.Store(kind)[r], decimal_separator);
    Put(out, line);
    line.clear();
  }
}

// A report line: caption padded to 18 characters, ": ", the value as shown, a blank, the unit.
std::string FieldLine(int field, const std::string& value) {
  std::string line(Field(field).caption);
  if (line.size() < kCaptionWidth) line.resize(kCaptionWidth, ' ');
  line.append(": ").append(value).append(" ").append(Field(field).unit);
  return line;
}

}  // namespace

std::string CsvHeader(Kind kind) {
  std::string line = "time;";
  for (int slot = FirstSlot(kind); slot < kValueSlots; ++slot) {
    line.append(SlotName(slot)).push_back(';');
  }
  return line.append(kLineEnd);
}

// Every beacon slot and the payload measurements in the two-decimal form; the payload status
// bytes (slots past the fields) as whole numbers.
void AppendCsvLine(std::string& line, Kind kind, const TelemetryRecord& record,
                   char decimal_separator) {
  line.append(record.RxTime).push_back(';');
  for (int slot = FirstSlot(kind); slot < kValueSlots; ++slot) {
    const double value = record.Value[static_cast<std::size_t>(slot)];
    const bool whole = kind == Kind::kPayload && slot >= kFieldCount;
    line.append(!whole ? TwoDecimalText(value, decimal_separator) : IntegerText(value))
        .push_back(';');
  }
  line.append(kLineEnd);
}

void WriteBeaconCsv(std::FILE* out, const DecoderState& state, char decimal_separator) {
  WriteCsv(out, state, Kind::kBeacon, decimal_separator);
}

void WritePayloadCsv(std::FILE* out, const DecoderState& state, char decimal_separator) {
  WriteCsv(out, state, Kind::kPayload, decimal_separator);
}

void WriteReport(std::FILE* out, const RecordView& view) {
  std::string text;
  auto line = [&text](std::string_view content) { text.append(content).append(kLineEnd); };
  line(kProgramTitle);
  line(std::string(54, '='));
  line("");
  line(view.beacon_frame);
  line("");
  for (int field = 0; field < kFirstPayloadSlot; ++field) {
    line(FieldLine(field, view.values[static_cast<std::size_t>(field)]));
  }
  line("");
  line(view.payload_frame);
  line("");
  for (int field = kFirstPayloadSlot; field < kFieldCount; ++field) {
    line(FieldLine(field, view.values[static_cast<std::size_t>(field)]));
  }
  Put(out, text);
}

std::vector<PlannedInput> InputsOf(const DecoderState& state) {
  std::vector<PlannedInput> inputs = {{state.InputFilePath}};
  for (const DecoderState::SourceStart& source : state.sources) inputs.push_back({source.name});
  return inputs;
}

Expected<std::string> ExportBeside(const DecoderState& state, std::string_view suffix,
                                   const std::function<void(std::FILE*)>& write) {
  if (state.InputFilePath.empty()) return Error{ErrorKind::kNoCapture, kNoInputFile};
  std::string path = OutputPathFor(state.InputFilePath, suffix);
  // A capture named like its output ("pass.csv"), or any other capture loaded, is never replaced.
  if (Status written = WritePlannedFile(InputsOf(state), path, write); !written) {
    return written.error();
  }
  return path;
}

Expected<std::string> ExportBeaconCsv(const DecoderState& state, char decimal_separator) {
  return ExportBeside(state, kBeaconCsvSuffix,
                      [&](std::FILE* out) { WriteBeaconCsv(out, state, decimal_separator); });
}

Expected<std::string> ExportPayloadCsv(const DecoderState& state, char decimal_separator) {
  return ExportBeside(state, kPayloadCsvSuffix,
                      [&](std::FILE* out) { WritePayloadCsv(out, state, decimal_separator); });
}

Expected<std::string> ExportReport(const DecoderState& state, const RecordView& view) {
  return ExportBeside(state, kReportSuffix, [&](std::FILE* out) { WriteReport(out, view); });
}

std::string_view AnalysisSuffix(AnalysisFormat format) {
  switch (format) {
    case AnalysisFormat::kCsv:
      return "-analysis.csv";
    case AnalysisFormat::kJsonLines:
      return ".jsonl";
    case AnalysisFormat::kInflux:
      return ".lp";
  }
  return "";
}

Expected<std::string> ExportAnalysis(const DecoderState& state, AnalysisFormat format) {
  return ExportBeside(state, AnalysisSuffix(format),
                      [&](std::FILE* out) { (void)WriteAnalysis(out, state, format); });
}

}  // namespace talphex
