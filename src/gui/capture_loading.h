// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/capture/capture_loader.h"
#include "core/capture/frame_facts.h"
#include "core/capture/frame_log_buffer.h"
#include "core/decode/decoder_state.h"
#include "gui/frame_views.h"

class QProgressBar;
class QPushButton;
class QStatusBar;
class QThread;
class QTimer;

namespace talphex {

// Loads capture files on a worker thread while the window stays live, with a progress bar and a
// Cancel button in the status bar. The decoder state is moved to the worker when a load starts
// and comes back inside the Outcome when it ends, so that no one else can touch it meanwhile.
class CaptureLoading : public QObject {
  Q_OBJECT

 public:
  struct Outcome {
    DecoderState state;               // the state handed to Start, with the files loaded into it
    std::vector<LoadResult> results;  // one per file read, the cancelled one included
    bool cancelled = false;
    FrameLogBuffer log{kFrameLogLines};
    FrameFactsBuffer frames{kInspectorFrames};
  };
  // Called on this thread with the index of each file as it starts.
  using FileNotice = std::function<void(std::size_t index)>;
  // Called on this thread once the load has ended, finished or cancelled.
  using FinishedHandler = std::function<void(Outcome outcome)>;

  // Adds the progress bar and the Cancel button to `bar`, hidden until a load runs.
  explicit CaptureLoading(QStatusBar* bar);
  // Cancels a running load and waits for its worker; the finished handler is not called then.
  ~CaptureLoading() override;
  CaptureLoading(const CaptureLoading&) = delete;
  CaptureLoading& operator=(const CaptureLoading&) = delete;

  // Starts loading `paths` one after the other into `state` and returns at once; `finished` gets
  // the state back. The frame log goes on from `log`, handed over so that no second log is held
  // while loading. Only while no load runs.
  void Start(DecoderState state, std::vector<std::string> paths, FrameLogBuffer log,
             FileNotice on_file, FinishedHandler finished);
  // The running load stops after its current piece; its outcome says it was cancelled.
  void Cancel();
  // From Start until the finished handler is called.
  bool running() const { return job_ != nullptr; }

 private:
  struct Job;
  void ShowProgress();
  void OnWorkerFinished();

  QProgressBar* progress_;
  QPushButton* cancel_button_;
  QTimer* refresh_;
  std::unique_ptr<Job> job_;
  std::unique_ptr<QThread> worker_;
};

}  // namespace talphex
