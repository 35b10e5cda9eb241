// SPDX-License-Identifier: GPL-3.0-or-later
// Building and drawing a 1000-row chart offscreen at the window's chart size: the content from the
// stores, SetContent, and a grab of the widget, as bars and as lines, single-field and grouped;
// moving the mark, and appending a live row.
//
//   build/chart-release/bench/bench_chart
//   build/chart-release/bench/bench_chart --chart_png_dir=/tmp/charts   (also writes PNGs of the
//                                                                        sample capture to look at)

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/capture/capture_loader.h"
#include "core/chart/chart_model.h"
#include "gui/chart_widget.h"
#include "offscreen.h"

namespace {

constexpr int kChartWidth = 690;
constexpr int kChartHeight = 290;

// 1000 beacon records ten seconds apart, with smooth values in every slot.
const talphex::DecoderState& ThousandRecords() {
  static const talphex::DecoderState state = [] {
    talphex::DecoderState s;
    s.BeaconStore.resize(talphex::kStoreCapacity);
    for (std::size_t r = 0; r < s.BeaconStore.size(); ++r) {
      const std::size_t seconds = 10 * r;
      char rx_time[64];
      std::snprintf(rx_time, sizeof rx_time, "2026-12-06 %02zu:%02zu:%02zu", 10 + seconds / 3600,
                    seconds / 60 % 60, seconds % 60);
      s.BeaconStore[r].RxTime = rx_time;
      for (std::size_t slot = 0; slot < s.BeaconStore[r].Value.size(); ++slot) {
        s.BeaconStore[r].Value[slot] =
            20 + 10 * std::sin(static_cast<double>(r) / 40.0 + static_cast<double>(slot));
      }
    }
    s.BeaconCount = static_cast<std::int64_t>(s.BeaconStore.size());
    return s;
  }();
  return state;
}

// What the event loop does between SetContent and the screen: the chart's posted layout, the
// deletion of the old series' items, and the paint.
QPixmap Render(talphex::ChartWidget& widget) {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return widget.grab();
}

talphex::ChartType TypeOf(const benchmark::State& state) {
  return state.range(0) == 0 ? talphex::ChartType::kBars : talphex::ChartType::kLines;
}

// Builds and renders the chart that `build` makes, once per iteration.
template <typename Build>
void RenderEachIteration(benchmark::State& state, Build&& build) {
  talphex::ChartWidget widget;
  widget.resize(kChartWidth, kChartHeight);
  widget.show();
  for (auto _ : state) {
    widget.SetContent(build());
    QPixmap pixmap = Render(widget);
    benchmark::DoNotOptimize(pixmap);
  }
}

void BM_FieldChart(benchmark::State& state) {
  RenderEachIteration(
      state, [&] { return talphex::BuildFieldChart(ThousandRecords(), 17, TypeOf(state)); });
}
BENCHMARK(BM_FieldChart)->ArgName("lines")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_GroupChart(benchmark::State& state) {
  RenderEachIteration(state, [&] {
    return talphex::BuildGroupChart(ThousandRecords(), {16, 17, 20}, TypeOf(state));
  });
}
BENCHMARK(BM_GroupChart)->ArgName("lines")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Moving the record mark, which the scroll bar does, must stay far cheaper than a rebuild.
void BM_MoveMark(benchmark::State& state) {
  talphex::ChartWidget widget;
  widget.resize(kChartWidth, kChartHeight);
  widget.show();
  widget.SetContent(talphex::BuildGroupChart(ThousandRecords(), {16, 17, 20}, TypeOf(state)));
  int record = 0;
  for (auto _ : state) {
    widget.SetMarkedRecord(record % 1000 + 1);
    ++record;
  }
}
BENCHMARK(BM_MoveMark)->ArgName("lines")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A live refresh: one record appended to a chart of 999, as the window does for each new frame.
// Only the new row's values extend the value range; the chart is not rebuilt.
void BM_AppendOneRow(benchmark::State& state) {
  talphex::ChartWidget widget;
  widget.resize(kChartWidth, kChartHeight);
  widget.show();
  const talphex::ChartContent all =
      talphex::BuildGroupChart(ThousandRecords(), {16, 17, 20}, TypeOf(state));
  talphex::ChartContent first = all;
  first.row_labels.pop_back();
  first.row_times.pop_back();
  for (talphex::ChartSeries& series : first.series) series.values.pop_back();
  for (auto _ : state) {
    state.PauseTiming();
    widget.SetContent(first);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    state.ResumeTiming();
    widget.AppendRows(all);
    QCoreApplication::sendPostedEvents();
  }
}
BENCHMARK(BM_AppendOneRow)->ArgName("lines")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

bool WritePng(talphex::ChartWidget& widget, const talphex::ChartContent& content,
              const QString& path) {
  widget.SetContent(content);
  widget.SetMarkedRecord(12);
  if (const talphex::Status saved = widget.SavePng(path); !saved) {
    std::fprintf(stderr, "%s\n", saved.error().message.c_str());
    return false;
  }
  std::printf("wrote %s\n", path.toLocal8Bit().constData());
  return true;
}

// Charts of the sample capture and of 1000 records, to be looked at.
bool WriteSamplePngs(const QString& folder) {
  talphex::DecoderState sample;
  const talphex::LoadResult result = talphex::LoadCaptureFile(sample, TALPHEX_SAMPLE_CAPTURE);
  if (!result.ok()) {
    std::fprintf(stderr, "%s\n", result.error->message.c_str());
    return false;
  }
  QDir().mkpath(folder);
  const QDir dir(folder);
  talphex::ChartWidget widget;
  widget.resize(kChartWidth, kChartHeight);
  widget.show();
  using talphex::ChartType;
  const auto& big = ThousandRecords();
  return WritePng(widget, BuildFieldChart(sample, 17, ChartType::kBars),
                  dir.filePath("sample-17-bars.png")) &&
         WritePng(widget, BuildFieldChart(sample, 17, ChartType::kLines),
                  dir.filePath("sample-17-lines.png")) &&
         WritePng(widget, BuildGroupChart(sample, {16, 17, 20}, ChartType::kBars),
                  dir.filePath("sample-group-bars.png")) &&
         WritePng(widget, BuildGroupChart(sample, {31, 32, 33}, ChartType::kLines),
                  dir.filePath("sample-group-lines.png")) &&
         WritePng(widget, BuildFieldChart(sample, 36, ChartType::kLines),
                  dir.filePath("sample-36-lines.png")) &&
         WritePng(widget, BuildFieldChart(big, 17, ChartType::kBars),
                  dir.filePath("thousand-17-bars.png")) &&
         WritePng(widget, BuildGroupChart(big, {16, 17, 20}, ChartType::kLines),
                  dir.filePath("thousand-group-lines.png")) &&
         WritePng(widget, BuildFieldChart(talphex::DecoderState{}, 17, ChartType::kBars),
                  dir.filePath("empty.png"));
}

}  // namespace

int main(int argc, char** argv) {
  talphex::bench::UseOffscreenPlatform();
  QApplication app(argc, argv);

  // Our own flag is taken out before the benchmark library sees the arguments.
  constexpr char kPngFlag[] = "--chart_png_dir=";
  QString png_dir;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kPngFlag, std::strlen(kPngFlag)) == 0) {
      png_dir = QString::fromLocal8Bit(argv[i] + std::strlen(kPngFlag));
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  if (!png_dir.isEmpty() && !WriteSamplePngs(png_dir)) return 1;

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
