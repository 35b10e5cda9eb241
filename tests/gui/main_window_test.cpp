// SPDX-License-Identifier: GPL-3.0-or-later
// The main window driven as a user drives it: menu actions, the open dialog's seam, clicks, keys
// and drops. The core's own tests check every text; these check that the window shows, writes
// and pictures what the core computes for the state it holds.
#include "gui/main_window.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <QtCharts>
#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>
#include <csignal>
#include <memory>

#include "core/capture/capture_loader.h"
#include "core/export/atomic_file.h"
#include "core/export/exports.h"
#include "core/view/program_info.h"
#include "gui/chart_widget.h"
#include "gui/conf_ini_paths.h"
#include "gui/elided_text.h"
#include "gui/file_name.h"
#include "gui/screenshot.h"
#include "testkit/capture_writer.h"
#include "window_test_support.h"

namespace talphex {
namespace {

const QColor kYellow(255, 255, 192);
// Beacon frames of big.kss.
constexpr int kBigFrames = 100000;
const QColor kGrey(224, 224, 224);

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) qFatal("write");
}

// `count` beacon frames of the synthetic pass (its even frames), or payload frames (its odd ones).
QByteArray BeaconCapture(int count, int first = 0) {
  CaptureWriter writer;
  for (int i = 0; i < count; ++i) AddSyntheticFrame(writer, 2 * i + first);
  return QByteArray::fromStdString(writer.bytes());
}
QByteArray PayloadCapture(int count) { return BeaconCapture(count, 1); }

// Points HOME at a folder of the test's own while it lives, so that the user's folders (documents,
// pictures) are known ones.
class TestHome {
 public:
  explicit TestHome(const QString& folder) : saved_(qgetenv("HOME")) {
    qputenv("HOME", QFile::encodeName(folder));
  }
  ~TestHome() { qputenv("HOME", saved_); }
  TestHome(const TestHome&) = delete;
  TestHome& operator=(const TestHome&) = delete;

 private:
  QByteArray saved_;
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QStringList messages_;
  QStringList save_proposals_;          // what the save dialog was opened on
  std::optional<QString> save_answer_;  // what it answers; nullopt: cancelled
  std::unique_ptr<MainWindow> w_;

