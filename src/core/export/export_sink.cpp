// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/export/export_sink.h"

#include "core/base/output.h"
#include "core/export/exports.h"

namespace talphex {

ExportSink::ExportSink(char decimal_separator, int report_record,
                       std::optional<std::size_t> max_records, std::string_view station)
    : decimal_separator_(decimal_separator),
      report_record_(report_record),
      max_records_(max_records),
      analysis_{Analysis(AnalysisFormat::kCsv, station),
                Analysis(AnalysisFormat::kJsonLines, station),
                Analysis(AnalysisFormat::kInflux, station)} {}

void ExportSink::Start(Kind kind) {
  Csv& csv = csv_[Index(kind)];
  if (csv.started || csv.out == nullptr) return;
  csv.started = true;
  Put(csv.out, CsvHeader(kind));
}

void ExportSink::Start(Analysis& analysis) {
  if (analysis.started || analysis.out == nullptr) return;
  analysis.started = true;
  Put(analysis.out, analysis.writer.Header());
}

void ExportSink::AddStationsColumn() {
  for (Analysis& analysis : analysis_) analysis.writer.AddStationsColumn();
}

void ExportSink::Take(Kind kind, const TelemetryRecord& record, std::string_view source,
                      std::span<const std::string> stations) {
  const std::int64_t number = ++taken_[Index(kind)];
  if (max_records_ && number > static_cast<std::int64_t>(*max_records_)) return;
  if (number == report_record_) report_records_[Index(kind)] = record;
  if (Csv& csv = csv_[Index(kind)]; csv.out != nullptr) {
    Start(kind);
    line_.clear();
    AppendCsvLine(line_, kind, record, decimal_separator_);
    Put(csv.out, line_);
  }
  for (Analysis& analysis : analysis_) {
    if (analysis.out == nullptr) continue;
    Start(analysis);
    line_.clear();
    analysis.writer.Append(line_, kind, record, number, source, stations);
    Put(analysis.out, line_);
  }
}

void ExportSink::WriteHeaders() {
  Start(Kind::kBeacon);
  Start(Kind::kPayload);
  for (Analysis& analysis : analysis_) Start(analysis);
}

RecordView ExportSink::ReportView() const {
  // A state that holds only the report's records, as record 1.
  DecoderState shown;
  for (const Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    const auto& record = report_records_[Index(kind)];
    if (!record) continue;
    shown.Store(kind).push_back(*record);
    (kind == Kind::kBeacon ? shown.BeaconCount : shown.PayloadCount) = 1;
  }
  return BuildRecordView(shown, 1, Kind::kBeacon, decimal_separator_);
}

}  // namespace talphex
