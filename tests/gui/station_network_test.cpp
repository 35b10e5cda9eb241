// SPDX-License-Identifier: GPL-3.0-or-later
// The window's station network: the dialog's values checked by the command line's rules and
// remembered without any password or token; a real mosquitto, started here on a free loopback
// port, between the window and the command line (the window subscribes and decodes what a CLI
// publishes) and between a live TNC and mosquitto_sub (the window publishes).
#include "gui/station_network.h"

#include <pwd.h>
#include <unistd.h>

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>
#include <memory>

#include "gui/elided_text.h"
#include "gui/main_window.h"
#include "gui/station_network_dialog.h"
#include "testkit/capture_writer.h"
#include "window_test_support.h"

namespace talphex {
namespace {

// Generous: a sanitizer build on a busy machine; the merger alone holds frames for 2 s.
constexpr int kWaitMs = 60000;

NetworkChoice Publishing() {
  NetworkChoice choice;
  choice.mqtt_url = QStringLiteral("mqtt://127.0.0.1:1883");
  choice.station = QStringLiteral("T1");
  choice.publish = true;
  return choice;
}

struct ChoiceCase {
  const char* name;
  void (*edit)(NetworkChoice&);
  const char* problem;  // a part of the message; nullptr for a choice that checks
};

constexpr ChoiceCase kChoiceCases[] = {
    {"publish", [](NetworkChoice&) {}, nullptr},
    {"subscribe and InfluxDB 1",
     [](NetworkChoice& c) {
       c.publish = false;
       c.subscribe = true;
       c.influx_url = QStringLiteral("http://localhost:8086/write?db=talphex");
     },
     nullptr},
    {"SiDS from conf.ini-like values",
     [](NetworkChoice& c) {
       c.sids = true;
       c.norad_id = QStringLiteral("99999");
       c.callsign = QStringLiteral("DL1ABC");
       c.longitude = QStringLiteral("-3.7");
       c.latitude = QStringLiteral("40.4");
     },
     nullptr},
    {"nothing", [](NetworkChoice& c) { c = NetworkChoice(); }, nullptr},
    {"bad URL", [](NetworkChoice& c) { c.mqtt_url = QStringLiteral("http://x"); }, "broker URL:"},
    {"bad station", [](NetworkChoice& c) { c.station = QStringLiteral("T 1"); }, "station name:"},
    {"no station", [](NetworkChoice& c) { c.station.clear(); }, "needs a station name"},
    {"publish and subscribe", [](NetworkChoice& c) { c.subscribe = true; },
     "cannot be used together"},
    {"URL without a direction", [](NetworkChoice& c) { c.publish = false; },
     "needs Publish or Subscribe"},
    {"bad filter",
     [](NetworkChoice& c) {
       c.publish = false;
       c.subscribe = true;
       c.filter = QStringLiteral("talphex/#/frames");
     },
     "subscription filter:"},
    {"CA file without TLS", [](NetworkChoice& c) { c.ca_file = QStringLiteral("/etc/ca.pem"); },
     "mqtts://"},
    {"missing password file",
     [](NetworkChoice& c) { c.password_file = QStringLiteral("/nonexistent/pw"); },
     "password file:"},
    {"bad InfluxDB URL",
     [](NetworkChoice& c) { c.influx_url = QStringLiteral("ftp://localhost/write?db=x"); },
     "InfluxDB URL:"},
    {"InfluxDB 2 without token",
     [](NetworkChoice& c) {
       c.influx_url = QStringLiteral("http://localhost:8086/api/v2/write?org=o&bucket=b");
     },
     "INFLUX_TOKEN"},
    {"SiDS without callsign",
     [](NetworkChoice& c) {
       c.sids = true;
       c.norad_id = QStringLiteral("99999");
       c.longitude = QStringLiteral("1");
       c.latitude = QStringLiteral("2");
     },
     "needs the station's callsign"},
    {"SiDS without position",
     [](NetworkChoice& c) {
       c.sids = true;
       c.norad_id = QStringLiteral("99999");
       c.callsign = QStringLiteral("DL1ABC");
     },
     "longitude and latitude"},
    {"SiDS latitude out of range",
     [](NetworkChoice& c) {
       c.sids = true;
       c.norad_id = QStringLiteral("99999");
       c.callsign = QStringLiteral("DL1ABC");
       c.longitude = QStringLiteral("1");
       c.latitude = QStringLiteral("91");
     },
     "latitude:"},
    {"SiDS without NORAD ID",
     [](NetworkChoice& c) {
       c.sids = true;
       c.callsign = QStringLiteral("DL1ABC");
     },
     "NORAD ID:"},
    {"SiDS of a subscription",
     [](NetworkChoice& c) {
       c.publish = false;
       c.subscribe = true;
       c.sids = true;
     },
     "not subscribed ones"},
};

// A mosquitto of its own on a free loopback port, its configuration and log in `folder`; stopped
// by its process when it goes.
class Broker {
 public:
  explicit Broker(const QString& folder) {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return;
    port_ = probe.serverPort();
    probe.close();
    QFile conf(folder + QStringLiteral("/mosquitto.conf"));
    if (!conf.open(QIODevice::WriteOnly)) return;
    // Run as root, mosquitto becomes the user named here, who must be able to write `folder`.
    const passwd* user = getpwuid(geteuid());
    conf.write(QStringLiteral("user %1\nlistener %2 127.0.0.1\nallow_anonymous true\n"
                              "persistence false\nlog_dest file %3/mosquitto.log\n")
                   .arg(QString::fromLocal8Bit(user != nullptr ? user->pw_name : "root"))
                   .arg(port_)
                   .arg(folder)
                   .toUtf8());
    conf.close();
    process_.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), conf.fileName()});
  }
  ~Broker() {
    process_.terminate();
    if (!process_.waitForFinished(5000)) process_.kill();
    process_.waitForFinished(5000);
  }
  // True once it takes connections.
  bool Listening() const {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port_);
    return socket.waitForConnected(200);
  }
  QString Url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(port_); }
  QStringList Args() const {
    return {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
            QString::number(port_)};
  }

 private:
  QProcess process_;
  quint16 port_ = 0;
};

