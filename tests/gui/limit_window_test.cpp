// SPDX-License-Identifier: GPL-3.0-or-later
// The window judging the sample pass by a station's limits: the value boxes, the lamps, the
// chart's limit lines, the alarm list with its count and acknowledgement, and limits.ini saved
// while the window runs.
#include <QtCharts>
#include <QtTest>
#include <QtWidgets>
#include <algorithm>
#include <map>
#include <memory>

#include "core/monitor/limits.h"
#include "gui/alarm_page.h"
#include "gui/chart_widget.h"
#include "gui/elided_text.h"
#include "gui/limit_monitor.h"
#include "gui/main_window.h"
#include "gui/window_look.h"
#include "window_test_support.h"

namespace talphex {
namespace {

constexpr int kPanelTemp = 17;  // "Temp X+ Panel", the field charted first
constexpr int kOcLamp = 4;      // "Status Word 0 Low CH1_OC"

// Over the sample pass the panel's temperature climbs from 14 to 26 C and falls to 4 C: yellow
// above 22, red above 25, green again on the way down. The over-current flag is always 0, and
// the rule wants 1.
const QByteArray kLimits =
    "[Temp X+ Panel]\nyellow_high = 22\nred_high = 25\n\n[flags]\nStatus Word 0 Low CH1_OC = 1\n";

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) qFatal("write");
}

}  // namespace

class LimitWindowTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  std::unique_ptr<MainWindow> w_;

  QString Path(const QString& name) const { return dir_.filePath(name); }
  template <typename T = QWidget>
  T* Get(const QString& name) const {
    T* widget = w_->findChild<T*>(name);
    if (widget == nullptr) qFatal("no widget %s", qPrintable(name));
    return widget;
  }
  QString Status() const { return Get<ElidedBox>("Text4")->full_text(); }
  QTableView* Table() const { return Get<QTableView>("AlarmTable"); }
  QString Cell(int row, int column) const {
    return Table()->model()->index(row, column).data().toString();
  }
  // The first stored record of `kind` whose value of `field` passes `test`.
  int FirstRecord(Kind kind, int field, const std::function<bool(double)>& test) const {
    const DecoderState& state = w_->state();
    for (std::int64_t n = state.FirstStored(kind); n <= state.Count(kind); ++n) {
      if (test(state.StoredRecord(kind, n)->Value[field])) return static_cast<int>(n);
    }
    qFatal("no such record");
  }

 private slots:
  void init() {
    QFile::remove(Path("pass.kss"));
    QVERIFY(QFile::copy(TALPHEX_SAMPLE_CAPTURE, Path("pass.kss")));
    WriteAll(Path("limits.ini"), kLimits);
    w_ = std::make_unique<MainWindow>(QStringList{Path("none.ini")});
    w_->SetLimitsPath(Path("limits.ini"));
    w_->resize(900, 700);
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    QVERIFY(OpenAndWait(*w_, {Path("pass.kss")}));
  }
  void cleanup() { w_.reset(); }

  void valueBoxesAndLampsShowTheirLevel() {
    auto* scroll = Get<QScrollBar>("HScroll1");
    auto* box = Get<QLineEdit>("Text1(17)");
    struct Case {
      std::function<bool(double)> test;
      QColor base;
      const char* tip;
    };
    const Case cases[] = {
        {[](double v) { return v > 25; }, kRedValue, "red high: "},
        {[](double v) { return v > 22 && v <= 25; }, kYellowValue, "yellow high: "},
        {[](double v) { return v <= 22; }, kChosenValue, ""},
    };
    for (const Case& c : cases) {
      scroll->setValue(FirstRecord(Kind::kBeacon, kPanelTemp, c.test));
      QCOMPARE(box->palette().color(QPalette::Base), c.base);
      QVERIFY2(box->toolTip().startsWith(QLatin1String(c.tip)), qPrintable(box->toolTip()));
      QCOMPARE(c.tip[0] == '\0', box->toolTip().isEmpty());
    }
    // The flag breaks its rule in every payload record; beyond the payload records no lamp has
    // a record to judge.
    auto* lamp = Get<QFrame>("Shape1(4)");
    auto* other = Get<QFrame>("Shape1(5)");
    scroll->setValue(1);
    QCOMPARE(lamp->lineWidth(), 2);
    QCOMPARE(lamp->palette().color(QPalette::WindowText), kLampAlarmFrame);
    QCOMPARE(other->lineWidth(), 1);
    scroll->setValue(static_cast<int>(w_->state().PayloadCount) + 1);
    QCOMPARE(lamp->lineWidth(), 1);
  }

  void chartDrawsTheLimitsAsLinesInTheirColours() {
    ChartWidget* chart = Get<ChartWidget>("MSChart1");
    const QImage image = chart->view()->grab().toImage();
    QChart* qchart = chart->chart();
    QAbstractSeries* series = qchart->series().front();
    const QRectF plot = qchart->plotArea();
    struct Case {
      double limit;
      Rgb ink;
    };
    for (const Case& c : {Case{22, kChartInks.limit_yellow}, Case{25, kChartInks.limit_red}}) {
      const QPointF at = chart->view()->mapFromScene(
          qchart->mapToScene(qchart->mapToPosition(QPointF(0, c.limit), series)));
      const QColor ink(c.ink.red, c.ink.green, c.ink.blue);
      // The row with the most pixels of the limit's colour is on the limit's height, its dashes
      // across the plot; the dots of the values beyond it are small beside it.
      std::map<int, int> by_row;
      for (int x = static_cast<int>(plot.left()) + 2; x < static_cast<int>(plot.right()) - 2; ++x) {
        for (int y = static_cast<int>(plot.top()); y < static_cast<int>(plot.bottom()); ++y) {
          if (image.pixelColor(x, y) == ink) ++by_row[y];
        }
      }
      const auto most = std::max_element(by_row.begin(), by_row.end(),
                                         [](auto a, auto b) { return a.second < b.second; });
      QVERIFY(most != by_row.end());
      QVERIFY2(std::abs(most->first - at.y()) <= 2,
               qPrintable(QString("%1 vs %2").arg(most->first).arg(at.y())));
      QVERIFY2(most->second > plot.width() / 3, qPrintable(QString::number(most->second)));
    }
  }

  void alarmListCountAndAcknowledgement() {
    // The panel's four changes, newest first, after the flag's one alarm at the first payload
    // record.
    QStringList panel;
    for (int row = 0; row < Table()->model()->rowCount(); ++row) {
      if (Cell(row, AlarmListModel::kSubject) == "Temp X+ Panel") {
        panel << Cell(row, AlarmListModel::kLevel);
      }
    }
    QCOMPARE(panel,
             (QStringList{"green (was yellow)", "yellow (was red)", "red (was yellow)", "yellow"}));
    QCOMPARE(Table()->model()->rowCount(), 5);
    auto* count = Get<QLabel>("AlarmCount");
    QCOMPARE(count->text(), QString("2 red and 2 yellow alarms unacknowledged"));
    QVERIFY(count->isVisible());
    QTest::mouseClick(Get<QPushButton>("AcknowledgeAll"), Qt::LeftButton);
    QVERIFY(!count->isVisible());
    QCOMPARE(Table()->model()->rowCount(), 5);
    // Another file written in the limits file's folder (the window's settings live there) leaves
    // the limits, and so the acknowledgement, as they are.
    WriteAll(Path("talphex-decoder.conf"), "[tnc]\n");
    QTest::qWait(500);
    QVERIFY(!count->isVisible());
    QVERIFY(!Table()->model()->index(0, 0).data(Qt::BackgroundRole).isValid());

    // A double-click shows the alarm's record on the page of its field.
    int red_row = -1;
    for (int r = 0; r < Table()->model()->rowCount(); ++r) {
      if (Cell(r, AlarmListModel::kLevel) == "red (was yellow)" &&
          Cell(r, AlarmListModel::kSubject) == "Temp X+ Panel") {
        red_row = r;
      }
    }
    QVERIFY(red_row >= 0);
    Get<QTabWidget>("SSTab1")->setCurrentIndex(2);
    auto* debug_pages = Get<QTabWidget>("DebugPages");
    QCOMPARE(debug_pages->tabText(2), QString("Alarms"));
    debug_pages->setCurrentIndex(2);
    QTRY_VERIFY(Table()->isVisible() && Table()->viewport()->height() > 0);
    const QModelIndex index = Table()->model()->index(red_row, 0);
    // An item view takes a double-click after the first click's press and release.
    const QPoint at = Table()->visualRect(index).center();
    QTest::mouseClick(Table()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(Table()->viewport(), Qt::LeftButton, {}, at);
    const int first_red = FirstRecord(Kind::kBeacon, kPanelTemp, [](double v) { return v > 25; });
    QCOMPARE(Get<QScrollBar>("HScroll1")->value(), first_red);
    QCOMPARE(Get<QTabWidget>("SSTab1")->currentIndex(), 0);
    QCOMPARE(Get<QLineEdit>("Text1(17)")->palette().color(QPalette::Base), kRedValue);
  }

  // Saved again, limits.ini applies at once; a file saved with a fault keeps the limits in
  // effect and says where the fault is.
  void limitsFileSavedWhileRunning() {
    WriteAll(Path("limits.ini"), "[Temp X+ Panel]\nred_high = 25\n");
    QTRY_COMPARE_WITH_TIMEOUT(Table()->model()->rowCount(), 2, 10000);
    QCOMPARE(Get<QLabel>("AlarmCount")->text(), QString("1 red alarm unacknowledged"));
    WriteAll(Path("limits.ini"), "[Temp X+ Panel]\nred_high = hot\n");
    QTRY_VERIFY_WITH_TIMEOUT(Status().startsWith("limits not changed: "), 10000);
    QVERIFY2(Status().contains(Path("limits.ini") + ":2: red_high is not a number"),
             qPrintable(Status()));
    QCOMPARE(Table()->model()->rowCount(), 2);
  }

  // "Pass Summary..." shows the summary of the records on hand; "Copy" puts it on the clipboard,
  // "Save..." writes Markdown or JSON by the name chosen, through the output plan.
  void passSummaryDialog() {
    QString answer;
    w_->SetSaveChooser([&answer](QWidget*, const QString&) { return std::optional(answer); });
    w_->findChild<QAction*>("PassSummary")->trigger();
    auto* dialog = Get<QDialog>("PassSummary");
    const QString text = dialog->findChild<QPlainTextEdit*>("PassSummaryText")->toPlainText();
    QVERIFY2(text.contains("Temp X+ Panel") && text.contains("red"), qPrintable(text.left(400)));
    QTest::mouseClick(dialog->findChild<QPushButton*>("PassSummaryCopy"), Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), text);
    struct Case {
      const char* name;
      const char* starts;
    };
    for (const Case& c : {Case{"summary.json", "{"}, Case{"summary.md", "#"}}) {
      answer = Path(c.name);
      QTest::mouseClick(dialog->findChild<QPushButton*>("PassSummarySave"), Qt::LeftButton);
      QFile saved(answer);
      QVERIFY2(saved.open(QIODevice::ReadOnly), c.name);
      QVERIFY(saved.readAll().startsWith(c.starts));
      QCOMPARE(Status(), answer + " has been written");
    }
    // Never over the capture the summary comes from.
    answer = Path("pass.kss");
    QTest::mouseClick(dialog->findChild<QPushButton*>("PassSummarySave"), Qt::LeftButton);
    QVERIFY2(Status().contains("would replace the capture"), qPrintable(Status()));
    QFile capture(Path("pass.kss"));
    QVERIFY(capture.open(QIODevice::ReadOnly));
    QFile sample(TALPHEX_SAMPLE_CAPTURE);
    QVERIFY(sample.open(QIODevice::ReadOnly));
    QCOMPARE(capture.readAll(), sample.readAll());
  }

  // The file "Limits..." writes when there is none explains the format and sets no limit.
  void limitsTemplateSetsNoLimit() {
    const QString text = LimitsTemplate();
    QVERIFY(text.contains("[Battery Volt 1]"));
    const Expected<Limits> limits = ParseLimits(text.toStdString(), "limits.ini");
    QVERIFY(limits.ok());
    QVERIFY(limits.value().fields.empty() && limits.value().flags.empty());
  }
};

}  // namespace talphex

QTEST_MAIN(talphex::LimitWindowTest)
#include "limit_window_test.moc"
