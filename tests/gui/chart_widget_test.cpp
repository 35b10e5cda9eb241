// SPDX-License-Identifier: GPL-3.0-or-later
// The chart widget renders what the chart model decided (series type, colours, labelled rows, the
// record mark) and turns clicks, hovering, the wheel and drags into records and zooms.
#include "gui/chart_widget.h"

#include <QtCharts>
#include <QtTest>
#include <QtWidgets>
#include <cmath>

namespace talphex {

class ChartWidgetTest : public QObject {
  Q_OBJECT

  ChartWidget widget_;

  // Shows `rows` beacon records one second apart as the core charts them: field 16 alone, or with
  // 17 and 18 as a group (count 3), field 16 + k holding k + r / 10 at row r; then `edit` changes
  // the content, laid out as the event loop would before the user sees it.
  ChartContent Show(int rows, int count, ChartType type, int spacing = 0,
                    const std::function<void(ChartContent&)>& edit = {}) {
    DecoderState state;
    state.BeaconCount = rows;
    for (int r = 0; r < rows; ++r) {
      TelemetryRecord& record = state.BeaconStore.emplace_back();
      record.RxTime = QTime(10, 0).addSecs(r).toString("2025-03-04 hh:mm:ss").toStdString();
      for (int k = 0; k < 3; ++k) record.Value[16 + k] = k + r / 10.0;
    }
    ChartContent content =
        count == 3 ? BuildGroupChart(state, {16, 17, 18}, type) : BuildFieldChart(state, 16, type);
    content.label_spacing = spacing;
    if (edit) edit(content);
    widget_.SetContent(content);
    QCoreApplication::sendPostedEvents();
    return content;
  }
  QChart* Chart() { return widget_.chart(); }
  QWidget* Viewport() { return widget_.view()->viewport(); }
  QCategoryAxis* RowAxis() { return qobject_cast<QCategoryAxis*>(Chart()->axes().first()); }
  QCategoryAxis* ValueAxis() {
    return qobject_cast<QCategoryAxis*>(Chart()->axes(Qt::Vertical).first());
  }
  // Shows `rows` rows whose values are `value(r)`.
  void ShowValues(int rows, ChartType type, const std::function<double(int)>& value) {
    Show(rows, 1, type, 0, [&](ChartContent& c) {
      for (int r = 0; r < rows; ++r) c.series[0].values[r] = value(r);
    });
  }
  double X(int row) { return Chart()->mapToPosition(QPointF(row, 0), Chart()->series()[0]).x(); }
  // Where Qt Charts draws the point of `row` at `value`, in viewport coordinates.
  QPoint At(int row, double value) {
    return widget_.view()->mapFromScene(
        Chart()->mapToScene(Chart()->mapToPosition(QPointF(row, value), Chart()->series()[0])));
  }

