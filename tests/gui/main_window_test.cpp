// The main window driven as a user drives it: through its handlers, menu actions and widgets.
#include "ui/main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <cstdio>
#include <memory>

#include "capture/capture_loader.h"
#include "capture/capture_writer.h"
#include "chart/chart_widget.h"
#include "ui/info_window.h"

namespace talphex {
namespace {

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kGrey(224, 224, 224);
const QColor kYellow(255, 255, 192);
const QColor kWhite(255, 255, 255);

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A capture of `beacons` beacon frames numbered from `first_number`, with a timestamp before
// each, and `payloads` payload frames whose first status word is the frame's index.
QByteArray MakeCapture(int beacons, int first_number, int payloads) {
  CaptureWriter writer;
  for (int i = 0; i < beacons; ++i) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2025-03-04 %02d:%02d:%02d", 10 + i / 3600, i / 60 % 60,
                  i % 60);
    writer.AddTimestamp(stamp);
    BeaconRaw raw;
    raw.message_number = static_cast<std::uint16_t>(first_number + i);
    raw.mode = 3;
    writer.AddFrame(kBeaconMarker, EncodeBeaconBody(raw));
  }
  for (int i = 0; i < payloads; ++i) {
    PayloadRaw raw;
    raw.status[0] = static_cast<std::uint16_t>(i);
    writer.AddFrame(kPayloadMarker, EncodePayloadBody(raw));
  }
  return QByteArray::fromStdString(writer.bytes());
}

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;

  QString WriteFile(const QString& name, const QByteArray& bytes) {
    const QString path = dir_->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
    return path;
  }

  // A window without conf.ini whose open dialog answers with `answers`, one per open command.
  std::unique_ptr<MainWindow> MakeWindow(QList<std::optional<QStringList>> answers = {}) {
    auto window = std::make_unique<MainWindow>(QStringList{dir_->filePath("absent.ini")});
    window->SetFileChooser([answers, next = 0](QWidget*) mutable -> std::optional<QStringList> {
      if (next >= answers.size()) return std::nullopt;
      return answers[next++];
    });
    window->SetMessageSink([](const QString& title, const QString& text) {
      QFAIL(qPrintable("unexpected message box " + title + ": " + text));
    });
    return window;
  }

  template <typename T>
  static T* Find(const MainWindow& window, const QString& name) {
    T* widget = window.findChild<T*>(name);
    if (widget == nullptr) qFatal("no widget %s", qPrintable(name));
    return widget;
  }
  static QString Value(const MainWindow& window, int field) {
    return Find<QLineEdit>(window, QStringLiteral("Text1(%1)").arg(field))->text();
  }
  static QColor LampColour(const MainWindow& window, int lamp) {
    return Find<QFrame>(window, QStringLiteral("Shape1(%1)").arg(lamp))
        ->palette()
        .color(QPalette::Window);
  }
  static QString Text(const MainWindow& window, const char* name) {
    const QString object_name = QLatin1String(name);
    if (auto* box = window.findChild<QLineEdit*>(object_name)) return box->text();
    return Find<QLabel>(window, object_name)->text();
  }
  // Numbers as the window writes them, in the user's decimal separator.
  static QString Number(const MainWindow& window, const char* text) {
    return QString::fromLatin1(text).replace(QLatin1Char('.'),
                                             QLatin1Char(window.decimal_separator()));
  }
  // Every value box and line as the core's view of that record gives them.
  static void CheckShowsRecord(const MainWindow& window, int record_number) {
    const RecordView view =
        BuildRecordView(window.state(), record_number, KindOfField(window.selected_field()),
                        window.decimal_separator());
    for (int field = 0; field < kFieldCount; ++field) {
      QCOMPARE(Value(window, field), Latin1(view.values[static_cast<std::size_t>(field)]));
    }
    QCOMPARE(Text(window, "Label3"), Latin1(view.time_span));
    QCOMPARE(Text(window, "Label4"), Latin1(view.posix_time));
    QCOMPARE(Text(window, "Label10"), Latin1(view.rx_timestamp));
    QCOMPARE(Text(window, "Text3"), Latin1(view.beacon_frame));
    QCOMPARE(Text(window, "Text6"), Latin1(view.payload_frame));
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
  }

  void captionsAndUnitsAfterStartUp() {
    const auto window = MakeWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("TALPHEX Telemetry Decoder"));
    for (int field = 0; field < kFieldCount; ++field) {
      const QString selector =
          Find<QAbstractButton>(*window, QStringLiteral("Option1(%1)").arg(field))->text();
      QCOMPARE(selector, Latin1(Field(field).caption));
      QCOMPARE(Find<QLabel>(*window, QStringLiteral("Label2(%1)").arg(field))->text(),
               Latin1(Field(field).unit));
      QVERIFY(Value(*window, field).isEmpty());
      QVERIFY(Find<QLineEdit>(*window, QStringLiteral("Text1(%1)").arg(field))->isReadOnly());
    }
    QCOMPARE(Find<QLabel>(*window, "Label2(28)")->text(), QString::fromUtf8("µA"));
    QVERIFY(Find<QLabel>(*window, "Label2(0)")->text().isEmpty());
    QVERIFY(Find<QLabel>(*window, "Label2(2)")->text().isEmpty());
    for (int lamp = 0; lamp < kLampCount; ++lamp) {
      QCOMPARE(Find<QLabel>(*window, QStringLiteral("Label5(%1)").arg(lamp))->text(),
               Latin1(Lamp(lamp).caption));
      QCOMPARE(LampColour(*window, lamp), kGrey);
    }
    QVERIFY(Find<QLabel>(*window, "Label5(30)")->text().isEmpty());
    QCOMPARE(Find<QLabel>(*window, "Label5(16)")->text(), QStringLiteral("CH NUMBER"));
    QVERIFY(!Find<QScrollBar>(*window, "HScroll1")->isEnabled());
    QVERIFY(!Find<QAbstractButton>(*window, "Check1")->isHidden());
    QVERIFY(!Find<QAbstractButton>(*window, "Command1")->isHidden());
    QCOMPARE(window->image_path(), QCoreApplication::applicationDirPath() + "/");
    auto* tabs = Find<QTabWidget>(*window, "SSTab1");
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), QStringLiteral("TALPHEX"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("VAVE"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("debug"));
    QCOMPARE(tabs->currentIndex(), 0);
    // The frame texts stand on the debug page, below the frame log.
    QWidget* debug_page = tabs->widget(2);
    QVERIFY(debug_page->isAncestorOf(Find<QWidget>(*window, "Text5")));
    QVERIFY(debug_page->isAncestorOf(Find<QWidget>(*window, "Text3")));
    QVERIFY(debug_page->isAncestorOf(Find<QWidget>(*window, "Text6")));
    QVERIFY(tabs->widget(0)->isAncestorOf(Find<QWidget>(*window, "Option1(33)")));
    QVERIFY(tabs->widget(1)->isAncestorOf(Find<QWidget>(*window, "Option1(34)")));
    QVERIFY(tabs->widget(1)->isAncestorOf(Find<QWidget>(*window, "Shape1(47)")));
  }

  void confIni_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("button_visible");
    QTest::addColumn<QString>("image_path");
    const QString program_folder = QCoreApplication::applicationDirPath() + "/";
    QTest::newRow("yes in lower case")
        << QByteArray("SCREENSHOT = yes\r\n") << true << program_folder;
    QTest::newRow("NO") << QByteArray("SCREENSHOT=NO\r\n") << false << program_folder;
    QTest::newRow("Y") << QByteArray("SCREENSHOT=Y\r\n") << false << program_folder;
    QTest::newRow("empty value") << QByteArray("SCREENSHOT=\r\n") << false << program_folder;
    QTest::newRow("no key") << QByteArray("COLOUR=RED\r\n") << true << program_folder;
    QTest::newRow("comment") << QByteArray("#SCREENSHOT=NO\r\n") << true << program_folder;
    QTest::newRow("blank before #") << QByteArray(" #SCREENSHOT=NO\r\n") << true << program_folder;
    QTest::newRow("last wins") << QByteArray("SCREENSHOT=NO\r\nSCREENSHOT=YES\r\n") << true
                               << program_folder;
    QTest::newRow("image path keeps case")
        << QByteArray("image_path = /srv/Ham/Shots/\nSCREENSHOT=no") << false
        << QStringLiteral("/srv/Ham/Shots/");
  }

  void confIni() {
    QFETCH(QByteArray, text);
    QFETCH(bool, button_visible);
    QFETCH(QString, image_path);
    // The first file found wins: the program's folder comes before the user's folder.
    const QString first = WriteFile("first.ini", text);
    const QString second = WriteFile("second.ini", "SCREENSHOT=NO\r\nIMAGE_PATH=/elsewhere/\r\n");
    MainWindow window(QStringList{dir_->filePath("missing.ini"), first, second});
    QCOMPARE(!Find<QAbstractButton>(window, "Command1")->isHidden(), button_visible);
    QCOMPARE(window.image_path(), image_path);
  }

  void openSampleShowsRecordOne() {
    const auto window = MakeWindow({QStringList{TALPHEX_SAMPLE_CAPTURE}});
    window->findChild<QAction*>("MenuFileOpen")->trigger();
    QCOMPARE(window->state().BeaconCount, 86);
    QCOMPARE(window->state().PayloadCount, 26);
    QCOMPARE(window->selected_field(), 17);
    QVERIFY(Find<QAbstractButton>(*window, "Option1(17)")->isChecked());
    QCOMPARE(Text(*window, "Text2"), QStringLiteral("#1 / 86"));
    QCOMPARE(Text(*window, "Text4"), QStringLiteral(TALPHEX_SAMPLE_CAPTURE));
    // Known values of the sample's first records.
    QCOMPARE(Value(*window, 0), QStringLiteral("4120"));
    QCOMPARE(Value(*window, 2), QStringLiteral("Deployment"));
    QCOMPARE(Value(*window, 17), Number(*window, "14.31"));
    QCOMPARE(Value(*window, 36), Number(*window, "7.95"));
    QCOMPARE(Text(*window, "Label3"),
             QStringLiteral("time span: 2026-11-14 09:41:03 -> 2026-11-14 09:50:58"));
    QCOMPARE(Text(*window, "Label10"), QStringLiteral("RX Timestamp: 2026-11-14 09:41:03"));
    QVERIFY(Text(*window, "Text3").startsWith("TALPHEX"));
    QVERIFY(Text(*window, "Text6").startsWith("VAVE"));
    CheckShowsRecord(*window, 1);
    // Lamps: bit set green, clear red, from the first payload record's status bytes.
    const TelemetryRecord& payload = window->state().PayloadStore[0];
    for (int lamp = 0; lamp < kLampCount; ++lamp) {
      const LampInfo info = Lamp(lamp);
      const auto byte = static_cast<int>(payload.Value[static_cast<std::size_t>(info.slot)]);
      QCOMPARE(LampColour(*window, lamp), (byte & info.mask) != 0 ? kGreen : kRed);
    }
    QCOMPARE(LampColour(*window, 32), kGreen);
    QCOMPARE(LampColour(*window, 0), kRed);
    // The chosen field is highlighted and charted.
    QCOMPARE(Find<QGroupBox>(*window, "Frame1")->title(), QStringLiteral("Temp X+ Panel (C)"));
    QCOMPARE(Find<QLineEdit>(*window, "Text1(17)")->palette().color(QPalette::Base), kYellow);
    QCOMPARE(Find<QLineEdit>(*window, "Text1(16)")->palette().color(QPalette::Base), kWhite);
    const ChartContent& chart = Find<ChartWidget>(*window, "MSChart1")->content();
    QCOMPARE(chart.row_labels.size(), std::size_t{86});
    QCOMPARE(chart.series.size(), std::size_t{1});
    QCOMPARE(chart.series[0].field, 17);
    auto* scroll = Find<QScrollBar>(*window, "HScroll1");
    QVERIFY(scroll->isEnabled());
    QCOMPARE(scroll->minimum(), 1);
    QCOMPARE(scroll->maximum(), 86);
    // Every frame went to the frame log.
    QCOMPARE(Find<QPlainTextEdit>(*window, "Text5")->blockCount(), 86 + 26);
  }

  void cancelReloadsThePreviousFiles() {
    const auto window = MakeWindow({QStringList{TALPHEX_SAMPLE_CAPTURE}, std::nullopt});
    window->MenuFileOpen_Click();
    Find<QScrollBar>(*window, "HScroll1")->setValue(40);
    window->MenuFileOpen_Click();
    QCOMPARE(window->state().BeaconCount, 86);
    QCOMPARE(window->state().PayloadCount, 26);
    QCOMPARE(Text(*window, "Text2"), QStringLiteral("#40 / 86"));
    CheckShowsRecord(*window, 40);
  }

  void cancelRightAfterStartLoadsNothing() {
    const auto window = MakeWindow({std::nullopt});
    window->MenuFileOpen_Click();
    QCOMPARE(window->state().BeaconCount, 0);
    QCOMPARE(window->state().PayloadCount, 0);
    for (int field = 0; field < kFieldCount; ++field) QVERIFY(Value(*window, field).isEmpty());
    QVERIFY(!Find<QScrollBar>(*window, "HScroll1")->isEnabled());
  }

  void draggingTheScrollBarMovesTheView() {
    const auto window = MakeWindow({QStringList{TALPHEX_SAMPLE_CAPTURE}});
    window->MenuFileOpen_Click();
    auto* scroll = Find<QScrollBar>(*window, "HScroll1");
    auto* chart = Find<ChartWidget>(*window, "MSChart1");
    QSignalSpy released(scroll, &QScrollBar::valueChanged);
    // While the thumb is dragged the view follows every position.
    scroll->setSliderDown(true);
    for (int position : {5, 6, 86}) {
      scroll->setSliderPosition(position);
      QCOMPARE(Text(*window, "Text2"), QStringLiteral("#%1 / 86").arg(position));
      CheckShowsRecord(*window, position);
      QCOMPARE(chart->marked_record(), position);
    }
    QCOMPARE(released.count(), 0);
    scroll->setSliderDown(false);
    QCOMPARE(released.count(), 1);
    QCOMPARE(scroll->value(), 86);
    CheckShowsRecord(*window, 86);
    // Arrow clicks and keys change the value.
    scroll->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(Text(*window, "Text2"), QStringLiteral("#85 / 86"));
    CheckShowsRecord(*window, 85);
    // Clicking a record in the chart moves the scroll bar there.
    emit chart->recordClicked(12);
    QCOMPARE(scroll->value(), 12);
    QCOMPARE(chart->marked_record(), 12);
    QCOMPARE(Text(*window, "Text2"), QStringLiteral("#12 / 86"));
  }

  void severalFilesInOneOpenCommand() {
    const QString second = WriteFile("second.kss", MakeCapture(4, 500, 0));
    const auto window = MakeWindow({QStringList{TALPHEX_SAMPLE_CAPTURE, second}});
    window->MenuFileOpen_Click();
    QCOMPARE(window->state().BeaconCount, 90);
    QCOMPARE(window->state().PayloadCount, 26);
    QCOMPARE(window->state().InputFilePath, second.toStdString());
    QCOMPARE(Text(*window, "Text4"), second);
    Find<QScrollBar>(*window, "HScroll1")->setValue(88);
    QCOMPARE(Text(*window, "Text2"), QStringLiteral("#88 / 90"));
    QCOMPARE(Value(*window, 0), QStringLiteral("501"));
  }

  void unreadableFileAmongReadableOnes() {
    const QString missing = dir_->filePath("missing.kss");
    const QString second = WriteFile("second.kss", MakeCapture(2, 700, 0));
    const auto window = MakeWindow({QStringList{TALPHEX_SAMPLE_CAPTURE, missing, second}});
    window->MenuFileOpen_Click();
    QCOMPARE(window->state().BeaconCount, 88);
    const QString status = Text(*window, "Text4");
    QVERIFY2(status.contains(missing), qPrintable(status));
    QVERIFY2(status.contains("No such file"), qPrintable(status));
  }

  void framesThatCannotBeDecodedAreReported() {
    CaptureWriter writer;
    writer.AddTimestamp("2025-03-04 10:00:00");
    writer.AddRawFrame(kBeaconMarker, "not~ascii85~at~all{");
    // A "%2" in the name must survive the message.
    const QString path = WriteFile("bad%2.kss", QByteArray::fromStdString(writer.bytes()));
    const auto window = MakeWindow({QStringList{path}});
    window->MenuFileOpen_Click();
    QCOMPARE(window->state().BeaconCount, 0);
    const QString status = Text(*window, "Text4");
    QVERIFY2(status.contains(path) && status.contains(": 1 frame could not be decoded"),
             qPrintable(status));
  }

  void shorterFileAfterALongerOneLeavesNothingStale() {
    const QString short_file = WriteFile("short.kss", MakeCapture(3, 100, 0));
    const auto window = MakeWindow({QStringList{TALPHEX_SAMPLE_CAPTURE}, QStringList{short_file}});
    window->MenuFileOpen_Click();
    Find<QScrollBar>(*window, "HScroll1")->setValue(50);
    window->MenuFileOpen_Click();
    QCOMPARE(Find<QScrollBar>(*window, "HScroll1")->maximum(), 3);
    QCOMPARE(Text(*window, "Text2"), QStringLiteral("#3 / 3"));
    QCOMPARE(Value(*window, 0), QStringLiteral("102"));
    QCOMPARE(Value(*window, 2), QStringLiteral("Activity"));
    QCOMPARE(Text(*window, "Label10"), QStringLiteral("RX Timestamp: 2025-03-04 10:00:02"));
    // No payload record any more: empty boxes and grey lamps, nothing left from the sample.
    for (int field = kFirstPayloadSlot; field < kFieldCount; ++field) {
      QVERIFY(Value(*window, field).isEmpty());
    }
    for (int lamp = 0; lamp < kLampCount; ++lamp) QCOMPARE(LampColour(*window, lamp), kGrey);
    QVERIFY(Text(*window, "Text6").isEmpty());
    // The payload kind without records disables the scroll bar.
    window->Option1_Click(36);
    QVERIFY(!Find<QScrollBar>(*window, "HScroll1")->isEnabled());
    QCOMPARE(Text(*window, "Text2"), QStringLiteral("#1 / 0"));
    QVERIFY(Text(*window, "Label3").isEmpty());
  }

  void framesBeyondTheStoreAreReported() {
    const QString path = WriteFile("long.kss", MakeCapture(1003, 1, 0));
    const auto window = MakeWindow({QStringList{path}});
    window->MenuFileOpen_Click();
    QCOMPARE(window->state().BeaconCount, 1003);
    QCOMPARE(Find<QScrollBar>(*window, "HScroll1")->maximum(), 1000);
    const QString status = Text(*window, "Text4");
    QVERIFY2(status.contains("3 beacon frames") && status.contains("not kept"), qPrintable(status));
    QCOMPARE(Text(*window, "Text2"), QStringLiteral("#1 / 1003"));
  }

  void choosingAPayloadFieldNavigatesPayloadRecords() {
    const auto window = MakeWindow({QStringList{TALPHEX_SAMPLE_CAPTURE}});
    window->MenuFileOpen_Click();
    Find<QScrollBar>(*window, "HScroll1")->setValue(60);
    QTest::mouseClick(Find<QAbstractButton>(*window, "Option1(36)"), Qt::LeftButton);
    QCOMPARE(window->selected_field(), 36);
    QCOMPARE(Find<QScrollBar>(*window, "HScroll1")->maximum(), 26);
    QCOMPARE(Text(*window, "Text2"), QStringLiteral("#26 / 26"));
    QCOMPARE(Text(*window, "Label3"),
             QStringLiteral("time span: 2026-11-14 09:41:11 -> 2026-11-14 09:50:46"));
    QCOMPARE(Find<QGroupBox>(*window, "Frame1")->title(), QStringLiteral("Battery Voltage (V)"));
    QCOMPARE(Find<QLineEdit>(*window, "Text1(36)")->palette().color(QPalette::Base), kYellow);
    QCOMPARE(Find<QLineEdit>(*window, "Text1(17)")->palette().color(QPalette::Base), kWhite);
    QVERIFY(!Find<QAbstractButton>(*window, "Option1(17)")->isChecked());
    CheckShowsRecord(*window, 26);
    QCOMPARE(Find<ChartWidget>(*window, "MSChart1")->content().row_labels.size(), std::size_t{26});
  }

  void groupedChartOnShiftOrRightClick() {
    const auto window = MakeWindow({QStringList{TALPHEX_SAMPLE_CAPTURE}});
    window->MenuFileOpen_Click();
    auto* chart = Find<ChartWidget>(*window, "MSChart1");
    auto fields = [&] {
      QList<int> result;
      for (const ChartSeries& series : chart->content().series) result << series.field;
      return result;
    };
    QTest::mouseClick(Find<QAbstractButton>(*window, "Option1(20)"), Qt::LeftButton,
                      Qt::ShiftModifier);
    QCOMPARE(fields(), (QList<int>{19, 20, 18}));
    QCOMPARE(window->selected_field(), 20);
    QTest::mouseClick(Find<QAbstractButton>(*window, "Option1(6)"), Qt::RightButton);
    QCOMPARE(fields(), (QList<int>{5, 6, 8}));
    QCOMPARE(window->selected_field(), 6);
    QVERIFY(Find<QAbstractButton>(*window, "Option1(6)")->isChecked());
    // A field without group leaves the chart, while everything else follows the choice.
    QTest::mouseClick(Find<QAbstractButton>(*window, "Option1(10)"), Qt::LeftButton,
                      Qt::ShiftModifier);
    QCOMPARE(fields(), (QList<int>{5, 6, 8}));
    QCOMPARE(window->selected_field(), 10);
    QCOMPARE(chart->marked_record(), 1);
    // The beacon chart left standing has no record to mark while payload records are on view.
    QTest::mouseClick(Find<QAbstractButton>(*window, "Option1(40)"), Qt::RightButton);
    QCOMPARE(fields(), (QList<int>{5, 6, 8}));
    QCOMPARE(chart->marked_record(), 0);
    QTest::mouseClick(Find<QAbstractButton>(*window, "Option1(10)"), Qt::LeftButton,
                      Qt::ShiftModifier);
    QCOMPARE(Find<QGroupBox>(*window, "Frame1")->title(), QStringLiteral("StenSat Temp (C)"));
    QCOMPARE(Find<QLineEdit>(*window, "Text1(10)")->palette().color(QPalette::Base), kYellow);
    // "B" draws the single chart of the chosen field, as bars.
    Find<QCheckBox>(*window, "Check1")->click();
    QCOMPARE(fields(), (QList<int>{10}));
    QCOMPARE(chart->content().type, ChartType::kBars);
    QCOMPARE(Find<QGroupBox>(*window, "Frame1")->title(), QStringLiteral("StenSat Temp (C)"));
    Find<QCheckBox>(*window, "Check1")->click();
    QCOMPARE(chart->content().type, ChartType::kLines);
    // A plain click draws the single chart again.
    QTest::mouseClick(Find<QAbstractButton>(*window, "Option1(31)"), Qt::LeftButton);
    QCOMPARE(fields(), (QList<int>{31}));
  }

  void checkBeforeAnyChoiceChartsFieldZero() {
    const auto window = MakeWindow();
    Find<QCheckBox>(*window, "Check1")->click();
    const ChartContent& chart = Find<ChartWidget>(*window, "MSChart1")->content();
    // No beacon record yet: an empty chart, drawn as bars.
    QCOMPARE(chart.type, ChartType::kBars);
    QCOMPARE(chart.kind, Kind::kBeacon);
    QVERIFY(chart.series.empty());
    QVERIFY(chart.row_labels.empty());
  }

  void droppedCaptureFilesAreOpened() {
    const QString second = WriteFile("dropped.kss", MakeCapture(5, 1, 0));
    const auto window = MakeWindow();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(second), QUrl::fromLocalFile(dir_->filePath("notes.txt"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &drop);
    QCOMPARE(window->state().BeaconCount, 5);
    QCOMPARE(Text(*window, "Text2"), QStringLiteral("#1 / 5"));
  }

  void openFilesIsTheOpenCommand() {
    const auto window = MakeWindow();
    window->OpenFiles({TALPHEX_SAMPLE_CAPTURE});
    QCOMPARE(window->state().BeaconCount, 86);
    // A later cancelled dialog reloads the files given on the command line.
    window->MenuFileOpen_Click();
    QCOMPARE(window->state().BeaconCount, 86);
  }

  void infoWindowIsNonModalAndComesToFront() {
    const auto window = MakeWindow();
    window->show();
    window->findChild<QAction*>("MnuInfo")->trigger();
    QPointer<InfoWindow> info = window->info_window();
    QVERIFY(info != nullptr);
    QVERIFY(info->isVisible());
    QVERIFY(!info->isModal());
    QCOMPARE(info->windowTitle(), QStringLiteral("Info"));
    QCOMPARE(info->findChild<QLabel*>("Label1")->text(),
             QStringLiteral("TALPHEX Telemetry Decoder"));
    QCOMPARE(info->findChild<QLabel*>("Label2")->text(),
             QStringLiteral("Version 0.3    (28 Dec 2018)"));
    QVERIFY(!info->findChild<QLabel*>("Label9")->text().isEmpty());
    QVERIFY(!info->findChild<QLabel*>("Label11")->text().isEmpty());
    const QPixmap picture = info->findChild<QLabel*>("Image1")->pixmap();
    QCOMPARE(picture.size(), QSize(317, 300));
    // The picture is drawn, not left blank.
    const QImage image = picture.toImage();
    QVERIFY(image.pixel(10, 10) != image.pixel(158, 150));
    // Showing it again brings the same window forward.
    window->MnuInfo_Click();
    QCOMPARE(window->info_window(), info.data());
    // Closed, it goes; the next command shows a fresh one with the same texts.
    info->close();
    QTRY_VERIFY(info.isNull());
    window->MnuInfo_Click();
    QVERIFY(window->info_window() != nullptr);
    QCOMPARE(window->info_window()->findChild<QLabel*>("Label2")->text(),
             QStringLiteral("Version 0.3    (28 Dec 2018)"));
  }

  void defaultSizeAndGrowth() {
    const auto window = MakeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QWidget* client = window->centralWidget();
    QVERIFY(client->height() >= 638);
    QVERIFY(client->width() >= 717);
    auto* chart_frame = Find<QGroupBox>(*window, "Frame1");
    auto* tabs = Find<QTabWidget>(*window, "SSTab1");
    const int frame_height = chart_frame->height();
    const int tabs_height = tabs->height();
    window->resize(window->width() + 100, window->height() + 200);
    QTRY_COMPARE(chart_frame->height(), frame_height + 200);
    QCOMPARE(tabs->height(), tabs_height);
  }
};

}  // namespace

namespace testing {
int RunTests(int argc, char** argv) {
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}
}  // namespace testing

}  // namespace talphex

#include "main_window_test.moc"
