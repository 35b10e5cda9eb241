// The chart widget renders what the chart model decided (series type, colours, labelled rows, the
// record mark) and turns clicks, hovering, the wheel and drags into records and zooms.
#include "chart/chart_widget.h"

#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineSeries>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolTip>
#include <QValueAxis>
#include <QtTest>
#include <cmath>
#include <memory>

Q_DECLARE_METATYPE(talphex::ChartType)

namespace talphex {
namespace testing {
int RunTests(int argc, char** argv);
}  // namespace testing

class ChartWidgetTest : public QObject {
  Q_OBJECT

  std::unique_ptr<ChartWidget> widget_;

  // `rows` rows one second apart and `count` series; series k holds k + r / 10 at row r. Shown
  // laid out, as the event loop would before the user sees it.
  ChartContent Show(int rows, int count, ChartType type, int spacing = 0) {
    ChartContent content{.type = type, .row_labels = {}, .series = {}, .label_spacing = spacing};
    for (int r = 0; r < rows; ++r) {
      content.row_labels.push_back(QTime(10, 0).addSecs(r).toString("hh:mm:ss").toStdString());
    }
    for (int k = 0; k < count; ++k) {
      content.series.push_back({16 + k, "Series " + std::to_string(k), std::nullopt, {}, "C"});
      for (int r = 0; r < rows; ++r) content.series.back().values.push_back(k + r / 10.0);
      if (count == 3) content.series.back().colour = kGroupColours[k];
    }
    Show(content);
    return content;
  }
  void Show(const ChartContent& content) {
    widget_->SetContent(content);
    QCoreApplication::sendPostedEvents();
  }
  QChart* Chart() const { return widget_->chart(); }
  QWidget* Viewport() const { return widget_->view()->viewport(); }
  QCategoryAxis* RowAxis() const {
    return qobject_cast<QCategoryAxis*>(Chart()->axes(Qt::Horizontal).value(0));
  }
  QPointF InChart(int row, double value) const {
    return Chart()->mapToPosition(QPointF(row, value), Chart()->series().value(0));
  }
  // Where Qt Charts draws the point of `row` at `value`, in viewport coordinates.
  QPoint At(int row, double value) const {
    return widget_->view()->mapFromScene(Chart()->mapToScene(InChart(row, value)));
  }