  QString Path(const QString& name) const { return dir_.filePath(name); }
  // The object name of control `index` of an array of controls, as "Text1(17)".
  static QString Name(const char* control, int index) {
    return QString("%1(%2)").arg(control).arg(index);
  }
  template <typename T = QWidget>
  T* Get(const QString& name) const {
    T* widget = w_->findChild<T*>(name);
    if (widget == nullptr) qFatal("no widget %s", qPrintable(name));
    return widget;
  }
  QString Text(const QString& name) const {
    // Status texts as set, however much of them their box shows.
    if (auto* status = w_->findChild<ElidedBox*>(name)) return status->full_text();
    if (auto* status = w_->findChild<ElidedLabel*>(name)) return status->full_text();
    auto* box = w_->findChild<QLineEdit*>(name);
    return box != nullptr ? box->text() : Get<QLabel>(name)->text();
  }
  QColor Colour(const QString& name, QPalette::ColorRole role = QPalette::Base) const {
    return Get(name)->palette().color(role);
  }
  QScrollBar* Scroll() const { return Get<QScrollBar>("HScroll1"); }
  ChartWidget* Chart() const { return Get<ChartWidget>("MSChart1"); }
  QList<int> Charted() const {
    QList<int> fields;
    for (const ChartSeries& series : Chart()->content().series) fields << series.field;
    return fields;
  }
  bool ControlsShown() const { return !Get("Command1")->isHidden() && !Get("Check1")->isHidden(); }
  void Trigger(const char* action) const { w_->findChild<QAction*>(action)->trigger(); }
  // Open commands, each waiting until its files are on view.
  void OpenByMenu() {
    QVERIFY(OpenAndWait(*w_, [this] { Trigger("MenuFileOpen"); }));
  }
  void Open(const QStringList& paths) { QVERIFY(OpenAndWait(*w_, paths)); }
  // Drags `paths` onto the window and drops them there; true when the window took the drag.
  bool Drop(const QStringList& paths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    mime.setUrls(urls);
    // A drop goes only to a widget that accepted the drag's entering.
    QDragEnterEvent enter(QPoint(9, 9), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(QPointF(9, 9), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w_.get(), &enter);
    QCoreApplication::sendEvent(w_.get(), &drop);
    return enter.isAccepted();
  }
  QStringList LogLines() const {
    const QAbstractItemModel* lines = Get<QTableView>("Text5")->model();
    QStringList texts;
    for (int row = 0; row < lines->rowCount(); ++row) {
      texts << lines->index(row, 0).data().toString();
    }
    return texts;
  }

  // A window with this conf.ini, whose open dialog gives `answers` (files of the temporary
  // folder) in turn, an empty list being a cancelled dialog; message boxes are recorded.
  void MakeWindow(QList<QStringList> answers = {}, const QByteArray& conf_ini = "") {
    WriteAll(Path("conf.ini"), conf_ini);
    for (QStringList& files : answers) {
      for (QString& file : files) file.prepend(dir_.path() + "/");
    }
    w_ = std::make_unique<MainWindow>(QStringList{Path("none.ini"), Path("conf.ini")});
    w_->SetFileChooser([answers, next = 0](QWidget*) mutable -> std::optional<QStringList> {
      if (next >= answers.size() || answers[next++].isEmpty()) return std::nullopt;
      return answers[next - 1];
    });
    w_->SetMessageSink(
        [this](const QString& title, const QString& text) { messages_ << title + ": " + text; });
    w_->SetSaveChooser([this](QWidget*, const QString& proposed) {
      save_proposals_ << proposed;
      return save_answer_;
    });
  }
  void MakeSampleWindow(const QByteArray& conf_ini = "") {
    MakeWindow({}, conf_ini);
    Open({Path("pass.kss")});
  }

  // Every value, line and lamp of the window is the core's view of `record`.
  void CheckShows(int record) const {
    const RecordView view = BuildRecordView(w_->state(), record, KindOfField(w_->selected_field()),
                                            w_->decimal_separator());
    for (int field = 0; field < kFieldCount; ++field) {
      QCOMPARE(Text(Name("Text1", field)), QString::fromLatin1(view.values[field]));
    }
    const QColor lamp_colours[] = {kGrey, Qt::green, Qt::red};  // no record, set, clear
    for (int lamp = 0; lamp < kLampCount; ++lamp) {
      QCOMPARE(Colour(Name("Shape1", lamp), QPalette::Window),
               lamp_colours[static_cast<int>(view.lamps[lamp])]);
    }
    for (const auto& [name, text] :
         {std::pair("Label3", view.time_span), std::pair("Label4", view.posix_time),
          std::pair("Label10", view.rx_timestamp), std::pair("Text3", view.beacon_frame),
          std::pair("Text6", view.payload_frame), std::pair("Text2", view.position)}) {
      QCOMPARE(Text(name), QString::fromLatin1(text));
    }
  }

 private slots:
  void initTestCase() {
    QVERIFY(QFile::copy(TALPHEX_SAMPLE_CAPTURE, Path("pass.kss")));
    WriteAll(Path("payload.kss"), PayloadCapture(3));
    WriteAll(Path("empty.kss"), "");
    WriteAll(Path("notes.txt"), "pass notes\n");
    WriteAll(Path("four.kss"), BeaconCapture(4));
    WriteAll(Path("three.kss"), BeaconCapture(3));
    WriteAll(Path("long.kss"), BeaconCapture(1003));
    // Long enough to be loading still when the test acts; its last frame does not decode, so that
    // the frame log tells whether its load reached the end.
    CaptureWriter big;
    for (int i = 0; i < kBigFrames; ++i) AddSyntheticFrame(big, 2 * i);
    big.AddRawFrame(kBeaconMarker, "the~end~does~not~decode{");
    WriteAll(Path("big.kss"), QByteArray::fromStdString(big.bytes()));
    CaptureWriter undecodable;
    undecodable.AddRawFrame(kBeaconMarker, "not~ascii85~at~all{");
    WriteAll(Path("bad%2.kss"), QByteArray::fromStdString(undecodable.bytes()));
    // A name that is not UTF-8, as a shell passes it on the command line.
    const QByteArray four = BeaconCapture(4);
    std::FILE* file = std::fopen(QFile::encodeName(Path("bad")) + "\xFFname.kss", "wb");
    QVERIFY(file != nullptr && std::fwrite(four.data(), 1, four.size(), file) ==
                                   static_cast<std::size_t>(four.size()));
    QCOMPARE(std::fclose(file), 0);
  }
  void cleanup() { QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join('\n'))); }

  void startUp() {
    MakeWindow();
    QCOMPARE(w_->windowTitle(), QLatin1String(kProgramTitle));
    for (int i = 0; i < kLampCount; ++i) {  // captions and units; the lamps without a record
      QCOMPARE(Text(Name("Label5", i)), QString::fromLatin1(Lamp(i).caption));
      QCOMPARE(Colour(Name("Shape1", i), QPalette::Window), kGrey);
      if (i >= kFieldCount) continue;
      QCOMPARE(Get<QAbstractButton>(Name("Option1", i))->text(),
               QString::fromLatin1(Field(i).caption));
      QCOMPARE(Text(Name("Label2", i)), QString::fromLatin1(Field(i).unit));
    }
    QVERIFY(!Scroll()->isEnabled() && ControlsShown());
    QCOMPARE(w_->image_path(), QCoreApplication::applicationDirPath() + "/");
    // Every menu command explains itself in the status bar.
    for (const char* name : {"MenuFileOpen", "MenuFileExit", "WriteCSVFile", "WriteTLMFile",
                             "WritePayloadCSVFile", "ExportForAnalysis", "MnuInfo"}) {
      QAction* action = w_->findChild<QAction*>(name);
      action->showStatusText(w_.get());
      QVERIFY2(w_->statusBar()->currentMessage().size() > 10, name);
    }
    w_->Command1_Click();
    QVERIFY(Text("Text4").contains("no capture") && ControlsShown());
    Trigger("MnuInfo");
    QVERIFY(w_->info_window()->isVisible() && !w_->info_window()->isModal());
    QCOMPARE(w_->info_window()->findChild<QLabel*>("Image1")->pixmap().size(), QSize(317, 300));
    // Regression: before any open command a choice showed "#1 / 0"; the count is empty.
    Get<QAbstractButton>("Option1(5)")->click();
    QCOMPARE(Text("Text2"), QStringLiteral("#1 / "));
    // Regression: the application's display name was added to every title ("Info — ...").
    SetApplicationInfo();
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    QCOMPARE(w_->info_window()->windowTitle(), QStringLiteral("Info"));
    // "B" before any choice charts field 0, which has no record yet.
    Get<QCheckBox>("Check1")->click();
    QVERIFY(Chart()->content().type == ChartType::kBars && Chart()->content().series.empty());
    MakeWindow({}, "screenshot = no\r\nImage_Path=/srv/Ham/\r\n");
    QVERIFY(Get("Command1")->isHidden() && w_->image_path() == "/srv/Ham/");
  }

  void openCommands() {
    // Files of the open dialog, one list per command ({} cancels), the scroll bar's position
    // before the last command, the position text and what Text4 says ("@": the temporary folder).
    const std::tuple<QList<QStringList>, int, QString, QString> cases[] = {
        {{{"pass.kss"}}, 1, "#1 / 86", "@/pass.kss"},
        {{{"pass.kss"}, {}}, 40, "#40 / 86", "@/pass.kss"},
        {{{}}, 1, "", ""},
        {{{"pass.kss", "four.kss"}}, 1, "#1 / 90", "@/four.kss"},
        {{{"pass.kss", "none.kss", "four.kss"}}, 1, "#1 / 90", "@/none.kss: No such file"},
        {{{"bad%2.kss"}}, 1, "#1 / 0", "@/bad%2.kss: 1 frame could not be decoded"},
        {{{"pass.kss"}, {"three.kss"}}, 50, "#3 / 3", "@/three.kss"},
        // Regression: the status was cut; it says it in short, the tooltip in full.
        {{{"long.kss"}}, 1, "#1 / 1003", "3 beacon frames not kept: a store holds 1000"},
        // Regression: captures that gave nothing to show said nothing.
        {{{"empty.kss"}}, 1, "#1 / 0", "no TALPHEX or VAVE frames in @/empty.kss"},
        {{{"notes.txt"}}, 1, "#1 / 0", "@/notes.txt: no KISS frames and no SatNOGS lines"},
        {{{"payload.kss"}},
         1,
         "#1 / 0",
         "no beacon frames: choose a VAVE field to see the 3 payload records"},
        // Regression: a name that is not UTF-8 was "No such file or directory".
        {{{DecodeFileName("bad\xFFname.kss")}},
         1,
         "#1 / 4",
         "@/" + DecodeFileName("bad\xFFname.kss")}};
    for (const auto& [answers, position, position_text, status] : cases) {
      MakeWindow(answers);
      for (qsizetype command = 0; command < answers.size(); ++command) {
        if (command == answers.size() - 1) Scroll()->setValue(position);
        OpenByMenu();
      }
      QCOMPARE(Text("Text2"), position_text);
      QVERIFY2(Text("Text4").contains(QString(status).replace("@", dir_.path())),
               qPrintable(Text("Text4")));
      if (position_text == "#1 / 1003") {
        QVERIFY(Get("Text4")->toolTip().contains("3 beacon frames beyond the 1000 records"));
        // The longest such sentence fits the status box of the window as it opens.
        w_->show();
        QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
        DecoderState many;
        many.BeaconCount = many.PayloadCount = 532480;
        many.BeaconStore.resize(1000);
        many.PayloadStore.resize(1000);
        const QString longest = QString::fromStdString(NotKeptSummary(many));
        QVERIFY(longest.startsWith("531,480 beacon and 531,480 payload") &&
                Get("Text4")->fontMetrics().horizontalAdvance(longest) <
                    Get("Text4")->contentsRect().width() - 8);
      }
      const int stored = static_cast<int>(w_->state().StoredCount(Kind::kBeacon));
      QVERIFY(Scroll()->maximum() == std::max(stored, 1) && Scroll()->isEnabled() == (stored > 0));
      if (position_text.isEmpty()) continue;
      CheckShows(Scroll()->value());
      // Field 17 of the new records is chosen and charted, the record on view marked.
      QVERIFY(Get<QAbstractButton>("Option1(17)")->isChecked() &&
              Chart()->marked_record() == (stored > 0 ? Scroll()->value() : 0));
      QVERIFY(Charted() == (stored > 0 ? QList<int>{17} : QList<int>()) &&
              std::ssize(Chart()->content().row_labels) == stored);
      QVERIFY(Get<QTableView>("Text5")->model()->rowCount() >= w_->state().BeaconCount);
    }
  }

  // The load runs off the user-interface thread: the window takes a click on Cancel meanwhile,
  // keeps the records read so far, gives the focus back, and can load again afterwards.
  void cancelStopsLoading() {
    MakeWindow({{"big.kss"}, {"four.kss"}});
    w_->show();
    Get("Option1(5)")->setFocus();
    QVERIFY(OpenAndWait(*w_, [this] {
      Trigger("MenuFileOpen");
      QVERIFY(Get("LoadProgress")->isVisible() && !w_->menuBar()->isEnabled() &&
              !w_->centralWidget()->isEnabled());
      Get<QPushButton>("LoadCancel")->click();
    }));
    const std::int64_t kept = w_->state().BeaconCount;
    QVERIFY2(kept < kBigFrames, qPrintable(QString::number(kept)));
    // Past a store's capacity (a slow click on a busy machine) the status adds what was not kept.
    QVERIFY2(
        Text("Text4").startsWith(QStringLiteral("loading cancelled after %1 frames").arg(kept)),
        qPrintable(Text("Text4")));
    QVERIFY(Get("LoadProgress")->isHidden() && Get("LoadCancel")->isHidden());
    QVERIFY(w_->menuBar()->isEnabled() && w_->centralWidget()->isEnabled());
    QCOMPARE(w_->focusWidget(), Get("Option1(5)"));
    QCOMPARE(Text("Text2"), QStringLiteral("#1 / %1").arg(kept));  // the count, not the stored
    OpenByMenu();
    QCOMPARE(w_->state().BeaconCount, 4);
  }

  // Regression: a drop or a connection during a load was ignored. The newest command wins: the
  // load is cancelled, and the command is carried out once the state is back. An open command
  // that was replaced never says it finished.
  void newestCommandDuringALoadWins() {
    QTcpServer gone;  // a loopback port that refuses connections
    QVERIFY(gone.listen(QHostAddress::LocalHost));
    const quint16 refused = gone.serverPort();
    gone.close();
    enum class How { kOpenFiles, kDrop, kConnect };
    struct Step {
      How how;
      const char* file;
    };
    struct Case {
      const char* name;
      std::vector<Step> steps;  // during the load of big.kss
      std::int64_t beacons;
      QString status;  // in Text4; "@": the temporary folder
    };
    const Case cases[] = {{"drop", {{How::kDrop, "three.kss"}}, 3, "@/three.kss"},
                          {"OpenFiles", {{How::kOpenFiles, "four.kss"}}, 4, "@/four.kss"},
                          {"newest of two opens",
                           {{How::kOpenFiles, "four.kss"}, {How::kDrop, "three.kss"}},
                           3,
                           "@/three.kss"},
                          {"connect", {{How::kConnect, nullptr}}, 0, " (not recorded)"},
                          {"open after connect",
                           {{How::kConnect, nullptr}, {How::kOpenFiles, "four.kss"}},
                           4,
                           "@/four.kss"},
                          {"connect after open",
                           {{How::kOpenFiles, "four.kss"}, {How::kConnect, nullptr}},
                           0,
                           " (not recorded)"}};
    for (const Case& c : cases) {
      MakeWindow({}, "CAPTURE_PATH=" + QFile::encodeName(dir_.path()) + "\n");
      QSignalSpy finished(w_.get(), &MainWindow::OpenFinished);
      w_->OpenFiles({Path("big.kss")});
      for (const Step& step : c.steps) {
        QVERIFY2(!Get("LoadProgress")->isHidden(), c.name);
        if (step.how == How::kConnect) {
          w_->ConnectToTnc({QStringLiteral("127.0.0.1"), refused, false});
        } else {
          const QStringList files{Path(step.file)};
          if (step.how == How::kDrop) {
            QVERIFY(Drop(files));
          } else {
            w_->OpenFiles(files);
          }
        }
      }
      QTRY_VERIFY_WITH_TIMEOUT(Get("LoadProgress")->isHidden(), kOpenTimeoutMs);
      const bool connected = c.steps.back().how == How::kConnect;
      QCOMPARE(finished.count(), connected ? 0 : 1);
      QVERIFY(w_->menuBar()->isEnabled() && w_->centralWidget()->isEnabled());
      QCOMPARE(w_->state().BeaconCount, c.beacons);
      QCOMPARE(Text("Text2"), QStringLiteral("#1 / %1").arg(c.beacons));
      QVERIFY2(Text("Text4").endsWith(QString(c.status).replace("@", dir_.path())),
               qPrintable(QString(c.name) + ": " + Text("Text4")));
      // Only the newer command's frames are inspected; the replaced load stopped short.
      QCOMPARE(Get<QTableView>("FrameTable")->model()->rowCount(), c.beacons);
      QVERIFY2(LogLines().filter("does not decode").isEmpty(), c.name);
      QCOMPARE(!Get("LiveStatus")->isHidden(), connected);
      if (connected) {
        const QString live = Text("LiveStatus");
        QVERIFY2(live.startsWith(QStringLiteral("connecting to 127.0.0.1:%1").arg(refused)) ||
                     live.startsWith("connection lost: Connection refused, retrying in"),
                 qPrintable(live));
      }
    }
  }

  // Closing or destroying the window during a load neither crashes nor hangs: the worker is
  // cancelled and joined with the window, and the sanitizer build finds nothing left behind.
  void closingDuringALoad_data() {
    QTest::addColumn<bool>("close");
    QTest::addColumn<bool>("load_ends");
    QTest::newRow("destroyed while loading") << false << false;
    QTest::newRow("closed, then destroyed while loading") << true << false;
    QTest::newRow("closed, the load ends in the hidden window") << true << true;
  }
  void closingDuringALoad() {
    QFETCH(bool, close);
    QFETCH(bool, load_ends);
    MakeWindow();
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    QSignalSpy finished(w_.get(), &MainWindow::OpenFinished);
    w_->OpenFiles({Path("big.kss")});
    QVERIFY(Get("LoadProgress")->isVisible());
    if (close) QVERIFY(w_->close());
    if (load_ends) {
      QVERIFY(finished.wait(kOpenTimeoutMs));
      QCOMPARE(w_->state().BeaconCount, kBigFrames);
    }
    w_.reset();
  }

  // The debug page's table lists every frame of the last open command with its AX.25 addresses
  // and result; choosing one dumps its bytes and its decoded body.
  void frameInspectorListsTheFramesAndDumpsTheChosenOne() {
    MakeWindow({{"four.kss", "bad%2.kss"}, {"three.kss"}});
    OpenByMenu();
    auto* table = Get<QTableView>("FrameTable");
    QAbstractItemModel* rows = table->model();
    QCOMPARE(rows->rowCount(), 5);
    const auto cells = [rows](int row) {
      QStringList texts;
      for (int column = 0; column < rows->columnCount(); ++column) {
        texts << rows->index(row, column).data().toString();
      }
      return texts;
    };
    QCOMPARE(cells(0).mid(1, 3), QStringList({"beacon", "TALPHX", "CQ"}));
    QCOMPARE(cells(0).last(), QStringLiteral("decoded"));
    QCOMPARE(cells(4).last(), QStringLiteral("skipped: body does not decode"));
    QCOMPARE(cells(0).first(), QString::fromStdString(w_->state().BeaconStore[0].RxTime));

    table->selectRow(0);
    const QString dump = Get<QPlainTextEdit>("FrameDump")->toPlainText();
    // The body's first bytes: the message number 0, little-endian.
    QVERIFY(dump.contains("body (75 bytes):\n0000  00 00 ") &&
            dump.startsWith(cells(0).first() + "  beacon  TALPHX > CQ"));
    table->selectRow(4);
    QVERIFY(Get<QPlainTextEdit>("FrameDump")->toPlainText().contains("body: does not decode"));

    // The next open command starts afresh; frames of a live connection are appended.
    OpenByMenu();
    QCOMPARE(rows->rowCount(), 3);
    QVERIFY(Get<QPlainTextEdit>("FrameDump")->toPlainText().isEmpty());
    const std::string frame("\x00VAVE<~z~>", 10);
    FrameFacts live;
    live.bytes = frame;
    live.length = frame.size();
    live.kind = FrameKind::kPayload;
    live.result = FrameResult::kDecoded;
    w_->AppendInspectorFrame(live);
    QCOMPARE(cells(3).mid(1), QStringList({"payload", "", "", "10", "decoded"}));
  }

  void droppedCapturesAreOpened() {
    MakeWindow();
    bool taken = false;
    QVERIFY(OpenAndWait(*w_, [&] { taken = Drop({Path("four.kss"), Path("a.txt")}); }));
    QVERIFY(taken && w_->state().BeaconCount == 4);
  }

  void scrollBarDragKeysAndChartClicks() {
    MakeSampleWindow();
    Scroll()->setSliderDown(true);
    Scroll()->setSliderPosition(5);  // the view follows the thumb before it is let go
    CheckShows(5);
    QCOMPARE(Chart()->marked_record(), 5);
    Scroll()->setSliderDown(false);
    emit Chart()->recordClicked(12);
    QVERIFY(Scroll()->value() == 12 && Chart()->marked_record() == 12);
    // Keys on the scroll bar or the field grid step the records; the frame log keeps its keys.
    const std::tuple<const char*, Qt::Key, int> keys[] = {
        {"HScroll1", Qt::Key_Right, 13},    {"Option1(17)", Qt::Key_Left, 12},
        {"Text1(3)", Qt::Key_PageDown, 22}, {"Option1(0)", Qt::Key_PageUp, 12},
        {"HScroll1", Qt::Key_PageUp, 2},    {"Text1(44)", Qt::Key_PageUp, 1},
        {"Option1(44)", Qt::Key_End, 86},   {"HScroll1", Qt::Key_PageDown, 86},
        {"Text5", Qt::Key_Home, 86},        {"Text1(20)", Qt::Key_Home, 1}};
    for (const auto& [focus, key, record] : keys) {
      QTest::keyClick(Get(focus), key);
      QVERIFY2(Scroll()->value() == record && Chart()->marked_record() == record, focus);
      QVERIFY(Get<QAbstractButton>("Option1(17)")->isChecked() && Charted() == QList<int>{17});
    }
  }

  void fieldChoiceAndGroupedCharts() {
    MakeSampleWindow();
    // Regression: saved and copied charts lacked the title line; the picture is proposed beside
    // the capture, named after it and the field.
    QCOMPARE(Chart()->title(), QStringLiteral("Temp X+ Panel (C)"));
    QCOMPARE(Chart()->save_name(), Path("pass-Temp X+ Panel.png"));
    auto click = [&](int field, Qt::MouseButton button, Qt::KeyboardModifiers modifiers = {}) {
      QTest::mouseClick(Get(Name("Option1", field)), button, modifiers);
      QVERIFY(w_->selected_field() == field &&
              Get<QAbstractButton>(Name("Option1", field))->isChecked());
      QCOMPARE(Colour(Name("Text1", field)), kYellow);
    };
    click(20, Qt::LeftButton, Qt::ShiftModifier);
    QCOMPARE(Charted(), (QList<int>{19, 20, 18}));
    click(6, Qt::RightButton);
    QCOMPARE(Charted(), (QList<int>{5, 6, 8}));
    // A payload field of no group: payload records on view, no mark in the beacon chart.
    Scroll()->setValue(60);
    click(40, Qt::RightButton);
    QVERIFY(Charted() == (QList<int>{5, 6, 8}) && Chart()->marked_record() == 0);
    CheckShows(26);
    // Regression: a click on the beacon chart went to that number among the payload records.
    emit Chart()->recordClicked(12);
    QCOMPARE(Scroll()->value(), 26);
    click(10, Qt::LeftButton, Qt::ShiftModifier);
    QCOMPARE(Get<QGroupBox>("Frame1")->title(), QStringLiteral("StenSat Temp (C)"));
    // "B" charts the chosen field alone, as bars, then as lines again.
    Get<QCheckBox>("Check1")->click();
    QVERIFY(Charted() == QList<int>{10} && Chart()->content().type == ChartType::kBars);
    Get<QCheckBox>("Check1")->click();
    QCOMPARE(Chart()->content().type, ChartType::kLines);
  }

  // Each command writes its file beside the capture and says so; the report is of the record on
  // view. The core's own tests check the files' bytes.
  void exportsSayWhereTheyWentAFailureKeepsTheEarlierFile() {
    MakeSampleWindow();
    const std::tuple<const char*, QString, int> exports[] = {
        {"WriteCSVFile", "pass.csv", 1},
        {"WritePayloadCSVFile", "pass-payload.csv", 1},
        {"WriteTLMFile", "pass.tlm", 1},
        {"WriteTLMFile", "pass.tlm", 7}};
    QByteArray first_report;
    for (const auto& [action, file, record] : exports) {
      Scroll()->setValue(record);
      Trigger(action);
      QCOMPARE(Text("Text4"), Path(file) + kHasBeenWritten);
      QVERIFY(QFileInfo(Path(file)).size() > 0);
      if (file == "pass.tlm" && record == 1) first_report = ReadAll(Path(file));
    }
    QVERIFY(ReadAll(Path("pass.tlm")) != first_report);
    for (const AnalysisFormat format :
         {AnalysisFormat::kCsv, AnalysisFormat::kJsonLines, AnalysisFormat::kInflux}) {
      w_->SetFormatChooser([format](QWidget*) { return format; });
      Trigger("ExportForAnalysis");
      // Every record of the sample has a receive time: the line protocol leaves none out.
      const QString file = Path("pass" + QString::fromLatin1(AnalysisSuffix(format)));
      QCOMPARE(Text("Text4"), file + kHasBeenWritten);
      QVERIFY(QFileInfo(file).size() > 0);
    }
    // A failed write keeps the earlier file: past 100 bytes writes fail with "File too large"
    // (root may write any folder).
    WriteAll(Path("pass.csv"), "earlier\r\n");
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit small{100, saved.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    Trigger("WriteCSVFile");
    setrlimit(RLIMIT_FSIZE, &saved);
    QVERIFY(Text("Text4").startsWith(Path("pass.csv: ")) && Text("Text4").contains("too large"));
    QCOMPARE(ReadAll(Path("pass.csv")), QByteArray("earlier\r\n"));
    QVERIFY(save_proposals_.isEmpty());
  }

  // The line protocol names conf.ini's station, and the status line counts the records it left
  // out: here three without a receive time, before the first timestamp part.
  void lineProtocolNamesTheStationAndCountsWhatItLeftOut() {
    CaptureWriter writer;
    for (int n = 0; n < 3; ++n) writer.AddFrame(kBeaconMarker, EncodeBeaconBody({}));
    AddSyntheticFrame(writer, 0);
    WriteAll(Path("late.kss"), QByteArray::fromStdString(writer.bytes()));
    MakeWindow({}, "STATION = GS-1\n");
    Open({Path("late.kss")});
    w_->SetFormatChooser([](QWidget*) { return AnalysisFormat::kInflux; });
    Trigger("ExportForAnalysis");
    QCOMPARE(Text("Text4"), Path("late.lp") + kHasBeenWritten +
                                QStringLiteral("; 3 records left out: 3 without a receive time"));
    QVERIFY(ReadAll(Path("late.lp")).startsWith("talphex_beacon,source=late.kss,station=GS-1 "));
    QCOMPARE(ReadAll(Path("late.lp")).count('\n'), 1);
  }

  // Regression: with a SatNOGS export "pass.csv" and the capture "pass.kss" open, "Write CSV
  // File" replaced the export it had read.
  void exportsNeverReplaceALoadedCapture() {
    MakeWindow();
    const QByteArray satnogs =
        QByteArray::fromStdString(SatnogsExportOf(ReadAll(Path("pass.kss")).toStdString()));
    WriteAll(Path("pass.csv"), satnogs);
    Open({Path("pass.csv"), Path("pass.kss")});
    QCOMPARE(w_->state().BeaconCount, 172);
    Trigger("WriteCSVFile");
    QCOMPARE(Text("Text4"), Path("pass.csv") + " would replace the capture " + Path("pass.csv"));
    QCOMPARE(ReadAll(Path("pass.csv")), satnogs);
  }

  // Regression: "Save Chart as PNG..." on the installed sample proposed its read-only folder.
  void chartPictureFromAReadOnlyFolderIsProposedInDocuments() {
    QFile capture(Path("pass.kss"));
    QVERIFY(capture.open(QIODevice::ReadOnly));
    const TestHome home(Path("home"));
    QVERIFY(QDir().mkpath(Path("home/Documents")));
    const std::pair<QString, QString> kCases[] = {
        {"/proc/self/fd/" + QString::number(capture.handle()), Path("home/Documents")},
        {Path("pass.kss"), dir_.path()}};
    for (const auto& [opened, folder] : kCases) {
      MakeWindow();
      Open({opened});
      QCOMPARE(QFileInfo(Chart()->save_name()).path(), folder);
      QVERIFY2(Chart()->save_name().endsWith("-Temp X+ Panel.png"),
               qPrintable(Chart()->save_name()));
    }
  }

  void exportsFromAReadOnlyFolderGoWhereTheSaveDialogSays() {
    // The capture opened as /proc/self/fd/N: a folder that refuses new files even to root, who
    // may write any folder whatever its permission bits.
    QFile capture(Path("pass.kss"));
    QVERIFY(capture.open(QIODevice::ReadOnly));
    const QString name = QString::number(capture.handle());
    MakeWindow();
    Open({"/proc/self/fd/" + name});
    QCOMPARE(w_->state().StoredCount(Kind::kBeacon), std::size_t{86});
    const TestHome home(Path("home"));
    const QString documents = Path("home/Documents/");
    QVERIFY(QDir().mkpath(documents));
    const DecoderState& state = w_->state();
    const char separator = w_->decimal_separator();
    using Writer = std::function<void(std::FILE*)>;
    const std::tuple<const char*, QString, Writer> exports[] = {
        {"WriteCSVFile", name + ".csv", [&](auto out) { WriteBeaconCsv(out, state, separator); }},
        {"WritePayloadCSVFile", name + "-payload.csv",
         [&](auto out) { WritePayloadCsv(out, state, separator); }},
        {"WriteTLMFile", name + ".tlm", [&](auto out) { WriteReport(out, w_->shown_view()); }}};
    for (const auto& [action, file, write] : exports) {
      // The user saves under another name; a cancelled dialog writes nothing.
      save_answer_ = Path("saved-" + file);
      Trigger(action);
      QCOMPARE(save_proposals_.takeFirst(), documents + file);
      QCOMPARE(Text("Text4"), Path("saved-" + file) + kHasBeenWritten);
      QVERIFY(WriteFileAtomically(Path("expected").toStdString(), write).ok());
      QCOMPARE(ReadAll(Path("saved-" + file)), ReadAll(Path("expected")));
      save_answer_.reset();
      Trigger(action);
      QCOMPARE(save_proposals_.takeFirst(), documents + file);
      QCOMPARE(Text("Text4"), "/proc/self/fd/" + file + " not written: its folder is read-only");
    }
    QVERIFY(save_proposals_.isEmpty() && !QFile::exists(documents + name + ".csv"));
    // Without a documents folder the home folder is proposed.
    QVERIFY(QDir(documents).removeRecursively());
    Trigger("WriteCSVFile");
    QCOMPARE(save_proposals_.takeFirst(), Path("home/") + name + ".csv");
  }

  void screenshotFolderOfAnInstalledProgram() {
    // The program's folder when it takes new files; else, as for a program in /usr/bin, the
    // pictures folder, or the home folder when there is none.
    const TestHome home(Path("home"));
    QVERIFY(QDir().mkpath(Path("home/Pictures")));
    QCOMPARE(DefaultImagePath(Path("home")), Path("home/"));
    QCOMPARE(DefaultImagePath("/proc/self/fd"), Path("home/Pictures/"));
    QVERIFY(QDir(Path("home/Pictures")).removeRecursively());
    QCOMPARE(DefaultImagePath("/proc/self/fd"), Path("home/"));
  }

  void screenshotIsAPalettePngWithoutSAndBAndTheWindowGrows() {
    QVERIFY(QDir(dir_.path()).mkpath("shots"));
    MakeSampleWindow("IMAGE_PATH=" + QFile::encodeName(Path("shots/")));
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    QWidget* client = w_->centralWidget();
    const QImage with_controls = GrabClientArea(client);
    w_->Command1_Click();
    QCOMPARE(Text("Text4"), Path("shots/pass.png") + " converted and saved");
    QCOMPARE(QDir(Path("shots")).entryList(QDir::Files), QStringList{"pass.png"});
    QVERIFY(ControlsShown());
    const QImage png(Path("shots/pass.png"), "PNG");
    QVERIFY(png.format() == QImage::Format_Indexed8 && png.size() == with_controls.size());
    auto area = [&](const char* name) {
      return Get(name)->geometry().translated(Get(name)->parentWidget()->mapTo(client, QPoint()));
    };
    QCOMPARE(png.pixel(area("Text1(17)").topRight() + QPoint(-4, 3)), kYellow.rgb());
    // Regression: the tab pages were (252, 252, 252), so the screenshot left them opaque.
    QCOMPARE(qAlpha(png.pixel(area("PageTALPHEX").bottomRight() - QPoint(8, 8))), 0);
    // Only background, transparent, where "S" stood; where "B" stood, not the picture with "B".
    QImage transparent(area("Command1").size(), QImage::Format_Alpha8);
    transparent.fill(0);
    QCOMPARE(png.copy(area("Command1")).convertToFormat(QImage::Format_Alpha8), transparent);
    QVERIFY(png.convertToFormat(QImage::Format_RGB32).copy(area("Check1")) !=
            with_controls.copy(area("Check1")));

    // The window's default size; growing, the chart frame takes the extra room.
    QVERIFY(client->width() >= 717 && client->height() >= 638);
    const int frame_height = Get("Frame1")->height();
    const int tabs_height = Get("SSTab1")->height();
    w_->resize(w_->width() + 100, w_->height() + 200);
    QTRY_COMPARE(Get("Frame1")->height(), frame_height + 200);
    QCOMPARE(Get("SSTab1")->height(), tabs_height);
    // Regression: shrunk to 500 pixels, the chart was squashed until its labels were cut.
    w_->resize(w_->width(), 500);
    QTRY_VERIFY(w_->height() > 500 && Chart()->chart()->plotArea().height() >= 120);
    // Menu command tips show below the status box, never over it.
    const QRect status_box(Get("Text4")->mapTo(w_.get(), QPoint()), Get("Text4")->size());
    QVERIFY(!status_box.intersects(w_->statusBar()->geometry()));
  }

  // Regression: with IMAGE_PATH empty the status named the picture without its folder.
  void screenshotInTheWorkingFolderNamesTheAbsolutePath() {
    QVERIFY(QDir(dir_.path()).mkpath("work"));
    const QString saved_folder = QDir::currentPath();
    QDir::setCurrent(Path("work"));
    MakeSampleWindow("IMAGE_PATH=\r\n");
    w_->Command1_Click();
    QDir::setCurrent(saved_folder);
    QCOMPARE(Text("Text4"), Path("work/pass.png") + " converted and saved");
  }

  // Regression: the scroll bar's thumb, white on light grey, could hardly be told from its
  // groove.
  void scrollBarThumbStandsOut() {
    MakeSampleWindow();
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    Scroll()->setValue(43);
    const QImage bar = Scroll()->grab().toImage();
    QStyleOptionSlider option;
    option.initFrom(Scroll());
    option.orientation = Qt::Horizontal;
    option.minimum = Scroll()->minimum();
    option.maximum = Scroll()->maximum();
    option.sliderPosition = option.sliderValue = Scroll()->value();
    option.pageStep = Scroll()->pageStep();
    const QRect thumb = Scroll()->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                          QStyle::SC_ScrollBarSlider);
    const QRect groove = Scroll()->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                           QStyle::SC_ScrollBarGroove);
    const QPoint in_groove(
        thumb.left() > groove.left() + 6 ? groove.left() + 3 : groove.right() - 3,
        groove.center().y());
    const int thumb_grey = qGray(bar.pixel(thumb.center()));
    const int groove_grey = qGray(bar.pixel(in_groove));
    QVERIFY2(std::abs(thumb_grey - groove_grey) >= 40,
             qPrintable(QString("thumb %1, groove %2").arg(thumb_grey).arg(groove_grey)));
  }

  // Regression: Tab stopped on one field selector only and the start focus was on the tab bar.
  // Every selector is reached in field order; Space chooses; the arrow keys step records.
  void keyboardReachesEveryFieldSelector() {
    MakeSampleWindow();
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    w_->activateWindow();
    QTRY_COMPARE(QApplication::focusWidget(), Get("Option1(17)"));
    for (const auto& [page, first, last] : {std::tuple(0, 0, 33), std::tuple(1, 34, 44)}) {
      Get<QTabWidget>("SSTab1")->setCurrentIndex(page);
      Get(Name("Option1", first))->setFocus();
      for (int field = first + 1; field <= last; ++field) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), Name("Option1", field));
      }
      for (int field = last - 1; field >= first; --field) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), Name("Option1", field));
      }
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
      QCOMPARE(w_->selected_field(), first);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
      QCOMPARE(Scroll()->value(), 2);
      Scroll()->setValue(1);
    }
  }

  // Regression: the start focus was not drawn until Tab was first pressed, and the scroll bar drew
  // no focus at all. Each Tab stop looks different with the focus than without it.
  void focusIsDrawn_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("field selector") << "Option1(3)";
    QTest::newRow("scroll bar") << "HScroll1";
  }
  void focusIsDrawn() {
    QFETCH(QString, name);
    MakeSampleWindow();
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    w_->activateWindow();
    QTRY_COMPARE(QApplication::focusWidget(), Get("Option1(17)"));
    QVERIFY(w_->testAttribute(Qt::WA_KeyboardFocusChange));
    QWidget* stop = Get(name);
    const QImage without = stop->grab().toImage();
    stop->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), stop);
    QVERIFY2(stop->grab().toImage() != without, qPrintable(name));
  }

  // Regression: long status texts were cut mid-word with no sign of it. The box ends them in "…"
  // after a whole word; the tooltip has them whole.
  void longStatusIsElidedAtAWord() {
    MakeSampleWindow();
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    const QString long_text =
        "recording to /home/station/Documents/talphex/recordings/2026/december "
        "and a good many more words than the status box can ever show at this width";
    w_->findChild<ElidedBox*>("Text4")->SetFullText(long_text);
    auto* box = Get<QLineEdit>("Text4");
    const QString shown = box->text();
    QVERIFY2(shown.endsWith(QChar(0x2026)) && shown.size() < long_text.size(), qPrintable(shown));
    const QString kept = shown.chopped(1);
    QVERIFY2(long_text.startsWith(kept) && long_text.at(kept.size()) == ' ', qPrintable(shown));
    QVERIFY(box->fontMetrics().horizontalAdvance(shown) <= box->width());
    QCOMPARE(box->toolTip(), long_text);
    QCOMPARE(Text("Text4"), long_text);
    // Wide enough again, the text is whole.
    w_->resize(4000, w_->height());
    QTRY_COMPARE(box->text(), long_text);
  }

  // Regression: a conf.ini in the program's folder hid the user's; both are read, the program's
  // first, and a byte-order mark does not void a first line. Regression: a conf.ini that is a FIFO
  // hung start-up; it is passed over.
  void confIniFromBothFolders() {
    WriteAll(Path("program.ini"), "IMAGE_PATH=/srv/program/\r\nSCREENSHOT=YES\r\n");
    WriteAll(Path("user.ini"), "\xEF\xBB\xBFSCREENSHOT=NO\r\n");
    QCOMPARE(::mkfifo(QFile::encodeName(Path("fifo.ini")).constData(), 0644), 0);
    MainWindow window({Path("program.ini"), Path("fifo.ini"), Path("user.ini")});
    QVERIFY(window.image_path() == "/srv/program/" &&
            window.findChild<QWidget*>("Command1")->isHidden());
  }

  void screenshotFailures() {
    // A missing folder; a folder where the PNG should go, which keeps the bitmap.
    QVERIFY(QDir(dir_.path()).mkpath("blocked/pass.png"));
    for (const auto& [folder, status] : {std::pair("nowhere/", "nowhere is not a writable folder"),
                                         std::pair("blocked/", "blocked/pass.bmp saved")}) {
      MakeSampleWindow("IMAGE_PATH=" + QFile::encodeName(Path(folder)));
      w_->Command1_Click();
      QVERIFY2(Text("Text4").endsWith(Path(status)), qPrintable(Text("Text4")));
      QVERIFY(ControlsShown() && !QFile::exists(Path("nowhere")));
    }
    QVERIFY(QFile::exists(Path("blocked/pass.bmp")) && messages_.size() == 1);
    QVERIFY(messages_.takeFirst().startsWith("Error: PNG conversion failed: " + Path("blocked/")));
  }

  // Regression: closing the main window with Info open ended the program at once; it ends when
  // the last of the two is closed. The program's event loop runs, as only it quits. Last of the
  // slots, since it ends that loop.
  void programEndsWithTheLastWindow() {
    MakeWindow();
    w_->show();
    Trigger("MnuInfo");
    QVERIFY(QTest::qWaitForWindowExposed(w_->info_window()));
    bool running_after_main_closed = false;
    QTimer::singleShot(0, w_.get(), [this, &running_after_main_closed] {
      w_->close();
      QTimer::singleShot(100, w_->info_window(), [this, &running_after_main_closed] {
        running_after_main_closed = true;
        w_->info_window()->close();
      });
    });
    QTimer::singleShot(10000, qApp, &QCoreApplication::quit);  // a safety net only
    QElapsedTimer ran;
    ran.start();
    QApplication::exec();
    QVERIFY(running_after_main_closed && ran.elapsed() < 5000);
  }
};

}  // namespace talphex

QTEST_MAIN(talphex::MainWindowTest)

#include "main_window_test.moc"
