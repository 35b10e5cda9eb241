// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/live_connection.h"

#include <QDateTime>
#include <QStringList>
#include <QTimer>
#include <string>

#include "gui/capture_loading.h"
#include "gui/file_name.h"
#include "gui/tnc_client.h"

namespace talphex {
namespace {

constexpr int kClockMs = 1000;

QString Counted(std::int64_t count, const char* noun) {
  return QString::number(count) + QLatin1Char(' ') + QLatin1String(noun) +
         (count == 1 ? QString() : QStringLiteral("s"));
}

}  // namespace

LiveConnection::LiveConnection(DecoderState& state, QObject* parent)
    : QObject(parent),
      state_(state),
      client_(new TncClient(this)),
      clock_(new QTimer(this)),
      log_(kFrameLogLines),
      log_sink_([this](std::string_view line) { log_.Add(line); }),
      frames_(kInspectorFrames),
      frames_sink_([this](const FrameFacts& facts) { frames_.Add(facts); }) {
  clock_->setInterval(kClockMs);
  connect(clock_, &QTimer::timeout, this, &LiveConnection::statusChanged);
  connect(client_, &TncClient::received, this, &LiveConnection::OnReceived);
  connect(client_, &TncClient::stateChanged, this, &LiveConnection::OnStateChanged);
  // The frame a dropped connection cut off is never decoded; the frame log says so.
  connect(client_, &TncClient::connectionEnded, this, [this] {
    if (!scanner_) return;
    if (const std::uint64_t dropped = scanner_->Restart(); dropped > 0) {
      log_.Add("-- connection lost, a frame cut off after " + std::to_string(dropped) +
               " bytes dropped");
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
    last_frame_ms_ = QDateTime::currentMSecsSinceEpoch();
    // A failed recording says so in the status and writes nothing more.
    (void)recorder_.Write(frame);
  });
  last_frame_ms_ = -1;
  client_->Start(where);
}

void LiveConnection::Stop() {
  client_->Stop();
  recorder_.Close();
}

bool LiveConnection::active() const { return client_->active(); }

void LiveConnection::OnReceived(const QByteArray& bytes, qint64 received_ms) {
  if (!scanner_) return;
  const std::int64_t before = state_.BeaconCount + state_.PayloadCount + result_->skipped_frames;
  const bool recording = recorder_.recording();
  scanner_->Feed({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                  static_cast<std::size_t>(bytes.size())},
                 received_ms);
  if (state_.BeaconCount + state_.PayloadCount + result_->skipped_frames != before) {
    emit recordsArrived();
  }
  if (recording != recorder_.recording()) emit statusChanged();
}

void LiveConnection::OnStateChanged() {
  if (client_->connected()) {
    clock_->start();
  } else {
    clock_->stop();
  }
  emit statusChanged();
}

QString LiveConnection::StatusText(qint64 now_ms) const {
  if (!result_) return {};
  QStringList parts{client_->state_text()};
  parts << Counted(result_->beacon_frames, "beacon frame") + QStringLiteral(", ") +
               Counted(result_->payload_frames, "payload frame") +
               QStringLiteral(" since connecting");
  if (last_frame_ms_ >= 0) {
    parts << QStringLiteral("last frame %1 s ago")
                 .arg(std::max<qint64>(now_ms - last_frame_ms_, 0) / 1000);
  } else {
    parts << QStringLiteral("no frame yet");
  }
  QStringList skipped;
  for (std::size_t reason = 0; reason < kSkipReasons; ++reason) {
    if (const std::int64_t count = result_->skipped_by_reason[reason]; count > 0) {
      skipped << QString::number(count) + QLatin1Char(' ') +
                     QLatin1String(SkipReasonText(static_cast<SkipReason>(reason)));
    }
  }
  if (!skipped.isEmpty()) parts << QStringLiteral("skipped: ") + skipped.join(QStringLiteral(", "));
  if (recorder_.error()) {
    parts << QStringLiteral("recording failed: ") + DecodeFileName(recorder_.error()->message);
  } else if (recorder_.recording()) {
    parts << QStringLiteral("recording to ") + DecodeFileName(recorder_.path());
  }
  return parts.join(QStringLiteral("; "));
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