 private slots:
  void init() {
    widget_ = std::make_unique<ChartWidget>();
    widget_->resize(690, 290);
    widget_->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget_.get()));
  }

  void seriesFollowTheType_data() {
    QTest::addColumn<ChartType>("type");
    QTest::addColumn<int>("count");
    QTest::newRow("single bars") << ChartType::kBars << 1;
    QTest::newRow("single lines") << ChartType::kLines << 1;
    QTest::newRow("grouped bars") << ChartType::kBars << 3;
    QTest::newRow("grouped lines") << ChartType::kLines << 3;
  }
  void seriesFollowTheType() {
    QFETCH(ChartType, type);
    QFETCH(int, count);
    ChartContent content = Show(12, count, type);
    // Values read from raw floats may be NaN, infinite or huge: a gap, a finite scale.
    content.series[0].values[3] = std::nan("");
    content.series[0].values[4] = 1e308;
    content.series[0].values[5] = -HUGE_VAL;
    Show(content);
    const QList<QAbstractSeries*> shown = Chart()->series();
    auto* bars = qobject_cast<QBarSeries*>(shown.value(0));
    QCOMPARE(shown.size(), bars != nullptr ? 1 : count);
    QCOMPARE(bars != nullptr, type == ChartType::kBars);
    for (int k = 0; k < count; ++k) {
      auto* line = qobject_cast<QLineSeries*>(shown.value(k));
      QBarSet* set = bars != nullptr ? bars->barSets()[k] : nullptr;
      const ChartSeries& expected = content.series[k];
      QCOMPARE(set != nullptr ? set->label() : line->name(),
               QString::fromStdString(expected.legend));
      QCOMPARE(set != nullptr ? set->at(11) : line->points().last().y(), expected.values[11]);
      const QColor colour = set != nullptr ? set->color() : line->pen().color();
      if (const auto rgb = expected.colour)
        QCOMPARE(colour, QColor(rgb->red, rgb->green, rgb->blue));
      if (line != nullptr) QCOMPARE(line->count(), k == 0 ? 11 : 12);
    }
    auto* values = qobject_cast<QValueAxis*>(Chart()->axes(Qt::Vertical)[0]);
    QVERIFY(std::isfinite(values->max() - values->min()));
    QVERIFY(!widget_->RenderImage().isNull());
    QCOMPARE(Chart()->legend()->alignment(), Qt::AlignBottom);
  }

  void emptyContentLeavesNothingBehind() {
    Show(30, 3, ChartType::kBars);
    widget_->SetMarkedRecord(4);
    Show(ChartContent{});
    QVERIFY(Chart()->series().isEmpty() && Chart()->legend()->markers().isEmpty());
    QVERIFY(RowAxis()->categoriesLabels().isEmpty() && widget_->MarkRect().isEmpty());
    QCOMPARE(widget_->RowAt(QPoint(345, 145)), -1);
  }

  void markMovesWithoutRebuildingTheSeries() {
    widget_->SetMarkedRecord(5);  // kept for the content that follows
    Show(20, 3, ChartType::kBars);
    // A guarded pointer notices a rebuild even when a new series reuses the old address.
    const QPointer<QAbstractSeries> series = Chart()->series()[0];
    for (const int record : {5, 1, 20, 0, 21}) {
      if (record != 5) widget_->SetMarkedRecord(record);
      const QRectF mark = widget_->MarkRect();
      const double x = InChart(record - 1, 0).x();
      QVERIFY(record >= 1 && record <= 20 ? mark.left() <= x && x <= mark.right() : mark.isEmpty());
    }
    QVERIFY(!series.isNull());
  }

  void clickEmitsTheRecord_data() {
    QTest::addColumn<ChartType>("type");
    QTest::addColumn<int>("row");
    QTest::newRow("bar of the first row") << ChartType::kBars << 0;
    QTest::newRow("bar of the last row") << ChartType::kBars << 39;
    QTest::newRow("point of a line") << ChartType::kLines << 6;
    QTest::newRow("below the plot") << ChartType::kBars << -1;
  }
  void clickEmitsTheRecord() {
    QFETCH(ChartType, type);
    QFETCH(int, row);
    Show(40, 1, type);
    QSignalSpy clicked(widget_.get(), &ChartWidget::recordClicked);
    // Half-way up a bar, or on a point.
    const QPoint at = row < 0 ? At(20, 0) + QPoint(0, 30)
                              : At(row, type == ChartType::kBars ? row / 20.0 : row / 10.0);
    QTest::mouseClick(Viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(clicked.size(), row < 0 ? 0 : 1);
    if (row >= 0) QCOMPARE(clicked[0][0].toInt(), row + 1);
  }

  void labelsEveryDthRow_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("spacing");
    QTest::newRow("every row, same and empty times") << 41 << 1;
    QTest::newRow("every 20th") << 1000 << 20;
    QTest::newRow("spacing beyond the rows") << 1000 << 5000;
  }
  void labelsEveryDthRow() {
    QFETCH(int, rows);
    QFETCH(int, spacing);
    ChartContent content = Show(rows, 1, ChartType::kBars, spacing);
    if (spacing == 1) {  // labels that are alike or empty still label their rows
      for (std::string& label : content.row_labels) label = label[7] == '3' ? "" : "10:00:00";
      Show(content);
    }
    const QStringList categories = RowAxis()->categoriesLabels();
    std::vector<int> expected;
    for (int r = 0; r < rows; r += spacing) {
      const auto i = static_cast<qsizetype>(expected.size());
      expected.push_back(r);
      QCOMPARE(RowAxis()->endValue(categories.value(i)), r);
      QVERIFY(categories.value(i).startsWith(QString::fromStdString(content.row_labels[r])));
    }
    QCOMPARE(widget_->LabelledRows(), expected);
    QCOMPARE(categories.size(), static_cast<qsizetype>(expected.size()));
  }

  void automaticSpacingKeepsUprightLabelsApart() {
    for (const int rows : {3, 86, 100}) {
      Show(rows, 1, ChartType::kBars);
      const std::vector<int>& labelled = widget_->LabelledRows();
      QVERIFY(labelled.front() == 0 && !widget_->RowLabelsRotated());
      const double width = QFontMetricsF(RowAxis()->labelsFont()).horizontalAdvance("10:00:00");
      for (std::size_t i = 1; i < labelled.size(); ++i) {
        QVERIFY(InChart(labelled[i], 0).x() - InChart(labelled[i - 1], 0).x() > width);
        QCOMPARE(labelled[i] - labelled[i - 1], labelled[1] - labelled[0]);
      }
    }
    widget_->resize(40, 30);
    Show(1000, 1, ChartType::kLines);
    QVERIFY(!widget_->RenderImage().isNull() && widget_->LabelledRows().front() == 0);
  }

  void wheelAndRubberBandZoomDoubleClickResets() {
    Show(200, 1, ChartType::kBars, 20);
    QSignalSpy clicked(widget_.get(), &ChartWidget::recordClicked);
    const QPoint at = At(150, 10);
    QWheelEvent wheel(at, Viewport()->mapToGlobal(at), QPoint(), QPoint(0, 360), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(Viewport(), &wheel);
    QCoreApplication::sendPostedEvents();
    auto [first, last] = widget_->VisibleRows();
    QVERIFY(last - first < 199 && first <= 150 && 150 <= last);
    QCOMPARE(widget_->RowAt(at), 150);
    QCOMPARE(widget_->LabelledRows().front() % 20, 0);  // the content's spacing holds
    QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(widget_->VisibleRows(), std::make_pair(0, 199));
    // Dragging a rectangle from row 20 to 40 shows those rows, within a row's rounding.
    QTest::mousePress(Viewport(), Qt::LeftButton, {}, At(20, 8));
    QTest::mouseMove(Viewport(), At(30, 4));
    QTest::mouseMove(Viewport(), At(40, 1));
    QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, At(40, 1));
    std::tie(first, last) = widget_->VisibleRows();
    QVERIFY(qAbs(first - 20) <= 1 && qAbs(last - 40) <= 1);
    QCOMPARE(clicked.size(), 0);  // a drag is no click
  }

  void hoverShowsTheRecordInATooltip() {
    const ChartContent content = Show(30, 3, ChartType::kBars);
    QTest::mouseMove(Viewport(), At(12, 1));
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), QString::fromLatin1(PointText(content, 12)));
  }

  void contextMenuSavesAndCopies() {
    Show(20, 1, ChartType::kBars);
    QStringList offered;
    QTimer::singleShot(0, this, [&offered] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (menu == nullptr) return;
      for (const QAction* action : menu->actions()) offered << action->text();
      menu->close();
    });
    const QPoint at(100, 100);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, Viewport()->mapToGlobal(at));
    QApplication::sendEvent(Viewport(), &event);
    QCOMPARE(offered, (QStringList{"Save Chart as PNG...", "Copy Chart"}));
    const QSize size = widget_->view()->size() * widget_->devicePixelRatio();
    widget_->CopyChart();
    QCOMPARE(QGuiApplication::clipboard()->image().size(), size);
    QTemporaryDir dir;
    QString error;
    QVERIFY2(widget_->SavePng(dir.filePath("chart.png"), &error), qPrintable(error));
    QCOMPARE(QImage(dir.filePath("chart.png"), "PNG").size(), size);
    for (const QString& bad : {dir.filePath("missing/chart.png"), dir.path()}) {
      QVERIFY(!widget_->SavePng(bad, &error) && error.contains(bad));
    }
  }
};

int testing::RunTests(int argc, char** argv) {
  ChartWidgetTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace talphex

#include "chart_widget_test.moc"
