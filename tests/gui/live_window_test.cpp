// SPDX-License-Identifier: GPL-3.0-or-later
// The window decoding live from a fake TNC on the loopback interface: frames show as they come,
// the view follows the newest record or stays where the user put it, a lost connection is tried
// again, and the recorded pass reopens to the same exports.
#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>
#include <memory>

#include "core/capture/capture_loader.h"
#include "core/capture/capture_recorder.h"
#include "core/export/exports.h"
#include "core/export/output_path.h"
#include "gui/chart_widget.h"
#include "gui/connect_dialog.h"
#include "gui/elided_text.h"
#include "gui/main_window.h"
#include "testkit/capture_writer.h"
#include "testkit/test_support.h"
#include "window_test_support.h"

namespace talphex {
namespace {

// A connection is made, lost and made again within these; the backoff's first waits are 1.25 s
// and 2.5 s at most.
constexpr int kWaitMs = 8000;

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Serves KISS on 127.0.0.1 to whoever connects; what is sent goes to every client.
class FakeTnc {
 public:
  FakeTnc() {
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
      while (QTcpSocket* client = server_.nextPendingConnection()) {
        clients_ << client;
        QObject::connect(client, &QTcpSocket::disconnected, &server_, [this, client] {
          clients_.removeOne(client);
          client->deleteLater();
        });
      }
    });
    Listen(0);
  }
  bool Listen(quint16 port) { return server_.listen(QHostAddress::LocalHost, port); }
  quint16 port() const { return port_ != 0 ? port_ : server_.serverPort(); }
  qsizetype clients() const { return clients_.size(); }
  void Send(const QByteArray& bytes) {
    for (QTcpSocket* client : std::as_const(clients_)) client->write(bytes);
  }
  // Stops listening and closes every connection; the port is kept for Listen.
  void Stop() {
    port_ = server_.serverPort();
    server_.close();
    for (QTcpSocket* client : std::exchange(clients_, {})) {
      client->flush();
      client->close();
    }
  }

 private:
  QTcpServer server_;
  QList<QTcpSocket*> clients_;
  quint16 port_ = 0;
};

// Live frames: a beacon with message number `n`, a payload frame, each escaped and closed.
QByteArray BeaconFrame(int n) {
  CaptureWriter writer;
  writer.AddFrame(kBeaconMarker, EncodeBeaconBody({.message_number = static_cast<std::uint16_t>(n),
                                                   .posix_time = 1700000000u + n}));
  return QByteArray::fromStdString(writer.bytes());
}
QByteArray PayloadFrame(int n) {
  CaptureWriter writer;
  writer.AddFrame(kPayloadMarker,
                  EncodePayloadBody({.status = {static_cast<std::uint16_t>(n), 0xC0DB, 7}}));
  return QByteArray::fromStdString(writer.bytes());
}
QByteArray Stamp(std::uint64_t milliseconds) {
  CaptureWriter writer;
  writer.AddMillisecondStamp(milliseconds);
  return QByteArray::fromStdString(writer.bytes());
}

}  // namespace

class LiveWindowTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  std::unique_ptr<MainWindow> w_;
  std::unique_ptr<FakeTnc> tnc_;

  QString Path(const QString& name) const { return dir_.filePath(name); }
  QString Text(const char* name) const {
    // Status texts as set, however much of them their box shows.
    if (auto* status = w_->findChild<ElidedBox*>(name)) return status->full_text();
    if (auto* status = w_->findChild<ElidedLabel*>(name)) return status->full_text();
    if (auto* box = w_->findChild<QLineEdit*>(name)) return box->text();
    return w_->findChild<QLabel*>(name)->text();
  }
  QString Status() const { return Text("LiveStatus"); }
  QScrollBar* Scroll() const { return w_->findChild<QScrollBar*>("HScroll1"); }
  int ChartRows() const {
    return static_cast<int>(w_->findChild<ChartWidget*>("MSChart1")->content().row_labels.size());
  }
  QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(tnc_->port()); }

  // A window whose conf.ini names `capture_path` as the recordings' folder, and a fake TNC.
  void MakeWindow(const QString& capture_path, const QByteArray& more_settings = {}) {
    QFile conf(Path("conf.ini"));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("CAPTURE_PATH=" + QFile::encodeName(capture_path) + "\r\n" + more_settings);
    conf.close();
    w_ = std::make_unique<MainWindow>(QStringList{Path("conf.ini")});
    w_->SetMessageSink([](const QString& title, const QString& text) {
      QFAIL(qPrintable("message box: " + title + ": " + text));
    });
    tnc_ = std::make_unique<FakeTnc>();
  }
  // Connects through the menu and the dialog's seam; the fake TNC has its client when it returns.
  void Connect(bool record = true) {
    w_->SetTncChooser([this, record](QWidget*) {
      return std::optional<TncChoice>(TncChoice{QStringLiteral("127.0.0.1"), tnc_->port(), record});
    });
    w_->findChild<QAction*>("MenuFileConnect")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(Status().startsWith("connected to " + Address() + ";"), kWaitMs);
    QTRY_COMPARE(tnc_->clients(), 1);
    QVERIFY(w_->findChild<QAction*>("MenuFileDisconnect")->isEnabled());
    for (const char* name : {"MenuFileConnect", "MenuFileDisconnect"}) {
      QVERIFY2(w_->findChild<QAction*>(name)->statusTip().size() > 10, name);
    }
  }
  void Send(const QByteArray& bytes, std::int64_t beacons, std::int64_t payloads = 0) {
    tnc_->Send(bytes);
    QTRY_VERIFY(w_->state().BeaconCount == beacons && w_->state().PayloadCount == payloads);
    // The window shows them once the refresh that gathers them has run.
    QTRY_VERIFY(Status().contains(QStringLiteral("%1 beacon frame").arg(beacons)));
  }
  int InspectorRows() const {
    return w_->findChild<QTableView*>("FrameTable")->model()->rowCount();
  }
  // The record view's message number and position text.
  QString Shown() const { return Text("Text1(0)") + " " + Text("Text2"); }

 private slots:
  void cleanup() {
    w_.reset();
    tnc_.reset();
  }

  // Connecting starts afresh; the view follows the newest record while it is at the last one,
  // stays where the user moved it, and follows again from the end. The chart grows with them.
  void framesShowAndTheViewFollowsTheNewest() {
    MakeWindow(dir_.path());
    CaptureWriter earlier;
    for (int n = 0; n < 5; ++n) AddSyntheticFrame(earlier, 2 * n);
    QFile file(Path("earlier.kss"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(earlier.bytes()));
    file.close();
    QVERIFY(OpenAndWait(*w_, {Path("earlier.kss")}));
    QCOMPARE(w_->state().BeaconCount, 5);
    QCOMPARE(InspectorRows(), 5);

    Connect();
    QCOMPARE(w_->state().BeaconCount, 0);
    QCOMPARE(InspectorRows(), 0);
    QCOMPARE(Text("Text1(0)"), QString());
    QCOMPARE(Text("Text2"), QStringLiteral("#1 / 0"));
    QCOMPARE(ChartRows(), 0);
    QCOMPARE(Text("Text4"), QString::fromStdString(w_->state().InputFilePath));

    // Noise before the first delimiter is dropped, as a live stream joined in the middle.
    Send("noise\xC0" + Stamp(1763113260123) + BeaconFrame(1) + BeaconFrame(2) + BeaconFrame(3), 3);
    QCOMPARE(Shown(), QStringLiteral("3 #3 / 3"));
    QCOMPARE(ChartRows(), 3);
    QCOMPARE(w_->state().BeaconStore[0].RxTime, "2025-11-14 09:41:00");
    QVERIFY(Status().contains("3 beacon frames, 0 payload frames since connecting"));
    QVERIFY(QRegularExpression("; last frame \\d+ s ago").match(Status()).hasMatch());

    Scroll()->setValue(1);
    Send(BeaconFrame(4) + PayloadFrame(1) + BeaconFrame(5), 5, 1);
    QCOMPARE(Shown(), QStringLiteral("1 #1 / 5"));
    QCOMPARE(ChartRows(), 5);
    QCOMPARE(w_->findChild<ChartWidget*>("MSChart1")->content().series.at(0).values,
             BuildFieldChart(w_->state(), 17, ChartType::kLines).series.at(0).values);

    Scroll()->setValue(5);
    Send(BeaconFrame(6), 6, 1);
    QCOMPARE(Shown(), QStringLiteral("6 #6 / 6"));
    QVERIFY(Status().contains("6 beacon frames, 1 payload frame since connecting"));
    // The frame inspector lists the frames of the connection, timestamp parts and noise aside.
    QCOMPARE(InspectorRows(), 7);

    w_->findChild<QAction*>("MenuFileDisconnect")->trigger();
    QVERIFY(Status().startsWith("disconnected;"));
    QVERIFY(!w_->findChild<QAction*>("MenuFileDisconnect")->isEnabled());
    QTRY_COMPARE(tnc_->clients(), 0);  // the window closed its end
  }

  // A restarted TNC is connected to again, and a frame it cut off is never decoded; a refused
  // connection is tried again, the wait doubling.
  void lostConnectionsAreTriedAgain() {
    MakeWindow(dir_.path());
    Connect(false);
    Send("\xC0" + BeaconFrame(1) + BeaconFrame(2).left(30), 1);
    tnc_->Stop();
    QTRY_VERIFY_WITH_TIMEOUT(
        Status().startsWith("connection lost: closed by the TNC, retrying in 1 s;"), kWaitMs);
    QVERIFY(tnc_->Listen(tnc_->port()));
    QTRY_VERIFY_WITH_TIMEOUT(Status().startsWith("connected to " + Address() + ";"), kWaitMs);
    QTRY_COMPARE(tnc_->clients(), 1);
    Send("\xC0" + BeaconFrame(3), 2);
    QCOMPARE(Shown(), QStringLiteral("3 #2 / 2"));
    QVERIFY(!Status().contains("skipped"));
    // Frames that do not decode are counted by reason and listed on the debug page.
    CaptureWriter undecodable;
    undecodable.AddRawFrame(kBeaconMarker, "<~not{ascii85~>");
    tnc_->Send(QByteArray::fromStdString(undecodable.bytes()));
    QTRY_VERIFY(Status().contains("; skipped: 1 body does not decode"));
    const QAbstractItemModel* lines = w_->findChild<QTableView*>("Text5")->model();
    QString log;
    for (int row = 0; row < lines->rowCount(); ++row) {
      log += lines->index(row, 0).data().toString() + "\n";
    }
    QVERIFY2(log.contains("TALPHEX<~") && log.contains("skipped: body does not decode") &&
                 log.contains(QRegularExpression(
                     "\n-- connection lost, a frame cut off after [1-9][0-9]* bytes dropped\n")),
             qPrintable(log));

    tnc_->Stop();
    QTRY_VERIFY_WITH_TIMEOUT(Status().contains("retrying in 1 s"), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(
        Status().startsWith("connection lost: Connection refused, retrying in 2 s;"), kWaitMs);
    w_->findChild<QAction*>("MenuFileDisconnect")->trigger();
    QVERIFY(Status().startsWith("disconnected;"));
  }

  // Every frame is recorded as it comes, into the file the exports are named after; reopened,
  // it gives the same exports byte for byte, TNC stamps and receive times included.
  void recordedPassReopensToTheSameExports() {
    MakeWindow(dir_.path());
    Connect();
    const QString recording = QString::fromStdString(w_->state().InputFilePath);
    QVERIFY2(QRegularExpression("^" + QRegularExpression::escape(dir_.path()) +
                                "/talphex-\\d{8}-\\d{6}\\.kss$")
                 .match(recording)
                 .hasMatch(),
             qPrintable(recording));
    QVERIFY(Status().endsWith("; recording to " + recording));
    QVERIFY(!QFileInfo::exists(recording));  // created at the first frame
    CaptureWriter tnc_stamp;
    tnc_stamp.AddTimestamp("2026-12-06 21:00:01");
    Send("\xC0" + Stamp(1763113260123) + BeaconFrame(1) + PayloadFrame(2) +
             QByteArray::fromStdString(tnc_stamp.bytes()) + BeaconFrame(3) + "\xC0no marker\xC0",
         2, 1);
    QCOMPARE(QFileInfo(recording).size() > 0, true);  // written as it came, before the end
    w_->findChild<QAction*>("MenuFileDisconnect")->trigger();

    const auto exports = [this] {
      w_->WriteCSVFile_Click();
      w_->WritePayloadCSVFile_Click();
      const QString base = QString::fromStdString(w_->state().InputFilePath).chopped(4);
      return QByteArrayList{ReadAll(base + ".csv"), ReadAll(base + "-payload.csv")};
    };
    const QByteArrayList live = exports();
    QVERIFY(live[0].contains("2025-11-14 09:41:00;1") && live[0].contains("2026-12-06 21:00:01;3"));
    QCOMPARE(live[1].count("\r\n"), 2);  // the header and one record
    QVERIFY(OpenAndWait(*w_, {recording}));
    QCOMPARE(exports(), live);
  }

  // Regression: a pass started in the second of an earlier recording replaced it. The new one
  // takes the first free name ("-2"), and is created only when its first frame comes.
  void earlierRecordingKeepsItsName() {
    const QString folder = Path("earlier-passes");
    QVERIFY(QDir().mkpath(folder));
    MakeWindow(folder);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (qint64 second = 0; second < 10; ++second) {
      testing::WriteFile(folder.toStdString() + "/" + RecordingFileName(now + second * 1000),
                         "earlier");
    }
    Connect();
    const QString recording = QString::fromStdString(w_->state().InputFilePath);
    QVERIFY2(recording.endsWith("-2.kss"), qPrintable(recording));
    Send("\xC0" + BeaconFrame(1), 1);
    QTRY_VERIFY(QFileInfo(recording).size() > 0);
    QCOMPARE(ReadAll(recording.chopped(6) + ".kss"), QByteArray("earlier"));
  }

  // A live station keeps the newest records of each kind (LIVE_RECORDS, at least 1000), so that
  // the view, the values and the chart never go stale; the status says what was dropped, and the
  // recording keeps everything.
  void liveStoresKeepTheNewest() {
    MakeWindow(dir_.path(), "LIVE_RECORDS=10\r\n");
    Connect();
    QByteArray frames;
    for (int n = 1; n <= 1005; ++n) frames += BeaconFrame(n);
    Send("\xC0" + frames, 1005);
    QTRY_COMPARE(Shown(), QStringLiteral("1005 #1005 / 1005"));
    QCOMPARE(Scroll()->minimum(), 6);
    QCOMPARE(Scroll()->maximum(), 1005);
    QCOMPARE(w_->state().StoredCount(Kind::kBeacon), 1000u);
    w_->Option1_Click(0);
    const ChartContent& chart = w_->findChild<ChartWidget*>("MSChart1")->content();
    QCOMPARE(chart.first_record, 6);
    QCOMPARE(chart.series.at(0).values.back(), 1005.0);
    QVERIFY2(Status().contains(" since connecting; oldest 5 beacon records dropped (all are in the "
                               "recording); last frame "),
             qPrintable(Status()));
    // The view stays on an older record while it is kept, and moves up once it is dropped.
    Scroll()->setValue(8);
    Send(BeaconFrame(1006), 1006);
    QTRY_COMPARE(Shown(), QStringLiteral("8 #8 / 1006"));
    Send(BeaconFrame(1007) + BeaconFrame(1008), 1008);
    QTRY_COMPARE(Shown(), QStringLiteral("9 #9 / 1008"));
    // Reopened, the recording has every frame; a file keeps its first records, numbered from 1.
    const QString recording = QString::fromStdString(w_->state().InputFilePath);
    w_->findChild<QAction*>("MenuFileDisconnect")->trigger();
    QVERIFY(OpenAndWait(*w_, {recording}));
    QCOMPARE(w_->state().BeaconCount, 1008);
    QCOMPARE(w_->state().Dropped(Kind::kBeacon), 0);
    QCOMPARE(Shown(), QStringLiteral("9 #9 / 1008"));
    QVERIFY(w_->findChild<QLabel*>("LiveStatus")->isHidden());
  }

  // A missing recordings folder is made, with its parents; a connection that never completes
  // leaves no empty recording behind.
  void recordingFolderIsMadeAndNoEmptyRecordingLeft() {
    MakeWindow(Path("new/deeper"));
    tnc_->Stop();
    w_->SetTncChooser([this](QWidget*) {
      return std::optional<TncChoice>(TncChoice{QStringLiteral("127.0.0.1"), tnc_->port(), true});
    });
    w_->findChild<QAction*>("MenuFileConnect")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(Status().contains("retrying in"), kWaitMs);
    w_->findChild<QAction*>("MenuFileDisconnect")->trigger();
    QVERIFY(QFileInfo(Path("new/deeper")).isDir());
    QCOMPARE(QDir(Path("new/deeper")).entryList(QDir::Files), QStringList());
    QVERIFY(tnc_->Listen(tnc_->port()));
    Connect();
    Send("\xC0" + BeaconFrame(1), 1);
    const QString recording = QString::fromStdString(w_->state().InputFilePath);
    QVERIFY2(recording.startsWith(Path("new/deeper/")), qPrintable(recording));
    QTRY_VERIFY(QFileInfo(recording).size() > 0);
  }

  // A recording that cannot be made says why, with the path; the frames are decoded all the same.
  void unwritableCapturePathStillDecodes_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a file, not a folder") << "conf.ini"
                                          << "Not a directory";
  }
  void unwritableCapturePathStillDecodes() {
    QFETCH(QString, folder);
    QFETCH(QString, reason);
    MakeWindow(Path(folder));
    Connect();
    const QString failed =
        "recording failed: " + QString::fromStdString(w_->state().InputFilePath) + ": " + reason;
    QCOMPARE(Text("Text4"), failed);
    QVERIFY2(Status().endsWith("; " + failed), qPrintable(Status()));
    Send("\xC0" + BeaconFrame(1), 1);
    QCOMPARE(Shown(), QStringLiteral("1 #1 / 1"));
    // Regression: a connection that records nothing said the earlier recording had failed.
    Connect(false);
    QVERIFY2(!Status().contains("recording"), qPrintable(Status()));
    QVERIFY(Text("Text4").endsWith(" (not recorded)"));
  }

  // The dialog: a program sets its port and a port shows its program, or none; an empty host
  // cannot connect; an IPv6 host may come in brackets; the confirmed choice is remembered and a
  // cancelled dialog changes nothing.
  void connectDialogFollowsTheProgramsAndRemembers() {
    RememberTncChoice({QStringLiteral("localhost"), 8001, true});
    bool filled = false;
    const auto fill = [&filled](QWidget* dialog, QPushButton* connect) {
      auto* programs = dialog->findChild<QComboBox*>("TncProgram");
      auto* port = dialog->findChild<QSpinBox*>("TncPort");
      auto* host = dialog->findChild<QLineEdit*>("TncHost");
      QCOMPARE(programs->currentText(), QStringLiteral("Dire Wolf (8001)"));
      QTest::keyClick(programs, Qt::Key_Down);
      QCOMPARE(port->value(), 8100);
      for (const auto& [typed, shown] : {std::pair(8105, 2), std::pair(9000, -1)}) {
        port->setValue(typed);
        QCOMPARE(programs->currentIndex(), shown);
      }
      host->setText(QStringLiteral("  "));
      QVERIFY(!connect->isEnabled());
      host->setText(QStringLiteral("[::1]"));
      dialog->findChild<QCheckBox*>("TncRecord")->setChecked(false);
      filled = true;
    };
    // A failed check still closes the dialog, so that the test cannot hang in it.
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      QPushButton* connect = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
      fill(dialog, connect);
      filled ? connect->click() : dialog->reject();
    });
    const std::optional<TncChoice> choice = AskForTnc(nullptr);
    QVERIFY(filled && choice);
    for (const TncChoice& c : {*choice, LastTncChoice()}) {
      QVERIFY(c.host == QStringLiteral("::1") && c.port == 9000 && !c.record);
    }
    QTimer::singleShot(0, [] {
      QApplication::activeModalWidget()
          ->findChild<QDialogButtonBox*>()
          ->button(QDialogButtonBox::Cancel)
          ->click();
    });
    QVERIFY(!AskForTnc(nullptr));
    QCOMPARE(LastTncChoice().port, 9000);
  }
};

}  // namespace talphex

QTEST_MAIN(talphex::LiveWindowTest)

#include "live_window_test.moc"
