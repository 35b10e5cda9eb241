// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "core/capture/capture_loader.h"
#include "core/capture/capture_recorder.h"
#include "core/capture/frame_facts.h"
#include "core/capture/frame_log_buffer.h"
#include "core/capture/live_link.h"
#include "core/decode/decoder_state.h"
#include "gui/tnc_client.h"

class QTimer;

namespace talphex {

// A live connection to a TNC feeding the window's decoder state: the frames that come are decoded
// into the stores by the live rules of the core's scanner and, when asked, recorded to a capture
// file as they come. Everything runs on the user-interface thread, driven by the socket's signals.
//
// While the link is active its status lives: statusChanged comes each time "last frame N s ago"
// or "retrying in N s" is due to change, aimed at the whole seconds since the last frame and since
// the loss, so that no second is skipped or shown twice.
class LiveConnection : public QObject {
  Q_OBJECT

 public:
  using Clock = TncClient::Clock;

  // `clock`: milliseconds for the status texts, since 1970 UTC without one; a test moves its own.
  explicit LiveConnection(DecoderState& state, QObject* parent = nullptr, Clock clock = {});
  ~LiveConnection() override;

  // Connects to `where`. With a `recording_path`, every frame is written there; a recording that
  // cannot be made leaves the connection running and says why in the status. The records' source
  // in the state is the recording, so that they are one series with those of the recording
  // reopened; without one it is "tcp:HOST:PORT".
  void Start(const HostPort& where, const std::string& recording_path);
  // Decodes what Feed gives instead of a TNC's bytes (a subscription's merged frames, as a live
  // KISS stream), the records' source being `source`; nothing is recorded.
  void StartFed(const std::string& source);
  // Bytes for the decoder of StartFed, received at `received_ms`.
  void Feed(const QByteArray& bytes, qint64 received_ms) { OnReceived(bytes, received_ms); }
  // Called with every frame decoded, as it is decoded (the station network's sinks).
  void SetFrameTap(std::function<void(const FrameFacts&)> tap) { frame_tap_ = std::move(tap); }
  // Ends the connection and the recording; what was decoded stays, and so do the counts of the
  // status, which no longer says the time since the last frame and no longer changes.
  void Stop();
  // Ends the connection and forgets it: its counts, its last frame, its recording's name, and the
  // log lines and frames not yet taken. The status text is empty until the next Start. For an
  // open command, whose records take the place of the connection's.
  void Clear();

  bool active() const;
  TncClient* client() const { return client_; }
  const CaptureRecorder& recorder() const { return recorder_; }
  // The status bar's line (LiveStatusText): connection state, frames since connecting, time since
  // the last frame, skipped frames by reason, and the recording. Empty before the first
  // connection and after Clear.
  QString StatusText() const { return StatusText(clock_()); }
  // The same at `now_ms` on the connection's clock (since 1970 UTC unless a test gave another).
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
  // Aims the tick just past the next moment the status's seconds change; none while inactive.
  void ScheduleTick();

  DecoderState& state_;
  Clock clock_;
  TncClient* client_;
  QTimer* tick_;  // single shot, "LiveStatusTick"
  std::unique_ptr<LoadResult> result_;
  std::unique_ptr<CaptureScanner> scanner_;
  CaptureRecorder recorder_;
  FrameLogBuffer log_;
  FrameLogSink log_sink_;
  FrameFactsBuffer frames_;
  FrameFactsSink frames_sink_;
  qint64 last_frame_ms_ = -1;
  std::function<void(const FrameFacts&)> frame_tap_;
};

}  // namespace talphex
