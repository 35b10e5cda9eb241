// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/decode/decoder_state.h"
#include "core/export/analysis_exports.h"
#include "core/view/record_view.h"

namespace talphex {

// The exports of a run written while the input is read, whatever feeds the decoder (capture
// files, standard input, a live stream): each record goes to its kind's CSV stream and to every
// analysis stream as it is decoded, and only the records the report shows are kept, so memory
// does not grow with the input. Install Take() as the state's record sink and call WriteHeaders()
// once the input has ended.
class ExportSink {
 public:
  // Up to `max_records` records of each kind are written (all without a limit); the report shows
  // record `report_record` of each kind. `station` names the receiving station in the line
  // protocol (empty: none).
  ExportSink(char decimal_separator, int report_record,
             std::optional<std::size_t> max_records = std::nullopt, std::string_view station = {});

  // Where a kind's CSV goes; without a stream its records are only counted.
  void SetCsv(Kind kind, std::FILE* out) { csv_[Index(kind)].out = out; }
  // Where an analysis export goes; it takes the records of both kinds in the order they come.
  void SetAnalysis(AnalysisFormat format, std::FILE* out) {
    analysis_[static_cast<std::size_t>(format)].out = out;
  }
  // Merging runs: the analysis CSV and JSON name the stations that heard each record.
  void AddStationsColumn();
  // A record decoded from the capture `source` (a path, written by the analysis exports), heard
  // by `stations` when the exports name them.
  void Take(Kind kind, const TelemetryRecord& record, std::string_view source = {},
            std::span<const std::string> stations = {});
  // Writes the header of every file that has none yet: once the input has ended, and at the
  // start of a stream so that its readers know the columns at once.
  void WriteHeaders();
  // The texts of the report, as BuildRecordView gives them for the report's record number.
  RecordView ReportView() const;
  // Records the line protocol left out for want of a time InfluxDB can hold.
  const InfluxLeftOut& influx_left_out() const {
    return analysis_[static_cast<std::size_t>(AnalysisFormat::kInflux)].writer.left_out();
  }

 private:
  struct Csv {
    std::FILE* out = nullptr;
    bool started = false;
  };
  struct Analysis {
    Analysis(AnalysisFormat format, std::string_view station) : writer(format, station) {}
    std::FILE* out = nullptr;
    bool started = false;
    AnalysisWriter writer;
  };
  static std::size_t Index(Kind kind) { return static_cast<std::size_t>(kind); }
  void Start(Kind kind);
  void Start(Analysis& analysis);

  char decimal_separator_;
  int report_record_;
  std::optional<std::size_t> max_records_;
  std::array<Csv, 2> csv_;
  // In the order of AnalysisFormat.
  std::array<Analysis, 3> analysis_;
  std::array<std::int64_t, 2> taken_{};
  std::array<std::optional<TelemetryRecord>, 2> report_records_;
  std::string line_;
};

}  // namespace talphex
