// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/capture_loading.h"

#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <utility>

namespace talphex {
namespace {

constexpr int kProgressSteps = 1000;
constexpr int kRefreshMs = 100;

QString Megabytes(std::uint64_t bytes) {
  return QString::number(static_cast<double>(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

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

}  // namespace

// One load. The worker owns `outcome` until it has finished; the rest it only reads, or writes
// through atomics that the progress timer reads.
struct CaptureLoading::Job {
  std::vector<std::string> paths;
  std::vector<std::uint64_t> starts;
  std::uint64_t total = 0;
  FileNotice on_file;
  FinishedHandler finished;
  Outcome outcome;
  std::atomic<bool> cancel{false};
  std::atomic<std::uint64_t> bytes{0};
  std::atomic<std::int64_t> frames{0};
  std::atomic<std::size_t> file{0};
  std::size_t shown_file;  // the file last told to on_file; paths.size() before the first

  // The worker's part: every file in turn into the state, until done or cancelled.
  void LoadAll() {
    DecoderState& state = outcome.state;
    const FrameLogSink sink = [this](std::string_view line) { outcome.log.Add(line); };
    const FrameFactsSink facts = [this](const FrameFacts& frame) { outcome.frames.Add(frame); };
    for (std::size_t i = 0; i < paths.size() && !cancel; ++i) {
      file = i;
      state.InputFilePath = paths[i];
      const LoadProgress report = [&, start = starts[i]](std::uint64_t read) {
        bytes = start + read;
        frames = state.BeaconCount + state.PayloadCount;
        return !cancel;
      };
      outcome.results.push_back(LoadCaptureFile(state, paths[i], &sink, &report, &facts));
    }
    outcome.cancelled = outcome.results.size() < paths.size() ||
                        (!outcome.results.empty() && outcome.results.back().cancelled);
  }
};

CaptureLoading::CaptureLoading(QStatusBar* bar)
    : QObject(bar),
      progress_(new QProgressBar(bar)),
      cancel_button_(new QPushButton(bar)),
      refresh_(new QTimer(this)) {
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
  refresh_->setInterval(kRefreshMs);
  connect(refresh_, &QTimer::timeout, this, [this] { ShowProgress(); });
}

CaptureLoading::~CaptureLoading() {
  if (!worker_) return;
  job_->cancel = true;
  worker_->wait();
}

void CaptureLoading::Start(DecoderState state, std::vector<std::string> paths, FrameLogBuffer log,
                           FileNotice on_file, FinishedHandler finished) {
  if (running()) qFatal("CaptureLoading::Start while a load runs");
  job_ = std::make_unique<Job>();
  Job& job = *job_;
  job.starts = FileStarts(paths, job.total);
  job.paths = std::move(paths);
  job.shown_file = job.paths.size();
  job.on_file = std::move(on_file);
  job.finished = std::move(finished);
  job.outcome.state = std::move(state);
  job.outcome.log = std::move(log);
  worker_.reset(QThread::create([&job] { job.LoadAll(); }));
  // Queued: the thread emits it as it ends, and the handler runs here.
  connect(worker_.get(), &QThread::finished, this, &CaptureLoading::OnWorkerFinished);
  ShowProgress();
  progress_->show();
  cancel_button_->show();
  refresh_->start();
  worker_->start();
}

void CaptureLoading::Cancel() {
  if (job_) job_->cancel = true;
}

void CaptureLoading::ShowProgress() {
  Job& job = *job_;
  if (const std::size_t file = job.file; file != job.shown_file && file < job.paths.size()) {
    job.shown_file = file;
    job.on_file(file);
  }
  const std::uint64_t bytes = job.bytes;
  progress_->setValue(job.total == 0
                          ? 0
                          : static_cast<int>(static_cast<double>(bytes) /
                                             static_cast<double>(job.total) * kProgressSteps));
  progress_->setFormat(Megabytes(bytes) + QStringLiteral(" of ") + Megabytes(job.total) +
                       QStringLiteral(", ") + QString::number(job.frames) +
                       QStringLiteral(" frames"));
}

void CaptureLoading::OnWorkerFinished() {
  worker_->wait();
  worker_.reset();
  refresh_->stop();
  progress_->hide();
  cancel_button_->hide();
  // Done before the handler runs, since it may start the next load.
  const std::unique_ptr<Job> job = std::move(job_);
  job->finished(std::move(job->outcome));
}

}  // namespace talphex
