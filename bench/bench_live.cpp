// SPDX-License-Identifier: GPL-3.0-or-later
// A frame of a live connection: decoded into the window's stores and shown, offscreen, as the
// window does on each refresh: the scroll range, the record view following the newest record,
// the chart's new row and the status line.
//
//   build/release/bench/bench_live
//
// BM_LiveFrame/full:0: the stores hold 999 beacon records and the frame adds the 1000th (the
// chart gains its 1000th row). full:1: the stores are full, the frame is counted and the view
// shows record 1000; frames:200000 has a long pass behind it, so the frame log and the frame
// inspector are full too and drop a row for each one added. painted:1: the whole window is
// painted afterwards, more than the screen repaints.
//
// BM_LiveFrameJudged: the frame of full:1 (1000 records behind it), its record then judged
// against 45 field limits and 48 flag rules and added to the pass summary, as a live station
// watching a pass does. timed:0 times all of it, timed:1 all of it with the window painted, and
// timed:2 the judging and the summary alone, the frame shown with the timer paused (target:
// under 0.5 ms per frame).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDateTime>
#include <QPixmap>
#include <cstdio>

#include "core/monitor/alarms.h"
#include "core/monitor/pass_summary.h"
#include "core/view/field_catalogue.h"
#include "every_limit.h"
#include "gui/live_connection.h"
#include "gui/main_window.h"
#include "gui/tnc_client.h"
#include "offscreen.h"
#include "testkit/capture_writer.h"

namespace {

// Frame n of the synthetic pass (a timestamp part and a beacon for even n) as a TNC sends it.
QByteArray LiveFrames(std::int64_t first, std::int64_t count) {
  talphex::CaptureWriter writer;
  for (std::int64_t n = first; n < first + count; ++n) talphex::AddSyntheticFrame(writer, 2 * n);
  return QByteArray::fromStdString(writer.bytes());
}

void Receive(talphex::MainWindow& window, const QByteArray& bytes) {
  emit window.live()->client()->received(bytes, QDateTime::currentMSecsSinceEpoch());
}

// A window connected to a port where nothing listens, holding `records` beacon records; the
// retry timer never fires since no event loop runs.
void ConnectWith(talphex::MainWindow& window, std::int64_t records) {
  window.ConnectToTnc({QStringLiteral("127.0.0.1"), 9, false});
  Receive(window, "\xC0" + LiveFrames(0, records));
  window.ShowLiveRecords();
  QCoreApplication::sendPostedEvents();
}

void ShowFrame(talphex::MainWindow& window, const QByteArray& frame, bool painted) {
  Receive(window, frame);
  window.ShowLiveRecords();
  if (painted) {
    QCoreApplication::sendPostedEvents();
    QPixmap pixmap = window.grab();
    benchmark::DoNotOptimize(pixmap);
  }
}

void BM_LiveFrame(benchmark::State& state) {
  const bool grown = state.range(0) == 0;
  const bool painted = state.range(1) == 1;
  talphex::MainWindow window({});
  window.show();
  const QByteArray frame = LiveFrames(999, 1);
  if (!grown) ConnectWith(window, state.range(2));
  for (auto _ : state) {
    if (grown) {
      state.PauseTiming();
      ConnectWith(window, 999);
      state.ResumeTiming();
    }
    ShowFrame(window, frame, painted);
  }
  if (window.state().StoredCount(talphex::Kind::kBeacon) != 1000) {
    state.SkipWithError("the stores do not hold 1000 records");
  }
}
BENCHMARK(BM_LiveFrame)
    ->ArgNames({"full", "painted", "frames"})
    ->Args({0, 0, 0})
    ->Args({0, 1, 0})
    ->Args({1, 0, 1000})
    ->Args({1, 1, 1000})
    ->Args({1, 0, 200000})
    ->Args({1, 1, 200000})
    ->Unit(benchmark::kMillisecond);

void BM_LiveFrameJudged(benchmark::State& state) {
  const bool painted = state.range(0) == 1;
  const bool judging_only = state.range(0) == 2;
  talphex::MainWindow window({});
  window.show();
  const QByteArray frame = LiveFrames(999, 1);
  ConnectWith(window, 1000);
  talphex::LimitJudge judge(talphex::EveryLimit());
  talphex::PassSummaryBuilder passes;
  std::vector<talphex::Alarm> alarms;
  for (auto _ : state) {
    if (judging_only) state.PauseTiming();
    ShowFrame(window, frame, painted);
    if (judging_only) state.ResumeTiming();
    const talphex::DecoderState& decoder = window.state();
    const std::int64_t number = decoder.Count(talphex::Kind::kBeacon);
    const talphex::TelemetryRecord* record = decoder.StoredRecord(talphex::Kind::kBeacon, number);
    if (record == nullptr) {
      state.SkipWithError("the newest record is not stored");
      break;
    }
    alarms.clear();
    judge.Judge(talphex::Kind::kBeacon, number, *record, alarms);
    passes.Add(talphex::Kind::kBeacon, number, *record, alarms);
  }
  benchmark::DoNotOptimize(passes.summary().passes.size());
}
BENCHMARK(BM_LiveFrameJudged)->ArgName("timed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
// The paused frames take their time too: a fixed count keeps the run short.
BENCHMARK(BM_LiveFrameJudged)
    ->ArgName("timed")
    ->Arg(2)
    ->Iterations(1000)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  talphex::bench::UseOffscreenPlatform();
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
