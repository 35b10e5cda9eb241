// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/tnc_client.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>
#include <chrono>
#include <span>

namespace talphex {
namespace {

std::int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::span<const std::uint8_t> BytesOf(const QByteArray& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
          static_cast<std::size_t>(bytes.size())};
}

}  // namespace

TncClient::TncClient(QObject* parent, Clock clock)
    : QObject(parent),
      socket_(new QTcpSocket(this)),
      retry_timer_(new QTimer(this)),
      connect_timer_(new QTimer(this)),
      clock_(clock ? std::move(clock) : Clock(&QDateTime::currentMSecsSinceEpoch)),
      state_since_ms_(clock_()) {
  retry_timer_->setSingleShot(true);
  connect_timer_->setSingleShot(true);
  connect_timer_->setInterval(kConnectTimeoutMs);
  connect(retry_timer_, &QTimer::timeout, this, &TncClient::Attempt);
  connect(connect_timer_, &QTimer::timeout, this,
          [this] { OnLost(QStringLiteral("Connection timed out")); });
  connect(socket_, &QTcpSocket::connected, this, &TncClient::OnConnected);
  connect(socket_, &QTcpSocket::readyRead, this, &TncClient::OnReadable);
  connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
    OnLost(error == QAbstractSocket::RemoteHostClosedError ? QLatin1String(kClosedByTncText)
                                                           : socket_->errorString());
  });
  // A close without an error first (none is known to come that way) is a loss all the same.
  connect(socket_, &QTcpSocket::disconnected, this,
          [this] { OnLost(QLatin1String(kClosedByTncText)); });
}

TncClient::~TncClient() {
  // No signal of the socket may reach a half-destroyed owner.
  socket_->disconnect(this);
  socket_->abort();
}

void TncClient::Start(const HostPort& where) {
  Stop();
  where_ = where;
  active_ = true;
  backoff_.Reset();
  Attempt();
}

void TncClient::Stop() {
  const bool was_connected = connected_;
  active_ = false;
  connected_ = false;
  retry_timer_->stop();
  connect_timer_->stop();
  socket_->abort();
  if (was_connected) emit connectionEnded();
  SetState({});
}

void TncClient::Attempt() {
  if (!active_) return;
  SetState({.phase = LinkState::Phase::kConnecting, .where = where_.Text()});
  connect_timer_->start();
  // Read only: the TNC never hears from this program.
  socket_->connectToHost(QString::fromStdString(where_.host), where_.port, QIODevice::ReadOnly);
}

void TncClient::OnConnected() {
  connect_timer_->stop();
  connected_ = true;
  backoff_.Connected(SteadyMs());
  EnableTcpKeepAlive(static_cast<int>(socket_->socketDescriptor()));
  SetState({.phase = LinkState::Phase::kConnected, .where = where_.Text()});
}

void TncClient::OnReadable() {
  const QByteArray bytes = socket_->readAll();
  if (bytes.isEmpty()) return;
  backoff_.Received(BytesOf(bytes));
  emit received(bytes, QDateTime::currentMSecsSinceEpoch());
}

void TncClient::OnLost(const QString& reason) {
  // An error and the close that follows it are one loss.
  if (!active_ || retry_timer_->isActive()) return;
  connect_timer_->stop();
  // What the socket still holds came before the loss, and may hold the connection's first frame.
  const QByteArray rest = socket_->readAll();
  backoff_.Received(BytesOf(rest));
  const std::int64_t wait = backoff_.Lost(SteadyMs(), QRandomGenerator::global()->generate());
  // Started before anything is emitted or aborted, so that the close which aborting may signal
  // counts as the same loss.
  retry_timer_->start(static_cast<int>(wait));
  if (!rest.isEmpty()) emit received(rest, QDateTime::currentMSecsSinceEpoch());
  socket_->abort();
  if (connected_) {
    connected_ = false;
    emit connectionEnded();
  }
  SetState({.phase = LinkState::Phase::kRetrying,
            .where = where_.Text(),
            .reason = reason.toStdString(),
            .wait_ms = wait});
}

std::string TncClient::StateText(qint64 now_ms) const {
  return LinkStateText(link_, now_ms - state_since_ms_);
}

void TncClient::SetState(LinkState link) {
  // A retry is a new wait even in the same words; any other state said again is no change.
  if (link.phase != LinkState::Phase::kRetrying && link.phase == link_.phase &&
      link.where == link_.where) {
    return;
  }
  link_ = std::move(link);
  state_since_ms_ = clock_();
  emit stateChanged();
}

}  // namespace talphex
