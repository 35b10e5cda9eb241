// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "core/capture/live_link.h"

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
  explicit TncClient(QObject* parent = nullptr);
  ~TncClient() override;

  // Connects to `where`, ending any connection to another TNC first.
  void Start(const HostPort& where);
  // Ends the connection and every retry: "disconnected".
  void Stop();

  bool active() const { return active_; }
  bool connected() const { return connected_; }
  // "connecting", "connected to HOST:PORT", "connection lost: REASON, retrying in N s" or
  // "disconnected".
  const QString& state_text() const { return state_text_; }

 signals:
  void stateChanged(const QString& text);
  // Bytes as they came, with their receive time in milliseconds since 1970 UTC.
  void received(const QByteArray& bytes, qint64 received_ms);
  // A connection that stood has ended; a frame it cut off is incomplete.
  void connectionEnded();

 private:
  void Attempt();
  void OnConnected();
  void OnReadable();
  void OnLost(const QString& reason);
  void SetState(const QString& text);

  QTcpSocket* socket_;
  QTimer* retry_timer_;
  QTimer* connect_timer_;
  ReconnectBackoff backoff_;
  HostPort where_;
  bool active_ = false;
  bool connected_ = false;
  QString state_text_;
};

}  // namespace talphex
