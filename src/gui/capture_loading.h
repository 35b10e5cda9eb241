// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "core/capture/capture_loader.h"
#include "core/capture/frame_facts.h"
#include "core/capture/frame_log_buffer.h"
#include "core/decode/decoder_state.h"
#include "gui/frame_views.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;

namespace talphex {

// Loads capture files on a worker thread while the window stays live, with a progress bar and a
// Cancel button in the status bar. The decoder state is handed to the worker for the load and
// handed back when it ends; the window never touches it meanwhile.
class CaptureLoading : public QObject {
  Q_OBJECT

 public:
  struct Outcome {
    std::vector<LoadResult> results;  // one per file read, the cancelled one included
    bool cancelled = false;
    FrameLogBuffer log{kFrameLogLines};
    FrameFactsBuffer frames{kInspectorFrames};
  };

  // Adds the progress bar and the Cancel button to `bar`, hidden until a load runs.
  explicit CaptureLoading(QStatusBar* bar);

  // Loads `paths` into `state` one after the other and returns when done; the event loop runs
  // meanwhile. `on_file` is called on this thread with the index of each file as it starts. The
  // frame log goes on from `log`, handed over so that no second log is held while loading.
  Outcome Run(DecoderState& state, const std::vector<std::string>& paths,
              const std::function<void(std::size_t index)>& on_file, FrameLogBuffer log);
  void Cancel() { cancel_ = true; }
  bool running() const { return running_; }

 private:
  void ShowProgress(std::uint64_t bytes, std::uint64_t total, std::int64_t frames);

  QProgressBar* progress_;
  QPushButton* cancel_button_;
  std::atomic<bool> cancel_{false};
  bool running_ = false;
};

}  // namespace talphex
