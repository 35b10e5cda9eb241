// SPDX-License-Identifier: GPL-3.0-or-later
// The InfluxDB writer's throughput, run by bench/influx-writer.sh: the sample's records, written
// over and over as the command line writes them (the line protocol of the analysis export, each
// lap as another capture: a series of its own), are added to an InfluxWriter as fast as they are
// made, and the time runs from the first point until Finish()
// returns with every batch taken. URL "-" takes each batch at once without a network, which
// measures the writer alone.
//
//   bench_influx_writer SAMPLE URL POINTS FOLDER

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "core/capture/capture_loader.h"
#include "core/export/analysis_exports.h"
#include "net/influx_writer.h"

int main(int argc, char** argv) {
  using namespace talphex;
  if (argc != 5) {
    std::fprintf(stderr, "usage: bench_influx_writer SAMPLE URL POINTS FOLDER\n");
    return 2;
  }
  const std::string url_text = argv[2];
  const std::int64_t points = std::atoll(argv[3]);
  std::vector<std::pair<Kind, TelemetryRecord>> records;
  DecoderState state;
  state.store_capacity = 0;
  state.record_sink = [&records](Kind kind, const TelemetryRecord& record) {
    records.emplace_back(kind, record);
  };
  if (!LoadCaptureFile(state, argv[1]).ok() || records.empty()) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  InfluxSend send = [](const std::string&) { return HttpResponse{204, "", ""}; };
  std::string host = "(no network)";
  if (url_text != "-") {
    const Expected<InfluxUrl> url = ParseInfluxUrl(url_text);
    if (!url) {
      std::fprintf(stderr, "%s\n", url.error().message.c_str());
      return 2;
    }
    send = InfluxHttpSender(url.value(), "");
    host = url.value().host;
  }
  std::int64_t requests = 0;
  InfluxWriterSettings settings;
  settings.host = host;
  settings.folder = argv[4];
  InfluxWriter writer(
      settings,
      [&send, &requests](const std::string& body) {
        ++requests;
        return send(body);
      },
      [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
  if (!writer.Open().ok()) return 1;
  writer.Start();
  AnalysisWriter lines(AnalysisFormat::kInflux, "GS-1");
  std::vector<std::int64_t> numbers(2, 0);
  std::string line;
  std::string source;
  std::uint64_t bytes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (std::int64_t i = 0; i < points; ++i) {
    const auto& [kind, record] = records[static_cast<std::size_t>(i) % records.size()];
    // Each lap of the sample is a capture of its own, so that its points are a series of their
    // own and none replaces another's.
    if (i % static_cast<std::int64_t>(records.size()) == 0) {
      source = "lap-" + std::to_string(i / static_cast<std::int64_t>(records.size())) + ".kss";
    }
    line.clear();
    lines.Append(line, kind, record, ++numbers[static_cast<std::size_t>(kind)], source);
    bytes += line.size();
    writer.Add(line);
  }
  const auto added = std::chrono::steady_clock::now();
  writer.Finish(std::chrono::minutes(10));
  const auto done = std::chrono::steady_clock::now();
  const double seconds = std::chrono::duration<double>(done - start).count();
  const InfluxCounts counts = writer.counts();
  std::printf(
      "%s: %lld points (%.0f bytes each) in %lld requests: added in %.2f s, all taken in "
      "%.2f s: %.0f points/s\n",
      host.c_str(), static_cast<long long>(points),
      static_cast<double>(bytes) / static_cast<double>(points), static_cast<long long>(requests),
      std::chrono::duration<double>(added - start).count(), seconds,
      static_cast<double>(counts.sent) / seconds);
  std::printf("%s\n", InfluxSummaryText(host, counts).c_str());
  return counts.sent == points ? 0 : 1;
}
