// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

#include "core/capture/live_link.h"
#include "core/view/status_texts.h"

class QTcpSocket;
class QTimer;

namespace talphex {

// Reads KISS over TCP from a TNC. It never writes to the TNC. A refused or dropped connection is
// tried again after the core's backoff (1 s doubling to 30 s, with jitter; a connection that ends
// within 5 s without a frame counts as refused) until Stop; silence is not an error. All waiting is
// done by the event loop: an idle connection costs no CPU.
class TncClient : public QObject {
  Q_OBJECT

 public:
  // Milliseconds on a clock that only the status texts read: a test can hold or move it.
  using Clock = std::function<qint64()>;

  // Without a clock, milliseconds since 1970 UTC.
  explicit TncClient(QObject* parent = nullptr, Clock clock = {});
  ~TncClient() override;

  // Connects to `where`, ending any connection to another TNC first.
  void Start(const HostPort& where);
  // Ends the connection and every retry: "disconnected".
  void Stop();

  bool active() const { return active_; }
  bool connected() const { return connected_; }
  bool retrying() const { return link_.phase == LinkState::Phase::kRetrying; }
  const LinkState& link() const { return link_; }
  // When the state began, on the clock.
  qint64 state_since_ms() const { return state_since_ms_; }
  // The state as LinkStateText words it at `now_ms` on the clock: "connecting to HOST:PORT",
  // "connected to HOST:PORT", "connection lost: REASON, retrying in N s", counting down, or
  // "disconnected".
  std::string StateText(qint64 now_ms) const;

 signals:
  void stateChanged();
  // Bytes as they came, with their receive time in milliseconds since 1970 UTC.
  void received(const QByteArray& bytes, qint64 received_ms);
  // A connection that stood has ended; a frame it cut off is incomplete.
  void connectionEnded();

 private:
  void Attempt();
  void OnConnected();
  void OnReadable();
  void OnLost(const QString& reason);
  void SetState(LinkState link);

  QTcpSocket* socket_;
  QTimer* retry_timer_;
  QTimer* connect_timer_;
  ReconnectBackoff backoff_;
  HostPort where_;
  bool active_ = false;
  bool connected_ = false;
  Clock clock_;
  LinkState link_;
  qint64 state_since_ms_ = 0;
};

}  // namespace talphex
