// The chart widget renders what the chart model decided: series type, colours, row labels and
// their spacing, the record mark, and turns clicks, wheel and drags into records and zooms.
#include "chart/chart_widget.h"

#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QImage>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>
#include <QtTest>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

Q_DECLARE_METATYPE(talphex::ChartType)

namespace talphex {
namespace {

constexpr int kChartWidth = 690;
constexpr int kChartHeight = 290;

// A content of `rows` rows, one second apart, with `series` series; series k holds k + r / 10 at
// row r.
ChartContent Content(int rows, int series, ChartType type, int spacing = 0) {
  ChartContent content;
  content.type = type;
  content.label_spacing = spacing;
  for (int r = 0; r < rows; ++r) {
    content.row_labels.push_back(QStringLiteral("10:%1:%2")
                                     .arg(r / 60 % 60, 2, 10, QLatin1Char('0'))
                                     .arg(r % 60, 2, 10, QLatin1Char('0'))
                                     .toStdString());
  }
  for (int k = 0; k < series; ++k) {
    ChartSeries one{16 + k, "Series " + std::to_string(k), std::nullopt, {}, "C"};
    for (int r = 0; r < rows; ++r) one.values.push_back(k + r / 10.0);
    if (series == 3) one.colour = kGroupColours[static_cast<std::size_t>(k)];
    content.series.push_back(one);
  }
  return content;
}

// Lets the chart lay itself out, as the event loop would before the user sees it.
void Settle() { QCoreApplication::sendPostedEvents(); }

// Where Qt Charts itself draws the point of `row` at `value`, in viewport coordinates.
QPoint ViewPositionOf(const ChartWidget& widget, int row, double value) {
  QChart* chart = widget.chart();
  const QPointF in_chart = chart->mapToPosition(QPointF(row, value), chart->series().value(0));
  return widget.view()->mapFromScene(chart->mapToScene(in_chart));
}

QCategoryAxis* RowAxis(const ChartWidget& widget) {
  return qobject_cast<QCategoryAxis*>(widget.chart()->axes(Qt::Horizontal).value(0));
}

}  // namespace

class ChartWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    widget_ = std::make_unique<ChartWidget>();
    widget_->resize(kChartWidth, kChartHeight);
    widget_->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget_.get()));
  }
  void cleanup() { widget_.reset(); }

  void SeriesFollowTheType_data() {
    QTest::addColumn<ChartType>("type");
    QTest::addColumn<int>("series");
    QTest::newRow("single bars") << ChartType::kBars << 1;
    QTest::newRow("single lines") << ChartType::kLines << 1;
    QTest::newRow("grouped bars") << ChartType::kBars << 3;
    QTest::newRow("grouped lines") << ChartType::kLines << 3;
  }
  void SeriesFollowTheType() {
    QFETCH(ChartType, type);
    QFETCH(int, series);
    const ChartContent content = Content(12, series, type);
    widget_->SetContent(content);

    const QList<QAbstractSeries*> shown = widget_->chart()->series();
    if (type == ChartType::kBars) {
      QCOMPARE(shown.size(), 1);
      auto* bars = qobject_cast<QBarSeries*>(shown[0]);
      QVERIFY(bars != nullptr);
      QCOMPARE(bars->count(), series);
      for (int k = 0; k < series; ++k) {
        QBarSet* set = bars->barSets()[k];
        QCOMPARE(set->label(), QStringLiteral("Series %1").arg(k));
        QCOMPARE(set->count(), 12);
        QCOMPARE(set->at(11), content.series[static_cast<std::size_t>(k)].values[11]);
      }
    } else {
      QCOMPARE(shown.size(), series);
      for (int k = 0; k < series; ++k) {
        auto* line = qobject_cast<QLineSeries*>(shown[k]);
        QVERIFY(line != nullptr);
        QCOMPARE(line->name(), QStringLiteral("Series %1").arg(k));
        QCOMPARE(line->count(), 12);
        QCOMPARE(line->at(11), QPointF(11, content.series[static_cast<std::size_t>(k)].values[11]));
      }
    }
    QCOMPARE(widget_->chart()->legend()->alignment(), Qt::AlignBottom);
  }

  void GroupedContentHasTheGroupColours() {
    const QList<QColor> expected = {QColor(70, 130, 180), QColor(34, 139, 34), QColor(176, 48, 96)};
    widget_->SetContent(Content(10, 3, ChartType::kBars));
    const QList<QBarSet*> sets =
        qobject_cast<QBarSeries*>(widget_->chart()->series()[0])->barSets();
    for (int k = 0; k < 3; ++k) QCOMPARE(sets[k]->color(), expected[k]);

    widget_->SetContent(Content(10, 3, ChartType::kLines));
    const QList<QAbstractSeries*> lines = widget_->chart()->series();
    for (int k = 0; k < 3; ++k) {
      QCOMPARE(qobject_cast<QLineSeries*>(lines[k])->pen().color(), expected[k]);
    }
  }

  void EmptyContentLeavesNoSeries() {
    widget_->SetContent(Content(30, 3, ChartType::kBars));
    widget_->SetMarkedRecord(4);
    ChartContent empty;
    empty.type = ChartType::kBars;
    widget_->SetContent(empty);
    Settle();

    QVERIFY(widget_->chart()->series().isEmpty());
    QVERIFY(widget_->chart()->legend()->markers().isEmpty());
    QVERIFY(RowAxis(*widget_)->categoriesLabels().isEmpty());
    QVERIFY(widget_->MarkRect().isEmpty());
    QCOMPARE(widget_->RowAt(QPoint(kChartWidth / 2, kChartHeight / 2)), -1);
  }

  // Values read from raw floats may be NaN, infinite or huge; the chart must stay drawable.
  void ValuesThatAreNotNumbersLeaveGaps_data() {
    QTest::addColumn<ChartType>("type");
    QTest::newRow("bars") << ChartType::kBars;
    QTest::newRow("lines") << ChartType::kLines;
  }
  void ValuesThatAreNotNumbersLeaveGaps() {
    QFETCH(ChartType, type);
    ChartContent content = Content(6, 1, type);
    content.series[0].values = {1,
                                std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity(),
                                -1e308,
                                1e308,
                                2};
    widget_->SetContent(content);
    QVERIFY(!widget_->RenderImage().isNull());

    auto* values = qobject_cast<QValueAxis*>(widget_->chart()->axes(Qt::Vertical)[0]);
    QVERIFY(std::isfinite(values->max() - values->min()));
    QAbstractSeries* series = widget_->chart()->series()[0];
    if (type == ChartType::kLines) {
      QCOMPARE(qobject_cast<QLineSeries*>(series)->count(), 5);
    } else {
      QCOMPARE(qobject_cast<QBarSeries*>(series)->barSets()[0]->at(1), 0.0);
    }
  }

  void MarkMovesWithoutRebuildingTheSeries() {
    widget_->SetContent(Content(20, 3, ChartType::kBars));
    Settle();
    // Guarded pointers notice a rebuild even when new series reuse the old addresses.
    const QPointer<QAbstractSeries> series = widget_->chart()->series()[0];
    const QPointer<QBarSet> set = qobject_cast<QBarSeries*>(series.data())->barSets()[0];

    for (const int record : {1, 7, 20}) {
      widget_->SetMarkedRecord(record);
      const QRectF mark = widget_->MarkRect();
      const double x = widget_->chart()->mapToPosition(QPointF(record - 1, 0), series).x();
      QVERIFY2(mark.left() <= x && x <= mark.right(), qPrintable(QString::number(record)));
    }
    QVERIFY(!series.isNull());
    QVERIFY(!set.isNull());
    QCOMPARE(widget_->chart()->series().size(), 1);

    for (const int outside : {0, 21, -3}) {
      widget_->SetMarkedRecord(outside);
      QVERIFY(widget_->MarkRect().isEmpty());
    }
  }

  void MarkSurvivesANewContent() {
    widget_->SetMarkedRecord(5);
    widget_->SetContent(Content(10, 1, ChartType::kLines));
    Settle();
    const double x =
        widget_->chart()->mapToPosition(QPointF(4, 0), widget_->chart()->series()[0]).x();
    QVERIFY(widget_->MarkRect().left() <= x && x <= widget_->MarkRect().right());
  }

  void ClickEmitsTheRecord_data() {
    QTest::addColumn<ChartType>("type");
    QTest::addColumn<int>("row");
    for (const int row : {0, 6, 39}) {
      QTest::addRow("bars, row %d", row) << ChartType::kBars << row;
      QTest::addRow("lines, row %d", row) << ChartType::kLines << row;
    }
  }
  void ClickEmitsTheRecord() {
    QFETCH(ChartType, type);
    QFETCH(int, row);
    const ChartContent content = Content(40, 1, type);
    widget_->SetContent(content);
    Settle();
    QSignalSpy clicked(widget_.get(), &ChartWidget::recordClicked);

    // Half-way up a bar, or on a point of the line.
    const double value = content.series[0].values[static_cast<std::size_t>(row)];
    const QPoint at = ViewPositionOf(*widget_, row, type == ChartType::kBars ? value / 2 : value);
    QTest::mouseClick(widget_->view()->viewport(), Qt::LeftButton, {}, at);

    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked[0][0].toInt(), row + 1);
  }

  void ClickOutsideThePlotEmitsNothing() {
    widget_->SetContent(Content(40, 1, ChartType::kBars));
    Settle();
    QSignalSpy clicked(widget_.get(), &ChartWidget::recordClicked);
    const QRectF plot = widget_->chart()->plotArea();
    for (const QPointF& outside : {QPointF(plot.center().x(), plot.bottom() + 30),
                                   QPointF(plot.left() - 10, plot.center().y())}) {
      QTest::mouseClick(widget_->view()->viewport(), Qt::LeftButton, {},
                        widget_->view()->mapFromScene(widget_->chart()->mapToScene(outside)));
    }
    QCOMPARE(clicked.size(), 0);
  }

  void SpacingLabelsEveryDthRow_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("spacing");
    QTest::newRow("grouped 41 rows") << 41 << 1;
    QTest::newRow("grouped 86 rows") << 86 << 2;
    QTest::newRow("single 175 rows") << 175 << 4;
    QTest::newRow("single 1000 rows") << 1000 << 20;
  }
  void SpacingLabelsEveryDthRow() {
    QFETCH(int, rows);
    QFETCH(int, spacing);
    const ChartContent content = Content(rows, 1, ChartType::kBars, spacing);
    widget_->SetContent(content);
    Settle();

    std::vector<int> expected;
    for (int r = 0; r < rows; r += spacing) expected.push_back(r);
    QCOMPARE(widget_->LabelledRows(), expected);
    // The axis carries one tick per labelled row, at that row, under that row's label.
    QCategoryAxis* axis = RowAxis(*widget_);
    const QStringList categories = axis->categoriesLabels();
    QCOMPARE(categories.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const QString& category = categories[static_cast<qsizetype>(i)];
      QCOMPARE(axis->endValue(category), expected[i]);
      QVERIFY(category.startsWith(QString::fromLatin1(content.row_labels[expected[i]])));
    }
  }

  void SpacingHoldsWhenZoomed() {
    widget_->SetContent(Content(1000, 1, ChartType::kLines, 20));
    widget_->ZoomToRows(105, 204);
    Settle();
    QCOMPARE(widget_->LabelledRows(), (std::vector<int>{120, 140, 160, 180, 200}));
    QCOMPARE(widget_->VisibleRows(), std::make_pair(105, 204));
  }

  void AutomaticSpacingKeepsLabelsApart_data() {
    QTest::addColumn<int>("rows");
    QTest::newRow("3 rows") << 3;
    QTest::newRow("40 rows") << 40;
    QTest::newRow("86 rows") << 86;
    QTest::newRow("100 rows") << 100;
  }
  void AutomaticSpacingKeepsLabelsApart() {
    QFETCH(int, rows);
    widget_->SetContent(Content(rows, 1, ChartType::kBars));
    Settle();
    const std::vector<int>& labelled = widget_->LabelledRows();
    QVERIFY(!labelled.empty());
    QCOMPARE(labelled.front(), 0);
    QVERIFY(!widget_->RowLabelsRotated());
    const double label_width = QFontMetricsF(RowAxis(*widget_)->labelsFont())
                                   .horizontalAdvance(QStringLiteral("10:00:00"));
    QAbstractSeries* series = widget_->chart()->series()[0];
    for (std::size_t i = 1; i < labelled.size(); ++i) {
      const double gap = widget_->chart()->mapToPosition(QPointF(labelled[i], 0), series).x() -
                         widget_->chart()->mapToPosition(QPointF(labelled[i - 1], 0), series).x();
      QVERIFY2(gap > label_width,
               qPrintable(QStringLiteral("gap %1 at row %2").arg(gap).arg(labelled[i])));
    }
    // Evenly spaced, so the eye can read the rows between.
    if (labelled.size() > 2) QCOMPARE(labelled[2] - labelled[1], labelled[1] - labelled[0]);
  }

  void ExtremeSizesStillLabelTheFirstRow() {
    widget_->SetContent(Content(1000, 1, ChartType::kBars, 5000));
    Settle();
    QCOMPARE(widget_->LabelledRows(), std::vector<int>{0});
    widget_->resize(40, 30);
    widget_->SetContent(Content(1000, 1, ChartType::kLines));
    QVERIFY(!widget_->RenderImage().isNull());
    QCOMPARE(widget_->LabelledRows().front(), 0);
  }

  void RepeatedTimesStillLabelTheirRows() {
    ChartContent content = Content(41, 1, ChartType::kBars, 1);
    for (std::string& label : content.row_labels) label = "10:00:00";
    content.row_labels[3].clear();
    content.row_labels[5].clear();
    widget_->SetContent(content);
    Settle();
    QCOMPARE(RowAxis(*widget_)->categoriesLabels().size(), 41);
  }

  void WheelZoomsAroundTheCursorAndDoubleClickResets() {
    widget_->SetContent(Content(200, 1, ChartType::kLines));
    Settle();
    const QPoint at = ViewPositionOf(*widget_, 150, 10);
    QWheelEvent wheel(at, widget_->view()->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 360),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget_->view()->viewport(), &wheel);
    Settle();

    const auto [first, last] = widget_->VisibleRows();
    QVERIFY2(last - first < 199 && first <= 150 && 150 <= last,
             qPrintable(QStringLiteral("%1 to %2").arg(first).arg(last)));
    QCOMPARE(widget_->RowAt(at), 150);

    QTest::mouseDClick(widget_->view()->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(widget_->VisibleRows(), std::make_pair(0, 199));
  }

  void DragZoomsIntoTheRubberBand() {
    widget_->SetContent(Content(100, 1, ChartType::kBars));
    Settle();
    QSignalSpy clicked(widget_.get(), &ChartWidget::recordClicked);
    QWidget* viewport = widget_->view()->viewport();
    const QPoint from = ViewPositionOf(*widget_, 20, 8);
    const QPoint to = ViewPositionOf(*widget_, 40, 1);
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    QTest::mouseMove(viewport, (from + to) / 2);
    QTest::mouseMove(viewport, to);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);

    // Pixel rounding may shift either edge by a row.
    const auto [first, last] = widget_->VisibleRows();
    QVERIFY2(qAbs(first - 20) <= 1 && qAbs(last - 40) <= 1,
             qPrintable(QStringLiteral("%1 to %2").arg(first).arg(last)));
    auto* values = qobject_cast<QValueAxis*>(widget_->chart()->axes(Qt::Vertical)[0]);
    QVERIFY(qAbs(values->min() - 1) < 0.2 && qAbs(values->max() - 8) < 0.2);
    QCOMPARE(clicked.size(), 0);  // a drag is no click
  }

  void HoverShowsTheRecordInATooltip() {
    const ChartContent content = Content(30, 3, ChartType::kBars);
    widget_->SetContent(content);
    Settle();
    QTest::mouseMove(widget_->view()->viewport(), ViewPositionOf(*widget_, 12, 1));
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), QString::fromLatin1(PointText(content, 12)));
  }

  void SavePngWritesTheChart() {
    widget_->SetContent(Content(50, 3, ChartType::kLines));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("chart.png"));
    QString error;
    QVERIFY2(widget_->SavePng(path, &error), qPrintable(error));
    const QImage image(path, "PNG");
    QCOMPARE(image.size(), widget_->view()->size() * widget_->devicePixelRatio());
  }

  void SavePngFailureNamesThePath() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString& bad : {dir.filePath(QStringLiteral("missing/chart.png")), dir.path()}) {
      QString error;
      QVERIFY(!widget_->SavePng(bad, &error));
      QVERIFY2(error.contains(QDir::toNativeSeparators(bad)), qPrintable(error));
    }
  }

  void CopyChartPutsTheImageOnTheClipboard() {
    widget_->SetContent(Content(20, 1, ChartType::kBars));
    QGuiApplication::clipboard()->clear();
    widget_->CopyChart();
    QCOMPARE(QGuiApplication::clipboard()->image().size(),
             widget_->view()->size() * widget_->devicePixelRatio());
  }

  void ContextMenuOffersSaveAndCopy() {
    widget_->SetContent(Content(20, 1, ChartType::kBars));
    QStringList offered;
    QTimer::singleShot(0, this, [&offered] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (menu == nullptr) return;
      for (const QAction* action : menu->actions()) offered << action->text();
      menu->close();
    });
    QWidget* viewport = widget_->view()->viewport();
    const QPoint at(viewport->width() / 2, viewport->height() / 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
    QCOMPARE(offered,
             (QStringList{QStringLiteral("Save Chart as PNG..."), QStringLiteral("Copy Chart")}));
  }

 private:
  std::unique_ptr<ChartWidget> widget_;
};

}  // namespace talphex

namespace talphex::testing {
int RunTests(int argc, char** argv) {
  ChartWidgetTest test;
  return QTest::qExec(&test, argc, argv);
}
}  // namespace talphex::testing

#include "chart_widget_test.moc"
