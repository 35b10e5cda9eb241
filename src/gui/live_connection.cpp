// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/live_connection.h"

#include <QDateTime>
#include <QTimer>
#include <string>

#include "core/view/navigation.h"
#include "core/view/status_texts.h"
#include "gui/capture_loading.h"
#include "gui/file_name.h"

namespace talphex {
namespace {

// A tick comes this long after the second it shows has begun, so that a timer that fires a
// millisecond early still shows the new second.
constexpr int kTickSlackMs = 10;

}  // namespace

LiveConnection::LiveConnection(DecoderState& state, QObject* parent, Clock clock)
    : QObject(parent),
      state_(state),
      clock_(clock ? std::move(clock) : Clock(&QDateTime::currentMSecsSinceEpoch)),
      client_(new TncClient(this, clock_)),
      tick_(new QTimer(this)),
      log_(kFrameLogLines),
      log_sink_([this](std::string_view line) { log_.Add(line); }),
      frames_(kInspectorFrames),
      frames_sink_([this](const FrameFacts& facts) {
        frames_.Add(facts);
        if (frame_tap_) frame_tap_(facts);
      }) {
  tick_->setObjectName(QStringLiteral("LiveStatusTick"));
  tick_->setSingleShot(true);
  tick_->setTimerType(Qt::PreciseTimer);
  connect(tick_, &QTimer::timeout, this, [this] {
    ScheduleTick();
    emit statusChanged();
  });
  connect(client_, &TncClient::received, this, &LiveConnection::OnReceived);
  connect(client_, &TncClient::stateChanged, this, &LiveConnection::OnStateChanged);
  // The frame a dropped connection cut off is never decoded; the frame log says so.
  connect(client_, &TncClient::connectionEnded, this, [this] {
    if (!scanner_) return;
    if (const std::uint64_t dropped = scanner_->Restart(); dropped > 0) {
      log_.Add(CutOffLogLine(dropped));
      emit recordsArrived();
    }
  });
}

LiveConnection::~LiveConnection() { client_->disconnect(this); }

void LiveConnection::Start(const HostPort& where, const std::string& recording_path) {
  Stop();
  recorder_.Reset();
  if (!recording_path.empty()) (void)recorder_.Open(recording_path);
  result_ = std::make_unique<LoadResult>();
  result_->path = recorder_.recording() ? recording_path : "tcp:" + where.Text();
  scanner_ =
      std::make_unique<CaptureScanner>(state_, *result_, &log_sink_, CaptureScanner::Mode::kLive);
  scanner_->SetFrameFactsSink(&frames_sink_);
  scanner_->SetFrameSink([this](const LiveFrame& frame) {
    last_frame_ms_ = clock_();
    // A failed recording says so in the status and writes nothing more.
    (void)recorder_.Write(frame);
  });
  last_frame_ms_ = -1;
  client_->Start(where);
}

void LiveConnection::StartFed(const std::string& source) {
  Stop();
  recorder_.Reset();
  result_ = std::make_unique<LoadResult>();
  result_->path = source;
  scanner_ =
      std::make_unique<CaptureScanner>(state_, *result_, &log_sink_, CaptureScanner::Mode::kLive);
  scanner_->SetFrameFactsSink(&frames_sink_);
  scanner_->SetFrameSink([this](const LiveFrame&) { last_frame_ms_ = clock_(); });
  last_frame_ms_ = -1;
}

void LiveConnection::Stop() {
  client_->Stop();
  recorder_.Close();
}

void LiveConnection::Clear() {
  Stop();
  scanner_.reset();
  result_.reset();
  recorder_.Reset();
  last_frame_ms_ = -1;
  log_ = FrameLogBuffer(kFrameLogLines);
  frames_ = FrameFactsBuffer(kInspectorFrames);
  emit statusChanged();
}

bool LiveConnection::active() const { return client_->active(); }

void LiveConnection::OnReceived(const QByteArray& bytes, qint64 received_ms) {
  if (!scanner_) return;
  const std::int64_t before = state_.BeaconCount + state_.PayloadCount + result_->skipped_frames;
  const bool recording = recorder_.recording();
  const qint64 last_frame_ms = last_frame_ms_;
  scanner_->Feed({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                  static_cast<std::size_t>(bytes.size())},
                 received_ms);
  if (state_.BeaconCount + state_.PayloadCount + result_->skipped_frames != before) {
    emit recordsArrived();
  }
  // The seconds since the last frame start over with it.
  if (last_frame_ms != last_frame_ms_) ScheduleTick();
  if (recording != recorder_.recording()) emit statusChanged();
}

void LiveConnection::OnStateChanged() {
  ScheduleTick();
  emit statusChanged();
}

void LiveConnection::ScheduleTick() {
  const qint64 now = clock_();
  qint64 next = -1;
  if (client_->active() && last_frame_ms_ >= 0) next = MsToNextSecond(now - last_frame_ms_);
  if (client_->retrying()) {
    const qint64 retry = MsToNextSecond(now - client_->state_since_ms());
    next = next < 0 ? retry : std::min(next, retry);
  }
  if (next < 0) {
    tick_->stop();
  } else {
    tick_->start(static_cast<int>(next) + kTickSlackMs);
  }
}

QString LiveConnection::StatusText(qint64 now_ms) const {
  if (!result_) return {};
  LiveStatus status{.link = client_->StateText(now_ms),
                    .counts = result_.get(),
                    .active = client_->active(),
                    .recorder = &recorder_};
  if (last_frame_ms_ >= 0) status.since_last_frame_ms = now_ms - last_frame_ms_;
  status.dropped = DroppedRecordsText(state_, recorder_.recording());
  // Paths and the system's reasons are file-name bytes; the rest is ASCII.
  return DecodeFileName(LiveStatusText(status));
}

FrameLogBuffer LiveConnection::TakeLog() {
  FrameLogBuffer taken(kFrameLogLines);
  std::swap(taken, log_);
  return taken;
}

FrameFactsBuffer LiveConnection::TakeFrames() {
  FrameFactsBuffer taken(kInspectorFrames);
  std::swap(taken, frames_);
  return taken;
}

}  // namespace talphex
