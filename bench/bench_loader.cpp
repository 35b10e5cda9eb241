// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding speed of the capture loader over a generated capture of 200,000 frames, half beacon,
// half payload, each after a timestamp part; and of talphex-cli over a SatNOGS DB frame export of
// 100,000 lines (target: under 0.5 s).
//
//   build/release/bench/bench_loader

#include <benchmark/benchmark.h>

#include <cstdio>
#include <span>

#include "core/capture/capture_loader.h"
#include "testkit/capture_writer.h"
#include "testkit/test_support.h"

namespace {

const std::string& GeneratedCapture() {
  static const std::string capture = [] {
    talphex::CaptureWriter writer;
    for (int n = 0; n < 200000; ++n) talphex::AddSyntheticFrame(writer, n);
    return writer.bytes();
  }();
  return capture;
}

// state.range(0): records kept of each kind (0 for none, as the summary of the command-line
// tool does; 1000 as the window does; -1 for all).
void BM_LoadCapture(benchmark::State& bench) {
  const std::string& capture = GeneratedCapture();
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(capture.data()),
                                            capture.size());
  for (auto _ : bench) {
    talphex::DecoderState state;
    state.store_capacity =
        bench.range(0) < 0 ? talphex::kUnlimitedRecords : static_cast<std::size_t>(bench.range(0));
    const talphex::LoadResult result = talphex::LoadCaptureBytes(state, bytes, "generated");
    benchmark::DoNotOptimize(result.beacon_frames);
    if (result.beacon_frames != 100000 || result.payload_frames != 100000) {
      bench.SkipWithError("generated capture did not decode completely");
    }
  }
  bench.SetBytesProcessed(static_cast<std::int64_t>(bench.iterations()) *
                          static_cast<std::int64_t>(capture.size()));
  bench.counters["frames"] = 200000;
}
BENCHMARK(BM_LoadCapture)->Arg(0)->Arg(1000)->Arg(-1)->Unit(benchmark::kMillisecond);

// Reading from a file through the streaming loader, as talphex-cli does.
void BM_LoadCaptureFile(benchmark::State& bench) {
  const std::string& capture = GeneratedCapture();
  char path[] = "/tmp/bench_loader_XXXXXX";
  const int fd = mkstemp(path);
  std::FILE* file = fdopen(fd, "wb");
  std::fwrite(capture.data(), 1, capture.size(), file);
  std::fclose(file);
  for (auto _ : bench) {
    talphex::DecoderState state;
    const talphex::LoadResult result = talphex::LoadCaptureFile(state, path);
    benchmark::DoNotOptimize(result.payload_frames);
  }
  std::remove(path);
  bench.SetBytesProcessed(static_cast<std::int64_t>(bench.iterations()) *
                          static_cast<std::int64_t>(capture.size()));
}
BENCHMARK(BM_LoadCaptureFile)->Unit(benchmark::kMillisecond);

// The summary of talphex-cli over a SatNOGS export of 100,000 lines, CR LF, from a file.
void BM_CliSatnogsExport(benchmark::State& bench) {
  talphex::CaptureWriter writer;
  for (int n = 0; n < 100000; ++n) talphex::AddSyntheticFrame(writer, n);
  const std::string lines = talphex::SatnogsExportOf(writer.bytes(), "\r\n");
  const talphex::testing::TempDir dir;
  const std::string path = dir.File("frames.csv");
  talphex::testing::WriteFile(path, lines);
  {
    talphex::DecoderState state;
    const talphex::LoadResult result = talphex::LoadCaptureFile(state, path);
    if (result.beacon_frames + result.payload_frames != 100000 || result.malformed_lines != 0) {
      bench.SkipWithError("generated export did not decode completely");
    }
  }
  std::FILE* null = std::fopen("/dev/null", "w");
  for (auto _ : bench) {
    benchmark::DoNotOptimize(talphex::testing::RunCliTo(null, null, {path}));
  }
  std::fclose(null);
  bench.SetBytesProcessed(static_cast<std::int64_t>(bench.iterations()) *
                          static_cast<std::int64_t>(lines.size()));
  bench.counters["lines"] = 100000;
}
BENCHMARK(BM_CliSatnogsExport)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