// Serves KISS on 127.0.0.1 to the one client that connects.
class FakeTnc {
 public:
  FakeTnc() {
    QObject::connect(&server_, &QTcpServer::newConnection, &server_,
                     [this] { client_ = server_.nextPendingConnection(); });
    server_.listen(QHostAddress::LocalHost, 0);
  }
  quint16 port() const { return server_.serverPort(); }
  QTcpSocket* client() const { return client_; }

 private:
  QTcpServer server_;
  QTcpSocket* client_ = nullptr;
};

// Answers every HTTP POST on 127.0.0.1 with `status` and keeps each request's target and body.
class FakeHttp {
 public:
  FakeHttp() {
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
      while (QTcpSocket* client = server_.nextPendingConnection()) {
        QObject::connect(client, &QTcpSocket::readyRead, client, [this, client] { Read(client); });
      }
    });
    server_.listen(QHostAddress::LocalHost, 0);
  }
  QString Url(const char* target) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(target);
  }
  // "TARGET BODY" of each request.
  const QStringList& requests() const { return requests_; }

 private:
  void Read(QTcpSocket* client) {
    QByteArray& buffer = buffers_[client];
    buffer += client->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) return;
    const QByteArray head = buffer.left(end).toLower();
    const qsizetype at = head.indexOf("content-length:");
    const qsizetype length =
        at < 0 ? 0 : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
    if (buffer.size() < end + 4 + length) return;
    const QByteArray target = buffer.left(buffer.indexOf("\r\n")).split(' ').value(1);
    requests_ << QString::fromUtf8(target + ' ' + buffer.mid(end + 4, length));
    buffer.remove(0, end + 4 + length);
    client->write("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n");
  }

  QTcpServer server_;
  QHash<QTcpSocket*, QByteArray> buffers_;
  QStringList requests_;
};

}  // namespace

class StationNetworkTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;

  QString Path(const QString& name) const { return dir_.filePath(name); }
  static QString NetworkStatus(const MainWindow& window) {
    return window.findChild<ElidedLabel*>("NetworkStatus")->full_text();
  }
  std::unique_ptr<MainWindow> MakeWindow(const QByteArray& conf_ini = {}) {
    QFile conf(Path("conf.ini"));
    if (!conf.open(QIODevice::WriteOnly)) return nullptr;
    conf.write("CAPTURE_PATH=" + QFile::encodeName(dir_.path()) + "\r\n" + conf_ini);
    conf.close();
    auto window = std::make_unique<MainWindow>(QStringList{Path("conf.ini")});
    window->SetMessageSink([](const QString& title, const QString& text) {
      QFAIL(qPrintable("message box: " + title + ": " + text));
    });
    return window;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QSettings(QStringLiteral("talphex"), QStringLiteral("talphex-decoder"))
        .remove(QStringLiteral("network"));
    qunsetenv("INFLUX_TOKEN");
    // InfluxDB's spool in the test's folder, not the user's cache.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir_.path()));
    qunsetenv("TALPHEX_MQTT_USER");
    qunsetenv("TALPHEX_MQTT_PASSWORD");
  }

  void choicesAreCheckedByTheCommandLinesRules() {
    for (const ChoiceCase& c : kChoiceCases) {
      NetworkChoice choice = Publishing();
      c.edit(choice);
      const Expected<NetworkPlan> plan = CheckNetworkChoice(choice);
      if (c.problem == nullptr) {
        QVERIFY2(plan.ok(), qPrintable(QString::fromLatin1(c.name) + ": " +
                                       QString::fromStdString(plan ? "" : plan.error().message)));
      } else {
        QVERIFY2(!plan.ok(), c.name);
        QVERIFY2(plan.error().message.find(c.problem) != std::string::npos,
                 qPrintable(QString::fromLatin1(c.name) + ": " +
                            QString::fromStdString(plan.error().message)));
      }
    }
  }

  // A bad value keeps the dialog open with its message; the accepted values come back in the
  // next window, conf.ini's station values are the defaults, and neither the password (file or
  // environment) nor the token is in the settings file.
  void dialogRemembersValuesButNoSecret() {
    QFile password(Path("mqtt-password"));
    QVERIFY(password.open(QIODevice::WriteOnly));
    password.write("user:file-secret-4711\n");
    password.close();
    qputenv("TALPHEX_MQTT_PASSWORD", "env-secret-0815");
    qputenv("INFLUX_TOKEN", "token-secret-2342");
    auto window =
        MakeWindow("STATION=GS_1\r\nCALLSIGN=EA4XYZ\r\nLONGITUDE=-3.7\r\nLATITUDE=40.4\r\n");
    QString problem;
    std::optional<NetworkChoice> accepted;
    window->SetNetworkChooser([&](QWidget* parent, const NetworkChoice& last) {
      // conf.ini's values before anything was remembered.
      if (last.station != QStringLiteral("GS_1") || last.callsign != QStringLiteral("EA4XYZ")) {
        return std::optional<NetworkChoice>();
      }
      QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        const auto set = [dialog](const char* name, const QString& text) {
          dialog->findChild<QLineEdit*>(name)->setText(text);
        };
        set("NetMqttUrl", QStringLiteral("mqtt://127.0.0.1:1"));
        set("NetStation", QStringLiteral("bad station"));
        set("NetPasswordFile", Path("mqtt-password"));
        set("NetInfluxUrl", QStringLiteral("http://localhost:8086/api/v2/write?org=o&bucket=b"));
        dialog->findChild<QCheckBox*>("NetPublish")->setChecked(true);
        QPushButton* ok =
            dialog->findChild<QDialogButtonBox*>("NetButtons")->button(QDialogButtonBox::Ok);
        ok->click();
        problem = dialog->findChild<QLabel*>("NetProblem")->text();
        set("NetStation", QStringLiteral("GS_2"));
        ok->click();
      });
      accepted = AskForStationNetwork(parent, last);
      return accepted;
    });
    window->findChild<QAction*>("MenuFileNetwork")->trigger();
    QCOMPARE(problem, QStringLiteral("station name: only letters, digits, - and _"));
    QVERIFY(accepted.has_value());
    // Nothing listens there: the sinks say so and keep what they hold.
    QTRY_VERIFY(NetworkStatus(*window).startsWith("MQTT mqtt://127.0.0.1:1: "));
    QVERIFY(NetworkStatus(*window).contains("; InfluxDB localhost:8086: 0 sent, 0 waiting"));
    window.reset();

    auto again = MakeWindow();
    std::optional<NetworkChoice> remembered;
    again->SetNetworkChooser([&](QWidget*, const NetworkChoice& last) {
      remembered = last;
      return std::optional<NetworkChoice>();
    });
    again->findChild<QAction*>("MenuFileNetwork")->trigger();
    QVERIFY(remembered.has_value());
    QCOMPARE(remembered->mqtt_url, QStringLiteral("mqtt://127.0.0.1:1"));
    QCOMPARE(remembered->station, QStringLiteral("GS_2"));
    QCOMPARE(remembered->password_file, Path("mqtt-password"));
    QVERIFY(remembered->publish);
    QVERIFY(!remembered->subscribe);
    // Nothing started before the remembered choice is.
    QCOMPARE(NetworkStatus(*again), QString());
    again->StartRememberedNetwork();
    QTRY_VERIFY(NetworkStatus(*again).startsWith("MQTT mqtt://127.0.0.1:1: "));
    again.reset();

    QSettings settings(QStringLiteral("talphex"), QStringLiteral("talphex-decoder"));
    QFile file(settings.fileName());
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(settings.fileName()));
    const QByteArray stored = file.readAll();
    QVERIFY(stored.contains("mqtt://127.0.0.1:1"));
    for (const char* secret : {"file-secret-4711", "env-secret-0815", "token-secret-2342"}) {
      QVERIFY2(!stored.contains(secret), secret);
    }
    settings.remove(QStringLiteral("network"));
    qunsetenv("TALPHEX_MQTT_PASSWORD");
    qunsetenv("INFLUX_TOKEN");
  }

  // The window subscribes and decodes what a CLI publishes: the sample's records, each once; the
  // status bar says the subscription's state; opening files ends the subscription.
  void windowDecodesWhatACliPublishes() {
    Broker broker(dir_.path());
    QTRY_VERIFY_WITH_TIMEOUT(broker.Listening(), 10000);
    auto window = MakeWindow();
    QVERIFY(OpenAndWait(*window, {QStringLiteral(TALPHEX_SAMPLE_CAPTURE)}));
    const std::int64_t beacons = window->state().BeaconCount;
    const std::int64_t payloads = window->state().PayloadCount;
    QVERIFY(beacons > 0 && payloads > 0);

    NetworkChoice choice;
    choice.mqtt_url = broker.Url();
    choice.station = QStringLiteral("W1");
    choice.subscribe = true;
    window->ApplyNetwork(choice);
    QVERIFY(window->network()->subscribing());
    QCOMPARE(window->state().BeaconCount, 0);
    QTRY_VERIFY_WITH_TIMEOUT(NetworkStatus(*window).startsWith("MQTT " + broker.Url() +
                                                               ": subscribed to talphex/+/frames"),
                             kWaitMs);

    QProcess cli;
    cli.start(
        QStringLiteral(TALPHEX_CLI),
        {QStringLiteral(TALPHEX_SAMPLE_CAPTURE), QStringLiteral("--mqtt"), broker.Url(),
         QStringLiteral("--mqtt-publish"), QStringLiteral("--station"), QStringLiteral("T1")});
    QVERIFY(cli.waitForFinished(kWaitMs));
    QCOMPARE(cli.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(
        window->state().BeaconCount == beacons && window->state().PayloadCount == payloads,
        kWaitMs);
    QTRY_VERIFY(
        NetworkStatus(*window).contains(QStringLiteral("%1 frames").arg(beacons + payloads)));

    QVERIFY(OpenAndWait(*window, {QStringLiteral(TALPHEX_SAMPLE_CAPTURE)}));
    QVERIFY(!window->network()->subscribing());
    QCOMPARE(window->state().BeaconCount, beacons);
  }

  // The frames and records of a live TNC reach a mosquitto_sub, InfluxDB and SiDS (both a fake
  // HTTP server here) through the window; the state changes are lines of the frame log.
  void windowPublishesWhatATncReceives() {
    Broker broker(dir_.path());
    QTRY_VERIFY_WITH_TIMEOUT(broker.Listening(), 10000);
    // A persistent session, so that the broker keeps the messages until they are collected.
    const QStringList session = broker.Args() + QStringList{QStringLiteral("-c"),
                                                            QStringLiteral("-i"),
                                                            QStringLiteral("sub-P1"),
                                                            QStringLiteral("-q"),
                                                            QStringLiteral("1"),
                                                            QStringLiteral("-t"),
                                                            QStringLiteral("talphex/P1/frames"),
                                                            QStringLiteral("-t"),
                                                            QStringLiteral("talphex/P1/records/#")};
    QProcess registering;
    registering.start(QStringLiteral("mosquitto_sub"), session + QStringList{QStringLiteral("-E")});
    QVERIFY(registering.waitForFinished(kWaitMs));
    QCOMPARE(registering.exitCode(), 0);

    auto window = MakeWindow();
    NetworkChoice choice = Publishing();
    choice.mqtt_url = broker.Url();
    choice.station = QStringLiteral("P1");
    FakeHttp http;
    choice.influx_url = http.Url("/write?db=talphex");
    choice.sids = true;
    choice.sids_url = http.Url("/api/telemetry/");
    choice.norad_id = QStringLiteral("99999");
    choice.callsign = QStringLiteral("EA4XYZ");
    choice.longitude = QStringLiteral("-3.7");
    choice.latitude = QStringLiteral("40.4");
    window->ApplyNetwork(choice);
    FakeTnc tnc;
    window->SetTncChooser([&](QWidget*) {
      return std::optional<TncChoice>(TncChoice{QStringLiteral("127.0.0.1"), tnc.port(), false});
    });
    window->findChild<QAction*>("MenuFileConnect")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(tnc.client() != nullptr, kWaitMs);
    CaptureWriter frames;
    frames.AddMillisecondStamp(1763113260123);
    for (int n = 1; n <= 3; ++n) {
      frames.AddFrame(kBeaconMarker,
                      EncodeBeaconBody({.message_number = static_cast<std::uint16_t>(n),
                                        .posix_time = 1700000000u + n}));
    }
    frames.AddFrame(kPayloadMarker, EncodePayloadBody({.status = {1, 0xC0DB, 7}}));
    // A live stream is taken from its first frame end on, as one joined in the middle.
    tnc.client()->write("\xC0" + QByteArray::fromStdString(frames.bytes()));
    QTRY_VERIFY_WITH_TIMEOUT(window->state().BeaconCount == 3 && window->state().PayloadCount == 1,
                             kWaitMs);
    // Four frames and four records, acknowledged.
    QTRY_VERIFY_WITH_TIMEOUT(
        NetworkStatus(*window).startsWith("MQTT " + broker.Url() + ": connected, 8 published"),
        kWaitMs);

    QProcess collect;
    collect.start(
        QStringLiteral("mosquitto_sub"),
        session + QStringList{QStringLiteral("-v"), QStringLiteral("-C"), QStringLiteral("8"),
                              QStringLiteral("-W"), QStringLiteral("30")});
    QVERIFY(collect.waitForFinished(kWaitMs));
    QMap<QString, int> topics;
    for (const QByteArray& line : collect.readAllStandardOutput().split('\n')) {
      if (!line.isEmpty()) ++topics[QString::fromUtf8(line.left(line.indexOf(' ')))];
    }
    const QMap<QString, int> expected = {{QStringLiteral("talphex/P1/frames"), 4},
                                         {QStringLiteral("talphex/P1/records/beacon"), 3},
                                         {QStringLiteral("talphex/P1/records/payload"), 1}};
    QCOMPARE(topics, expected);

    // Four frames to SiDS, one at a time, and the four records' points in InfluxDB's batches.
    QTRY_VERIFY2_WITH_TIMEOUT(NetworkStatus(*window).contains(": 4 sent, 0 waiting; SiDS ") &&
                                  NetworkStatus(*window).endsWith(": 4 sent"),
                              qPrintable(NetworkStatus(*window)), 20000);
    int frames_posted = 0;
    int points = 0;
    for (const QString& request : http.requests()) {
      if (request.startsWith(QStringLiteral("/api/telemetry/ "))) {
        ++frames_posted;
        // Stamped with the time of reception, the frame without its KISS byte.
        static const QRegularExpression kForm(QStringLiteral(
            "^/api/telemetry/ "
            "noradID=99999&source=EA4XYZ&timestamp=20\\d\\d-\\d\\d-\\d\\dT\\d\\d%3A"
            "\\d\\d%3A\\d\\d\\.\\d{3}Z&frame=[0-9A-F]{40,}&locator=longLat&longitude=3\\.7000W&"
            "latitude=40\\.4000N&version="));
        QVERIFY2(kForm.match(request).hasMatch(), qPrintable(request));
      } else {
        QVERIFY2(request.startsWith(QStringLiteral("/write?db=talphex ")), qPrintable(request));
        points += static_cast<int>(request.count(QLatin1Char('\n')));
      }
    }
    QCOMPARE(frames_posted, 4);
    QCOMPARE(points, 4);
    const QAbstractItemModel* lines = window->findChild<QTableView*>("Text5")->model();
    QString log;
    for (int row = 0; row < lines->rowCount(); ++row) {
      log += lines->index(row, 0).data().toString() + "\n";
    }
    QVERIFY2(log.contains("MQTT " + broker.Url() + ": connected"), qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral("SiDS 127.0.0.1:")), qPrintable(log));
  }
};

}  // namespace talphex

QTEST_MAIN(talphex::StationNetworkTest)
#include "station_network_test.moc"
