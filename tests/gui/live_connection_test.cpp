// SPDX-License-Identifier: GPL-3.0-or-later
// The live connection's status line on a clock the test holds: it ticks at each second since the
// last frame and counts the retry down, stops with "Disconnect", is forgotten by Clear, and names
// why a frame was skipped. The TNC is a server on a free loopback port.
#include "gui/live_connection.h"

#include <QtNetwork>
#include <QtTest>
#include <memory>

#include "testkit/capture_writer.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

// A connection is made, or refused twice, within this.
constexpr int kWaitMs = 8000;

QByteArray BeaconFrame(int n) {
  CaptureWriter writer;
  writer.AddFrame(kBeaconMarker, EncodeBeaconBody({.message_number = static_cast<std::uint16_t>(n),
                                                   .posix_time = 1700000000u + n}));
  return QByteArray::fromStdString(writer.bytes());
}

// The number before `unit` in `text` ("last frame 12 s ago" with "s ago"), or -1.
int NumberBefore(const QString& text, const QString& unit) {
  const QRegularExpressionMatch match =
      QRegularExpression(QStringLiteral("(\\d+) ") + QRegularExpression::escape(unit)).match(text);
  return match.hasMatch() ? match.captured(1).toInt() : -1;
}

}  // namespace

class LiveConnectionTest : public QObject {
  Q_OBJECT

  DecoderState state_;
  qint64 now_ms_ = 1'763'113'260'123;  // the test's clock, moved only by the test
  std::unique_ptr<LiveConnection> live_;
  QTcpServer server_;
  QList<QTcpSocket*> clients_;

  QTimer* Tick() const { return live_->findChild<QTimer*>(QStringLiteral("LiveStatusTick")); }
  QString Status() const { return live_->StatusText(); }
  // Moves the clock to where the tick aims, `late_ms` later, and lets it fire there.
  void FireTick(int late_ms) {
    QVERIFY(Tick()->isActive());
    now_ms_ += Tick()->interval() + late_ms;
    QMetaObject::invokeMethod(Tick(), "timeout");
  }
  void StartConnected() {
    QVERIFY(server_.listen(QHostAddress::LocalHost, 0));
    live_->Start(HostPort{"127.0.0.1", server_.serverPort()}, {});
    QTRY_VERIFY_WITH_TIMEOUT(Status().startsWith(QStringLiteral("connected to ")), kWaitMs);
    QTRY_COMPARE(clients_.size(), 1);
  }
  void Send(const QByteArray& bytes) {
    for (QTcpSocket* client : std::as_const(clients_)) client->write(bytes);
  }

 private slots:
  void init() {
    state_ = DecoderState();
    live_ = std::make_unique<LiveConnection>(state_, nullptr, [this] { return now_ms_; });
    connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* client = server_.nextPendingConnection()) clients_ << client;
    });
  }
  void cleanup() {
    live_.reset();
    server_.disconnect(this);
    server_.close();
    qDeleteAll(std::exchange(clients_, {}));
  }

  // Regression: "last frame N s ago" went 40, 41, 43, 43 on a timer that ran in its own phase.
  // Every tick shows the next second, however late it fires; a new frame starts over at 0.
  void lastFrameSecondsAreSteady() {
    StartConnected();
    QCOMPARE(Tick()->isActive(), false);  // nothing counts before the first frame
    now_ms_ += 400;                       // the frame comes in another phase than the connection
    Send("\xC0" + BeaconFrame(1));
    QTRY_COMPARE(state_.BeaconCount, 1);
    QCOMPARE(NumberBefore(Status(), QStringLiteral("s ago")), 0);
    QSignalSpy changes(live_.get(), &LiveConnection::statusChanged);
    constexpr int kLateMs[] = {0, 400, 0, 450, 1, 400, 250, 3};
    for (int second = 1; second <= 8; ++second) {
      FireTick(kLateMs[second - 1]);
      QCOMPARE(NumberBefore(Status(), QStringLiteral("s ago")), second);
      QCOMPARE(changes.size(), second);
    }
    now_ms_ += 300;
    Send(BeaconFrame(2));
    QTRY_COMPARE(state_.BeaconCount, 2);
    QCOMPARE(NumberBefore(Status(), QStringLiteral("s ago")), 0);
    FireTick(0);
    QCOMPARE(NumberBefore(Status(), QStringLiteral("s ago")), 1);
  }

  // Regression: "retrying in 9 s" never counted down. A second refusal waits 2 s and more; the
  // count goes down a second at a time and never below 1, with no frame ever received.
  void retryCountsDown() {
    QVERIFY(server_.listen(QHostAddress::LocalHost, 0));
    const quint16 port = server_.serverPort();
    server_.close();  // refused from now on
    live_->Start(HostPort{"127.0.0.1", port}, {});
    QTRY_VERIFY_WITH_TIMEOUT(Status().startsWith(QStringLiteral("connection lost: ")), kWaitMs);
    // The first wait is 1 s; the second, after a real retry, 2 s and up to a quarter more.
    QTRY_VERIFY_WITH_TIMEOUT(NumberBefore(Status(), QStringLiteral("s;")) >= 2, kWaitMs);
    const int first = NumberBefore(Status(), QStringLiteral("s;"));
    QVERIFY2(Status().contains(QStringLiteral("; no frame yet")), qPrintable(Status()));
    FireTick(0);
    QCOMPARE(NumberBefore(Status(), QStringLiteral("s;")), first - 1);
    FireTick(30);
    QCOMPARE(NumberBefore(Status(), QStringLiteral("s;")), std::max(first - 2, 1));
    live_->Stop();
    QVERIFY(Status().startsWith(QStringLiteral("disconnected;")));
    QCOMPARE(Tick()->isActive(), false);
  }

  // Regression: after "Disconnect" the line stayed at "last frame 0 s ago", and an open command
  // left the connection's counts beside the file's records.
  void disconnectStopsTheClockAndClearForgets() {
    StartConnected();
    Send("\xC0" + BeaconFrame(1));
    QTRY_COMPARE(state_.BeaconCount, 1);
    live_->Stop();
    const QString stopped = Status();
    QCOMPARE(stopped,
             QStringLiteral("disconnected; 1 beacon frame, 0 payload frames since connecting"));
    QCOMPARE(Tick()->isActive(), false);
    now_ms_ += 5000;
    QCOMPARE(Status(), stopped);

    QSignalSpy changes(live_.get(), &LiveConnection::statusChanged);
    live_->Clear();
    QCOMPARE(changes.size(), 1);
    QCOMPARE(Status(), QString());
    QCOMPARE(live_->TakeLog().size(), 0u);
    QCOMPARE(live_->TakeFrames().size(), 0u);
    QCOMPARE(live_->active(), false);
  }

  // Regression: the status said "skipped: 1 KISS frame" where the frame log gave the reason.
  void skipReasonIsNamed() {
    StartConnected();
    Send("\xC0" + QByteArray(70000, 'A') + "\xC0");
    QTRY_VERIFY2(
        Status().endsWith(QStringLiteral("; skipped: 1 KISS frame longer than 65536 bytes")),
        qPrintable(Status()));
  }
};

}  // namespace talphex

QTEST_MAIN(talphex::LiveConnectionTest)
#include "live_connection_test.moc"