 private slots:
  void initTestCase() {
    widget_.resize(690, 290);
    widget_.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget_));
  }

  void seriesFollowTheTypeAndColours() {
    for (const auto& [type, count] :
         {std::pair(ChartType::kBars, 1), std::pair(ChartType::kBars, 3),
          std::pair(ChartType::kLines, 1), std::pair(ChartType::kLines, 3)}) {
      Show(12, count, type);  // a chart of normal values before
      // Values read from raw floats may be NaN, infinite or huge: a gap, a finite scale.
      const ChartContent content = Show(12, count, type, 0, [](ChartContent& c) {
        std::ranges::copy(std::array{std::nan(""), 1e308, -HUGE_VAL},
                          c.series[0].values.begin() + 3);
      });
      auto* bars = qobject_cast<QBarSeries*>(Chart()->series()[0]);
      QCOMPARE(Chart()->series().size(), type == ChartType::kBars ? 1 : count);
      for (int k = 0; k < count; ++k) {
        QBarSet* set = type == ChartType::kBars ? bars->barSets()[k] : nullptr;
        auto* line = set ? nullptr : qobject_cast<QLineSeries*>(Chart()->series()[k]);
        const ChartSeries& expected = content.series[k];
        QCOMPARE(set ? set->label() : line->name(), QString::fromStdString(expected.legend));
        QCOMPARE(set ? set->at(11) : line->points().last().y(), expected.values[11]);
        if (const auto rgb = expected.colour)
          QCOMPARE(set ? set->color() : line->pen().color(),
                   QColor(rgb->red, rgb->green, rgb->blue));
        // Regression: infinite values were drawn as spikes at 1e300; they are gaps, as NaN is.
        if (line) QCOMPARE(line->count(), k == 0 ? 10 : 12);
      }
      auto* values = qobject_cast<QValueAxis*>(Chart()->axes(Qt::Vertical)[0]);
      QVERIFY(std::isfinite(values->max() - values->min()) && !widget_.RenderImage().isNull());
    }
  }

  void markMovesWithoutRebuildingAndEmptyContentLeavesNothing() {
    widget_.SetMarkedRecord(5);  // kept for the content that follows
    Show(20, 3, ChartType::kBars);
    // A guarded pointer notices a rebuild even when a new series reuses the old address.
    const QPointer<QAbstractSeries> series = Chart()->series()[0];
    for (const int record : {5, 1, 0, 21, 20}) {
      if (record != 5) widget_.SetMarkedRecord(record);
      const QRectF mark = widget_.MarkRect();
      QVERIFY(record >= 1 && record <= 20 ? mark.contains(X(record - 1), mark.center().y())
                                          : mark.isEmpty());
    }
    QVERIFY(!series.isNull());
    Show(0, 0, ChartType::kBars);  // the mark of record 20 goes with the rows
    QVERIFY(Chart()->series().isEmpty() && Chart()->legend()->markers().isEmpty());
    QVERIFY(RowAxis()->categoriesLabels().isEmpty() && widget_.MarkRect().isEmpty());
    QCOMPARE(widget_.RowAt(QPoint(345, 145)), -1);
  }

  void labelsEveryDthRow() {
    // Rows and spacing, 0 leaving the spacing to the widget: then upright labels, evenly spaced,
    // wider apart than a label.
    for (const auto& [rows, spacing] :
         {std::pair(41, 1), std::pair(1000, 20), std::pair(1000, 5000), std::pair(3, 0),
          std::pair(86, 0), std::pair(100, 0)}) {
      // Labels that are alike or empty still label their rows.
      const ChartContent content = Show(rows, 1, ChartType::kBars, spacing, [](ChartContent& c) {
        for (std::string& label : c.row_labels) label = label[7] == '3' ? "" : "10:00:00";
      });
      // One tick per labelled row, at that row, and nothing between two ticks; on white, ticks
      // are the axis line's light grey, between the line and the labels.
      const std::vector<int>& labelled = widget_.LabelledRows();
      const int step = spacing > 0 ? spacing : labelled.size() > 1 ? labelled[1] : rows;
      const double width = QFontMetricsF(RowAxis()->labelsFont()).horizontalAdvance("10:00:00");
      QCOMPARE(std::ssize(labelled), (rows - 1) / step + 1);
      QVERIFY(spacing > 0 || !widget_.RowLabelsRotated());
      const QImage image = widget_.view()->grab().toImage();
      const int tick_y = widget_.view()->mapFromScene(0, Chart()->plotArea().bottom() + 2).y();
      const auto tick_at = [&](double x) {
        const int column = widget_.view()->mapFromScene(x, 0).x();
        return std::ranges::any_of(std::array{column - 1, column, column + 1},
                                   [&](int c) { return qGray(image.pixel(c, tick_y)) < 240; });
      };
      for (int i = 0; i < std::ssize(labelled); ++i) {
        QVERIFY(labelled[i] == i * step && tick_at(X(labelled[i])));
        if (i > 0 && X(labelled[i]) - X(labelled[i - 1]) > 8) {
          QVERIFY(!tick_at((X(labelled[i]) + X(labelled[i - 1])) / 2));
        }
        if (spacing == 0 && i > 0) QVERIFY(X(labelled[i]) - X(labelled[i - 1]) > width);
      }
      // The axis keeps the room of the widest label, under the plot, upright or turned.
      QCOMPARE(RowAxis()->categoriesLabels(), QStringList{"10:00:00"});
      const double room =
          widget_.RowLabelsRotated() ? width : QFontMetricsF(RowAxis()->labelsFont()).height();
      QVERIFY(Chart()->plotArea().bottom() + room <= Chart()->rect().bottom());
    }
  }

  void clicksHoverZoomCopyAndSave() {
    const ChartContent content = Show(200, 1, ChartType::kBars, 20);
    QSignalSpy clicked(&widget_, &ChartWidget::recordClicked);
    // Half-way up the bars of three rows, then under the plot.
    for (const QPoint at : {At(0, 0), At(150, 7.5), At(199, 9.95), At(20, 0) + QPoint(0, 30)})
      QTest::mouseClick(Viewport(), Qt::LeftButton, {}, at);
    QTRY_COMPARE(QList<QVariantList>(clicked), (QList<QVariantList>{{1}, {151}, {200}}));
    QTest::mouseMove(Viewport(), At(12, 0.5));
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), QString::fromLatin1(PointText(content, 12)));

    const QPoint at = At(150, 10);
    QWheelEvent wheel(at, Viewport()->mapToGlobal(at), QPoint(), QPoint(0, 360), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(Viewport(), &wheel);
    QCoreApplication::sendPostedEvents();
    auto [first, last] = widget_.VisibleRows();
    QVERIFY(last - first < 199 && widget_.RowAt(at) == 150);
    QCOMPARE(widget_.LabelledRows().front() % 20, 0);  // the content's spacing holds
    QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(widget_.VisibleRows(), std::make_pair(0, 199));
    // A rectangle dragged from row 20 to 40 shows those rows, within a row's rounding.
    QTest::mousePress(Viewport(), Qt::LeftButton, {}, At(20, 8));
    QTest::mouseMove(Viewport(), At(30, 4));
    QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, At(40, 1));
    std::tie(first, last) = widget_.VisibleRows();
    QVERIFY(qAbs(first - 20) <= 1 && qAbs(last - 40) <= 1 && clicked.size() == 3);
    widget_.ResetZoom();
    // Copy Chart and Save Chart as PNG give the chart as shown.
    const QSize size = widget_.view()->size() * widget_.devicePixelRatio();
    widget_.CopyChart();
    QCOMPARE(QGuiApplication::clipboard()->image().size(), size);
    // Regression: copied pictures lacked the title, and so the unit. The title line comes first.
    QFont bold = widget_.font();
    bold.setBold(true);
    widget_.SetTitle("Temp X+ Panel (C)", bold);
    widget_.CopyChart();
    const QImage titled = QGuiApplication::clipboard()->image();
    const int title_height = titled.height() - size.height();
    QVERIFY(titled.width() == size.width() && title_height >= QFontMetrics(bold).height());
    QSet<QRgb> title_colours;  // text on the background
    for (int y = 0; y < title_height; ++y)
      for (int x = 0; x < titled.width(); ++x) title_colours.insert(titled.pixel(x, y));
    QVERIFY(title_colours.size() > 1);
    widget_.SetTitle(QString(), bold);
    QTemporaryDir dir;
    QVERIFY(widget_.SavePng(dir.filePath("c.png")).ok() &&
            QImage(dir.filePath("c.png")).size() == size);
    const Status saved = widget_.SavePng(dir.path());
    QVERIFY(!saved && saved.error().kind == ErrorKind::kIsFolder);
    QVERIFY(QFile::decodeName(saved.error().message.c_str()).startsWith(dir.path()));
  }

  // Regression: the first click of a double-click went to a record. The platform delivers a
  // double-click as press, release, double-click, release.
  void doubleClickOnlyResetsTheZoom() {
    Show(200, 1, ChartType::kBars, 20);
    widget_.ZoomToRows(100, 150);
    QSignalSpy clicked(&widget_, &ChartWidget::recordClicked);
    const QPoint at = At(120, 5);
    QTest::mousePress(Viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, at);
    QMouseEvent double_click(QEvent::MouseButtonDblClick, at, Viewport()->mapToGlobal(at),
                             Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Viewport(), &double_click);
    QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, at);
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QVERIFY(clicked.isEmpty());
    QCOMPARE(widget_.VisibleRows(), std::make_pair(0, 199));
  }

  // Regression: zoomed into a few of 1000 rows labelled every 20th, no label was left, and the
  // few rows in view showed no points.
  void zoomedInKeepsLabelsAndShowsPoints() {
    Show(1000, 1, ChartType::kLines, 20);
    auto* line = qobject_cast<QLineSeries*>(Chart()->series()[0]);
    QVERIFY(!line->pointsVisible());
    for (const auto& [first, last] : {std::pair(501, 505), std::pair(430, 509)}) {
      widget_.ZoomToRows(first, last);
      QCoreApplication::sendPostedEvents();
      QVERIFY(!widget_.LabelledRows().empty() && line->pointsVisible());
      for (const int row : widget_.LabelledRows()) QVERIFY(row >= first && row <= last);
    }
    widget_.ResetZoom();
    QVERIFY(!line->pointsVisible() && widget_.LabelledRows()[1] == 20);
  }

  // Regression: after a zoom, a double-click showed other ticks (-20, 0, 20) than the first
  // view (-30 to 30 every 10).
  void resetRestoresTheFirstView() {
    ShowValues(41, ChartType::kLines, [](int r) { return r - 20.0; });
    const QStringList first_view = ValueAxis()->categoriesLabels();
    QCOMPARE(first_view, QStringList({"-30", "-20", "-10", "0", "10", "20", "30"}));
    const std::pair range(ValueAxis()->min(), ValueAxis()->max());
    QTest::mousePress(Viewport(), Qt::LeftButton, {}, At(5, 15));
    QTest::mouseMove(Viewport(), At(10, 5));
    QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, At(30, -12));
    QVERIFY(ValueAxis()->categoriesLabels() != first_view);
    QTest::mouseDClick(Viewport(), Qt::LeftButton, {}, At(20, 0));
    QCOMPARE(ValueAxis()->categoriesLabels(), first_view);
    QCOMPARE(std::pair(ValueAxis()->min(), ValueAxis()->max()), range);
  }

  // Regression: "%g" wrote large values alike on every tick ("1.79465e+09") and ignored the
  // user's decimal separator. Labels are whole numbers in full, or decimals with the separator.
  void valueLabelsDifferAndFollowTheDecimalSeparator() {
    const std::tuple<char, std::function<double(int)>, QString> kCases[] = {
        {'.', [](int r) { return 1794649262.0 + 7 * r; }, "^-?\\d+$"},
        {'.', [](int r) { return r % 2 == 0 ? 3e9 : 0; }, "^-?\\d+$"},
        {',', [](int r) { return 8.05 + r / 300.0; }, "^-?\\d+,\\d\\d+$"}};
    for (const auto& [separator, value, pattern] : kCases) {
      widget_.SetDecimalSeparator(separator);
      ShowValues(86, ChartType::kLines, value);
      const QStringList labels = ValueAxis()->categoriesLabels();
      QVERIFY(labels.size() >= 3);
      for (const QString& label : labels) {
        QVERIFY2(QRegularExpression(pattern).match(label).hasMatch(), qPrintable(label));
      }
    }
    widget_.SetDecimalSeparator('.');
  }

  // Regression: at 125 rows, labelled every 2nd, the labels were smaller than at 175 rows.
  // Rows appended as live records come draw what a chart built anew with them draws: points or
  // bars, value scale, labelled rows. A view zoomed to earlier rows stays; one at the end grows.
  void appendedRowsDrawAsAChartBuiltAnew_data() {
    QTest::addColumn<ChartType>("type");
    QTest::addColumn<int>("count");
    QTest::newRow("bars") << ChartType::kBars << 1;
    QTest::newRow("lines") << ChartType::kLines << 1;
    QTest::newRow("grouped lines") << ChartType::kLines << 3;
  }
  void appendedRowsDrawAsAChartBuiltAnew() {
    QFETCH(ChartType, type);
    QFETCH(int, count);
    const auto drawn = [this] {
      QList<QList<QPointF>> series;
      for (QAbstractSeries* shown : Chart()->series()) {
        if (auto* line = qobject_cast<QLineSeries*>(shown)) series << line->points();
        if (auto* bars = qobject_cast<QBarSeries*>(shown)) {
          for (QBarSet* set : bars->barSets()) {
            QList<QPointF> values;
            for (int r = 0; r < set->count(); ++r) values << QPointF(r, set->at(r));
            series << values;
          }
        }
      }
      return std::tuple(series, RowAxis()->max(), ValueAxis()->min(), ValueAxis()->max(),
                        widget_.LabelledRows());
    };
    const std::function<void(ChartContent&)> spacing = [](ChartContent& c) {
      c.label_spacing = LabelSpacing(c.row_labels.size(), 10, 5);
    };
    const ChartContent grown = Show(60, count, type, 0, spacing);
    Show(30, count, type, 0, spacing);
    widget_.AppendRows(grown);
    QCoreApplication::sendPostedEvents();
    const auto appended = drawn();
    widget_.SetContent(grown);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(appended, drawn());

    Show(30, count, type, 0, spacing);
    widget_.ZoomToRows(2, 10);
    widget_.AppendRows(grown);
    QCOMPARE(widget_.VisibleRows(), std::pair(2, 10));
    QCOMPARE(widget_.content().row_labels.size(), std::size_t{60});
  }

  void timeAxisPlacesRecordsByTimeAndBreaksAtGaps_data() {
    QTest::addColumn<ChartType>("type");
    QTest::newRow("bars") << ChartType::kBars;
    QTest::newRow("lines") << ChartType::kLines;
  }
  // Two passes an hour apart, a minute between records, record 4 without a receive time.
  void timeAxisPlacesRecordsByTimeAndBreaksAtGaps() {
    QFETCH(ChartType, type);
    Show(12, 1, type, 0, [](ChartContent& c) {
      for (int r = 0; r < 12; ++r) c.row_times[r] = 1741082400 + 60 * r + (r >= 6 ? 3600 : 0);
      c.row_times[3].reset();
    });
    QAction* entry = widget_.findChild<QAction*>("TimeAxis");
    QVERIFY(entry != nullptr && entry->isCheckable() && !entry->isChecked());
    entry->trigger();
    QCoreApplication::sendPostedEvents();
    QVERIFY(widget_.time_axis() && entry->isChecked());
    const TimeAxis& axis = widget_.time_layout();
    if (type == ChartType::kLines) {
      // One line a pass, named once in the legend.
      QCOMPARE(Chart()->series().size(), 2);
      QCOMPARE(qobject_cast<QLineSeries*>(Chart()->series()[0])->count(), 5);
      QCOMPARE(qobject_cast<QLineSeries*>(Chart()->series()[1])->count(), 6);
      int named = 0;
      for (QLegendMarker* marker : Chart()->legend()->markers()) named += marker->isVisible();
      QCOMPARE(named, 1);
    } else {
      // Each bar rises from zero and falls back before the next one.
      auto* area = qobject_cast<QAreaSeries*>(Chart()->series()[0]);
      QVERIFY(area != nullptr && area->upperSeries()->count() == 4 * 11);
      const QList<QPointF> outline = area->upperSeries()->points();
      for (qsizetype i = 3; i + 1 < outline.size(); i += 4) {
        QVERIFY(outline[i].y() == 0 && outline[i + 1].x() > outline[i].x());
      }
    }
    const auto at = [&](int row, double value) {
      return widget_.view()->mapFromScene(Chart()->mapToScene(
          Chart()->mapToPosition(QPointF(*axis.positions[row], value), Chart()->series()[0])));
    };
    QSignalSpy clicked(&widget_, &ChartWidget::recordClicked);
    QTest::mouseClick(Viewport(), Qt::LeftButton, {}, at(7, 0.3));
    QTRY_COMPARE(QList<QVariantList>(clicked), (QList<QVariantList>{{8}}));
    widget_.SetMarkedRecord(8);
    const QPointF marked =
        Chart()->mapToPosition(QPointF(*axis.positions[7], 0), Chart()->series()[0]);
    QVERIFY(widget_.MarkRect().contains(marked.x(), widget_.MarkRect().center().y()));
    widget_.SetMarkedRecord(4);  // no receive time: no place
    QVERIFY(widget_.MarkRect().isEmpty());
    QVERIFY(!widget_.TimeLabels().empty() && widget_.LabelledRows().empty());
    QCOMPARE(widget_.TimeLabels().front().label.size(), std::size_t{5});  // "hh:mm", no date
    widget_.ZoomToRows(6, 11);
    QCOMPARE(widget_.VisibleRows(), std::pair(6, 11));
    widget_.ResetZoom();
    QCOMPARE(widget_.VisibleRows(), std::pair(0, 11));
    entry->trigger();
    QVERIFY(!widget_.time_axis() && widget_.TimeLabels().empty());
    QCOMPARE(Chart()->series().size(), 1);
    widget_.SetMarkedRecord(0);
  }

  void rowLabelsAtOneFontSize() {
    Show(175, 1, ChartType::kBars, 4);
    const QFont font = RowAxis()->labelsFont();
    Show(125, 1, ChartType::kBars, 2);
    QCOMPARE(RowAxis()->labelsFont(), font);
    QCOMPARE(widget_.LabelledRows()[1], 2);
  }
};

}  // namespace talphex

QTEST_MAIN(talphex::ChartWidgetTest)

#include "chart_widget_test.moc"
