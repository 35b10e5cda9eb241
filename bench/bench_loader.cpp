// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding speed of the capture loader over a generated capture of 200,000 frames, half beacon,
// half payload, each after a timestamp part; and of talphex-cli over a SatNOGS DB frame export of
// 100,000 lines (target: under 0.5 s). BM_LoadCaptureJudged: the same capture with each record
// judged against 45 field limits and 48 flag rules as it arrives (judged:1), against judged:0,
// which hands the records to the same sink and does nothing with them, and with the pass summary
// built as well (judged:2). BM_JudgingAdded: what judging adds, timed in pairs so that a shared
// machine's load falls on both sides (target: added_percent under 5). BM_CliJudged: talphex-cli
// over the generated capture with its analysis CSV written, without limits and with a limits
// file of 45 field limits and 48 flag rules (target as above), and with --pass-summary too.
//
//   build/release/bench/bench_loader

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <span>
#include <string>
#include <vector>

#include "core/capture/capture_loader.h"
#include "core/monitor/alarms.h"
#include "core/monitor/limits.h"
#include "core/monitor/pass_summary.h"
#include "core/view/field_catalogue.h"
#include "every_limit.h"
#include "testkit/capture_writer.h"
#include "testkit/test_support.h"

namespace {

std::string MakeCapture(std::int64_t changes_every) {
  talphex::CaptureWriter writer;
  for (int n = 0; n < 200000; ++n) talphex::AddSyntheticFrame(writer, n, changes_every);
  return writer.bytes();
}

const std::string& GeneratedCapture() {
  static const std::string capture = MakeCapture(1);
  return capture;
}

// The judged benchmarks' second argument: 1 for the generated capture, whose flags change at
// every payload record and whose battery voltage crosses its limit every 20 beacons (about one
// alarm a record: what judging costs at worst), 1000 for one where they change every 1,000
// frames, as a pass's do now and then (what judging costs a station).
const std::string& CaptureWithChangesEvery(std::int64_t changes_every) {
  static const std::string quiet = MakeCapture(1000);
  return changes_every == 1 ? GeneratedCapture() : quiet;
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

// Loads `bytes` with the records handed to a sink, as the command-line tool does: `mode` 0 only
// counts them, 1 judges them against `limits` as well, 2 also summarises the passes. Returns the
// records; adds the alarms raised to `alarms_raised`.
std::int64_t LoadJudged(std::span<const std::uint8_t> bytes, const talphex::Limits& limits,
                        std::int64_t mode, std::int64_t& alarms_raised) {
  talphex::DecoderState state;
  state.store_capacity = 0;
  talphex::LimitJudge judge(limits);
  talphex::PassSummaryBuilder passes;
  std::vector<talphex::Alarm> alarms;
  std::int64_t records = 0;
  state.record_sink = [&](talphex::Kind kind, const talphex::TelemetryRecord& record) {
    ++records;
    if (mode == 0) return;
    alarms.clear();
    judge.Judge(kind, state.Count(kind), record, alarms);
    alarms_raised += static_cast<std::int64_t>(alarms.size());
    if (mode == 2) passes.Add(kind, state.Count(kind), record, alarms);
  };
  benchmark::DoNotOptimize(talphex::LoadCaptureBytes(state, bytes, "generated"));
  return records;
}

std::span<const std::uint8_t> Bytes(const std::string& capture) {
  return {reinterpret_cast<const std::uint8_t*>(capture.data()), capture.size()};
}

// state.range(0): the mode of LoadJudged.
void BM_LoadCaptureJudged(benchmark::State& bench) {
  const std::string& capture = CaptureWithChangesEvery(bench.range(1));
  const talphex::Limits limits = talphex::EveryLimit();
  std::int64_t alarms_raised = 0;
  for (auto _ : bench) {
    alarms_raised = 0;
    const std::int64_t records = LoadJudged(Bytes(capture), limits, bench.range(0), alarms_raised);
    benchmark::DoNotOptimize(records);
    if (records != 200000) bench.SkipWithError("generated capture did not decode completely");
  }
  bench.SetBytesProcessed(static_cast<std::int64_t>(bench.iterations()) *
                          static_cast<std::int64_t>(capture.size()));
  bench.counters["alarms"] = static_cast<double>(alarms_raised);
}
BENCHMARK(BM_LoadCaptureJudged)
    ->ArgNames({"judged", "changes_every"})
    ->ArgsProduct({{0, 1, 2}, {1, 1000}})
    ->Unit(benchmark::kMillisecond);

// The processor time this thread has used.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// What judging adds, as a counter: each iteration loads the capture of changes_every:1000 counted
// and judged back to back, in turn which first, so that both meet the same load of a shared
// machine; added_percent compares the two sums of processor time.
void BM_JudgingAdded(benchmark::State& bench) {
  const std::string& capture = CaptureWithChangesEvery(1000);
  const talphex::Limits limits = talphex::EveryLimit();
  std::array<double, 2> seconds{};
  std::int64_t alarms_raised = 0;
  bool judged_first = false;
  for (auto _ : bench) {
    for (const std::int64_t mode : {judged_first ? 1 : 0, judged_first ? 0 : 1}) {
      const double start = ThreadSeconds();
      benchmark::DoNotOptimize(LoadJudged(Bytes(capture), limits, mode, alarms_raised));
      seconds[static_cast<std::size_t>(mode)] += ThreadSeconds() - start;
    }
    judged_first = !judged_first;
  }
  bench.counters["added_percent"] = 100 * (seconds[1] / seconds[0] - 1);
}
BENCHMARK(BM_JudgingAdded)->Unit(benchmark::kMillisecond);

// The limits of EveryLimit as a limits.ini.
std::string EveryLimitText() {
  std::string text;
  for (const talphex::FieldLimits& field : talphex::EveryLimit().fields) {
    const auto number = [](double value) { return std::to_string(value); };
    text += "[" + std::string(talphex::FieldLimitName(field.field)) + "]\n";
    text += "red_low = " + number(*field.red_low) + "\nyellow_low = " + number(*field.yellow_low) +
            "\nyellow_high = " + number(*field.yellow_high) +
            "\nred_high = " + number(*field.red_high) + "\npersistence = 2\n";
  }
  text += "[flags]\n";
  for (const talphex::FlagLimit& flag : talphex::EveryLimit().flags) {
    text += std::string(talphex::FlagLimitName(flag.lamp)) +
            (flag.rule == talphex::FlagRule::kWatch ? " = watch\n" : " = 0\n");
  }
  return text;
}

// state.range(0): 0 no limits, 1 every limit, 2 every limit and --pass-summary.
void BM_CliJudged(benchmark::State& bench) {
  const talphex::testing::TempDir dir;
  const std::string capture = dir.File("generated.kss");
  talphex::testing::WriteFile(capture, CaptureWithChangesEvery(bench.range(1)));
  talphex::testing::WriteFile(dir.File("empty.ini"), "");
  talphex::testing::WriteFile(dir.File("limits.ini"), EveryLimitText());
  std::vector<std::string> args = {"--analysis-csv", dir.File("out.csv"), "--limits",
                                   dir.File(bench.range(0) == 0 ? "empty.ini" : "limits.ini")};
  if (bench.range(0) == 2) args.insert(args.end(), {"--pass-summary", dir.File("pass.md")});
  args.push_back(capture);
  std::FILE* null = std::fopen("/dev/null", "w");
  if (talphex::testing::RunCliTo(null, null, args) != 0) bench.SkipWithError("talphex-cli failed");
  for (auto _ : bench) benchmark::DoNotOptimize(talphex::testing::RunCliTo(null, null, args));
  std::fclose(null);
  bench.counters["frames"] = 200000;
}
BENCHMARK(BM_CliJudged)
    ->ArgNames({"judged", "changes_every"})
    ->ArgsProduct({{0, 1, 2}, {1, 1000}})
    ->Unit(benchmark::kMillisecond);

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
