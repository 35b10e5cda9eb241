// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/capture_loading.h"

#include <QEventLoop>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <filesystem>
#include <memory>

namespace talphex {
namespace {

constexpr int kProgressSteps = 1000;
constexpr int kRefreshMs = 100;

// What the worker reports while it loads; read by the window's timer.
struct Progress {
  std::atomic<std::uint64_t> bytes{0};
  std::atomic<std::int64_t> frames{0};
  std::atomic<std::size_t> file{0};
};

QString Megabytes(std::uint64_t bytes) {
  return QString::number(static_cast<double>(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

}  // namespace

CaptureLoading::CaptureLoading(QStatusBar* bar)
    : QObject(bar), progress_(new QProgressBar(bar)), cancel_button_(new QPushButton(bar)) {
  progress_->setObjectName(QStringLiteral("LoadProgress"));
  progress_->setRange(0, kProgressSteps);
  progress_->setTextVisible(true);
  progress_->setMaximumHeight(bar->maximumHeight());
  progress_->setMinimumWidth(260);
  cancel_button_->setObjectName(QStringLiteral("LoadCancel"));
  cancel_button_->setText(QStringLiteral("Cancel"));
  cancel_button_->setMaximumHeight(bar->maximumHeight());
  connect(cancel_button_, &QPushButton::clicked, this, [this] { Cancel(); });
  bar->addPermanentWidget(progress_);
  bar->addPermanentWidget(cancel_button_);
  progress_->hide();
  cancel_button_->hide();
}

namespace {

// Bytes of the files before each, and of all; a file whose size cannot be read counts 0.
std::vector<std::uint64_t> FileStarts(const std::vector<std::string>& paths, std::uint64_t& total) {
  std::vector<std::uint64_t> starts;
  total = 0;
  for (const std::string& path : paths) {
    starts.push_back(total);
    std::error_code ignored;
    const std::uintmax_t size = std::filesystem::file_size(path, ignored);
    if (!ignored) total += size;
  }
  return starts;
}

// The worker's part: every file in turn into `state`, until done or cancelled.
void LoadAll(DecoderState& state, const std::vector<std::string>& paths,
             const std::vector<std::uint64_t>& starts, Progress& progress,
             const std::atomic<bool>& cancel, CaptureLoading::Outcome& outcome) {
  const FrameLogSink sink = [&outcome](std::string_view line) { outcome.log.Add(line); };
  const FrameFactsSink facts = [&outcome](const FrameFacts& frame) { outcome.frames.Add(frame); };
  for (std::size_t i = 0; i < paths.size() && !cancel; ++i) {
    progress.file = i;
    state.InputFilePath = paths[i];
    const LoadProgress report = [&, start = starts[i]](std::uint64_t bytes) {
      progress.bytes = start + bytes;
      progress.frames = state.BeaconCount + state.PayloadCount;
      return !cancel;
    };
    outcome.results.push_back(LoadCaptureFile(state, paths[i], &sink, &report, &facts));
  }
  outcome.cancelled = outcome.results.size() < paths.size() ||
                      (!outcome.results.empty() && outcome.results.back().cancelled);
}

}  // namespace

void CaptureLoading::ShowProgress(std::uint64_t bytes, std::uint64_t total, std::int64_t frames) {
  progress_->setValue(total == 0 ? 0
                                 : static_cast<int>(static_cast<double>(bytes) /
                                                    static_cast<double>(total) * kProgressSteps));
  progress_->setFormat(Megabytes(bytes) + QStringLiteral(" of ") + Megabytes(total) +
                       QStringLiteral(", ") + QString::number(frames) + QStringLiteral(" frames"));
}

CaptureLoading::Outcome CaptureLoading::Run(DecoderState& state,
                                            const std::vector<std::string>& paths,
                                            const std::function<void(std::size_t)>& on_file,
                                            FrameLogBuffer log) {
  Outcome outcome;
  outcome.log = std::move(log);
  std::uint64_t total = 0;
  const std::vector<std::uint64_t> starts = FileStarts(paths, total);
  Progress progress;
  cancel_ = false;
  running_ = true;
  DecoderState loading = std::move(state);
  // The worker owns `loading`, `outcome` and the progress until it has finished.
  std::unique_ptr<QThread> worker(
      QThread::create([&] { LoadAll(loading, paths, starts, progress, cancel_, outcome); }));
  std::size_t shown_file = paths.size();
  const auto refresh = [&] {
    if (const std::size_t file = progress.file; file != shown_file && file < paths.size()) {
      shown_file = file;
      on_file(file);
    }
    ShowProgress(progress.bytes, total, progress.frames);
  };
  refresh();
  progress_->show();
  cancel_button_->show();
  QTimer timer;
  timer.setInterval(kRefreshMs);
  connect(&timer, &QTimer::timeout, this, refresh);
  QEventLoop loop;
  connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
  timer.start();
  worker->start();
  loop.exec();
  // The loop also ends when the application quits: the load stops after its current piece.
  if (!worker->isFinished()) cancel_ = true;
  worker->wait();
  timer.stop();
  progress_->hide();
  cancel_button_->hide();
  state = std::move(loading);
  running_ = false;
  return outcome;
}

}  // namespace talphex
