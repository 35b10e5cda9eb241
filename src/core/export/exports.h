// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/expected.h"
#include "core/decode/decoder_state.h"
#include "core/export/analysis_exports.h"
#include "core/export/output_plan.h"
#include "core/view/record_view.h"

namespace talphex {

inline constexpr char kNoInputFile[] = "no input file";
inline constexpr char kHasBeenWritten[] = " has been written";
// Endings of the files written beside the capture (see OutputPathFor).
inline constexpr char kBeaconCsvSuffix[] = ".csv";
inline constexpr char kPayloadCsvSuffix[] = "-payload.csv";
inline constexpr char kReportSuffix[] = ".tlm";
// The pass summary the window proposes to save.
inline constexpr char kPassSummarySuffix[] = "-pass.md";

// Beacon CSV: "time;", one entry per value slot 0 to 50, every line ended by ";" and CR LF;
// one line per stored beacon record, values in the two-decimal form.
void WriteBeaconCsv(std::FILE* out, const DecoderState& state, char decimal_separator);

// Payload CSV: "time;" and value slots 34 to 50; 34 to 44 in the two-decimal form, the status
// bytes 45 to 50 as whole numbers.
void WritePayloadCsv(std::FILE* out, const DecoderState& state, char decimal_separator);

// The header line of a kind's CSV file, and one record's line appended to `line`: the pieces of
// the two writers above, for exports written while the input is read.
std::string CsvHeader(Kind kind);
void AppendCsvLine(std::string& line, Kind kind, const TelemetryRecord& record,
                   char decimal_separator);

// Telemetry report of the two records on view, from the view's own texts.
void WriteReport(std::FILE* out, const RecordView& view);

// Runs `write` into the file beside the capture last loaded (state.InputFilePath) named by
// OutputPathFor with `suffix`, replacing an earlier file only when complete. Returns the path
// written, or kNoInputFile / the path and the reason.
// The captures `state` was loaded from, as the inputs of an output plan.
std::vector<PlannedInput> InputsOf(const DecoderState& state);

Expected<std::string> ExportBeside(const DecoderState& state, std::string_view suffix,
                                   const std::function<void(std::FILE*)>& write);

// The three files written that way.
Expected<std::string> ExportBeaconCsv(const DecoderState& state, char decimal_separator);
Expected<std::string> ExportPayloadCsv(const DecoderState& state, char decimal_separator);
Expected<std::string> ExportReport(const DecoderState& state, const RecordView& view);
// Every stored record for analysis tools, beside the capture as "-analysis.csv", ".jsonl" or
// ".lp" (line protocol).
Expected<std::string> ExportAnalysis(const DecoderState& state, AnalysisFormat format);
std::string_view AnalysisSuffix(AnalysisFormat format);

}  // namespace talphex
