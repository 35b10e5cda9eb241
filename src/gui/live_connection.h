// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "core/capture/capture_loader.h"
#include "core/capture/capture_recorder.h"
#include "core/capture/frame_facts.h"
#include "core/capture/frame_log_buffer.h"
#include "core/capture/live_link.h"
#include "core/decode/decoder_state.h"

class QTimer;

namespace talphex {

class TncClient;

// A live connection to a TNC feeding the window's decoder state: the frames that come are decoded
// into the stores by the live rules of the core's scanner and, when asked, recorded to a capture
// file as they come. Everything runs on the user-interface thread, driven by the socket's signals.
class LiveConnection : public QObject {
  Q_OBJECT

 public:
  explicit LiveConnection(DecoderState& state, QObject* parent = nullptr);
  ~LiveConnection() override;

  // Connects to `where`. With a `recording_path`, every frame is written there; a recording that
  // cannot be made leaves the connection running and says why in the status. The records' source
  // in the state is the recording, so that they are one series with those of the recording
  // reopened; without one it is "tcp:HOST:PORT".
  void Start(const HostPort& where, const std::string& recording_path);
  // Ends the connection and the recording; what was decoded stays.
  void Stop();

  bool active() const;
  TncClient* client() const { return client_; }
  const CaptureRecorder& recorder() const { return recorder_; }
  // The status bar's line: connection state, frames since connecting, time since the last frame,
  // skipped frames by reason, and the recording. Empty before the first connection.
  QString StatusText(qint64 now_ms) const;
  // Frame-log lines that came since the last call, the newest ones when there were very many.
  FrameLogBuffer TakeLog();
  // Frames for the inspector that came since the last call, the newest when there were very many.
  FrameFactsBuffer TakeFrames();

 signals:
  // Frames were decoded into the stores.
  void recordsArrived();
  // The status text changed, or the time since the last frame did.
  void statusChanged();

 private:
  void OnReceived(const QByteArray& bytes, qint64 received_ms);
  void OnStateChanged();

  DecoderState& state_;
  TncClient* client_;
  QTimer* clock_;  // ticks each second while connected, for the time since the last frame
  std::unique_ptr<LoadResult> result_;
  std::unique_ptr<CaptureScanner> scanner_;
  CaptureRecorder recorder_;
  FrameLogBuffer log_;
  FrameLogSink log_sink_;
  FrameFactsBuffer frames_;
  FrameFactsSink frames_sink_;
  qint64 last_frame_ms_ = -1;
};

}  // namespace talphex
