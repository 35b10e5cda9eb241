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
      QCOMPARE(Chart()->series().size(), type == ChartType::kBars ? 1 : count + 2);
      for (int k = 0; k < count; ++k) {
        const ChartSeries& expected = content.series[k];
        const QString name = QString::fromStdString(expected.legend);
        const QColor colour = expected.colour ? QColor(expected.colour->red, expected.colour->green,
                                                       expected.colour->blue)
                                              : QColor();
        if (type == ChartType::kBars) {
          QBarSet* set = bars->barSets()[k];
          QVERIFY(set->label() == name && set->at(11) == expected.values[11]);
          if (colour.isValid()) QCOMPARE(set->color(), colour);
          continue;
        }
        // Regression: infinite values were drawn as spikes at 1e300; they are gaps, as NaN is,
        // and each gap breaks the line: rows 0-2, 4 and 6-11 of the first series.
        QList<QLineSeries*> lines;
        qsizetype points = 0;
        for (QAbstractSeries* shown : Chart()->series()) {
          auto* line = qobject_cast<QLineSeries*>(shown);
          if (line->name() != name) continue;
          lines << line;
          points += line->count();
          if (colour.isValid()) QCOMPARE(line->pen().color(), colour);
        }
        QCOMPARE(lines.size(), k == 0 ? 3 : 1);
        QCOMPARE(points, k == 0 ? 10 : 12);
        QCOMPARE(lines.last()->points().last().y(), expected.values[11]);
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

  // Regression: at 175 rows spaced 4, ticks fell on every 4th row and labels on every 8th.
  void labelsEveryDthRow() {
    // Rows and spacing, 0 leaving the spacing to the widget: then upright labels, evenly spaced,
    // wider apart than a label; a spacing too tight for turned labels takes whole multiples.
    for (const auto& [rows, spacing] :
         {std::pair(41, 1), std::pair(175, 4), std::pair(1000, 20), std::pair(1000, 5000),
          std::pair(3, 0), std::pair(86, 0), std::pair(100, 0)}) {
      // Labels that are alike or empty still label their rows.
      const ChartContent content = Show(rows, 1, ChartType::kBars, spacing, [](ChartContent& c) {
        for (std::string& label : c.row_labels) label = label[7] == '3' ? "" : "10:00:00";
      });
      // One tick and one label per labelled row, at that row, and nothing between two ticks; on
      // white, ticks are the axis line's colour, between the line and the labels.
      const std::vector<int>& labelled = widget_.LabelledRows();
      const int step = labelled.size() > 1 ? labelled[1] : rows;
      const QFontMetricsF metrics(RowAxis()->labelsFont());
      const double width = metrics.horizontalAdvance("10:00:00");
      QCOMPARE(std::ssize(labelled), (rows - 1) / step + 1);
      QVERIFY(spacing == 0 ? !widget_.RowLabelsRotated() : step % std::min(spacing, rows) == 0);
      const QImage image = widget_.view()->grab().toImage();
      const int tick_y = widget_.view()->mapFromScene(0, Chart()->plotArea().bottom() + 2).y();
      const auto dark_at = [&](double x, int y, int half_width) {
        const int column = widget_.view()->mapFromScene(x, 0).x();
        for (int c = column - half_width; c <= column + half_width; ++c) {
          if (qGray(image.pixel(c, y)) < 240) return true;
        }
        return false;
      };
      const auto tick_at = [&](double x) { return dark_at(x, tick_y, 1); };
      // Text in the label's column, just below its tick.
      const auto label_at = [&](double x) {
        for (int y = tick_y + 4; y < tick_y + 4 + metrics.height(); ++y) {
          if (dark_at(x, y, static_cast<int>(metrics.height() / 2) - 1)) return true;
        }
        return false;
      };
      for (int i = 0; i < std::ssize(labelled); ++i) {
        const bool has_text = !content.row_labels[labelled[i]].empty();
        QVERIFY(labelled[i] == i * step && tick_at(X(labelled[i])));
        QVERIFY2(!has_text || label_at(X(labelled[i])), qPrintable(QString::number(labelled[i])));
        if (i > 0 && X(labelled[i]) - X(labelled[i - 1]) > 8) {
          QVERIFY(!tick_at((X(labelled[i]) + X(labelled[i - 1])) / 2));
        }
        if (spacing == 0 && i > 0) QVERIFY(X(labelled[i]) - X(labelled[i - 1]) > width);
      }
      // The axis keeps the room of the widest label, under the plot, upright or turned.
      QCOMPARE(RowAxis()->categoriesLabels(), QStringList{"10:00:00"});
      const double room = widget_.RowLabelsRotated() ? width : metrics.height();
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

  // Regression: zoomed into a few of 1000 rows, the rows in view showed no points. (Which rows
  // keep labels in a zoom is the label layout's table.)
  void zoomedInShowsPoints() {
    Show(1000, 1, ChartType::kLines, 20);
    auto* line = qobject_cast<QLineSeries*>(Chart()->series()[0]);
    QVERIFY(!line->pointsVisible());
    widget_.ZoomToRows(501, 505);
    QCoreApplication::sendPostedEvents();
    QVERIFY(!widget_.LabelledRows().empty() && line->pointsVisible());
    widget_.ResetZoom();
    QVERIFY(!line->pointsVisible() && widget_.LabelledRows()[1] % 20 == 0);
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
    QVERIFY(!widget_.axis_labels().labels.empty() && widget_.LabelledRows().empty());
    QCOMPARE(widget_.axis_labels().labels.front().label.size(),
             std::size_t{5});  // "hh:mm", no date
    QCOMPARE(widget_.VisibleRows(), std::pair(0, 11));
    entry->trigger();
    QVERIFY(!widget_.time_axis() && widget_.time_layout().empty());
    QCOMPARE(Chart()->series().size(), 1);
    widget_.SetMarkedRecord(0);
  }

  // Regression: at 125 rows, labelled every 2nd, the labels were smaller than at 175 rows.
  void rowLabelsAtOneFontSize() {
    Show(175, 1, ChartType::kBars, 4);
    const QFont font = RowAxis()->labelsFont();
    Show(125, 1, ChartType::kBars, 2);
    QCOMPARE(RowAxis()->labelsFont(), font);
    QCOMPARE(widget_.LabelledRows()[1] % 2, 0);
  }

  // Regression: the view answered Qt's tooltip event by hiding the tooltip about a second after
  // it came, and it did not come back while the pointer stayed on the row.
  void toolTipStaysOnTheRow_data() {
    QTest::addColumn<bool>("time_axis");
    QTest::addColumn<QString>("received");
    QTest::newRow("record axis") << false << "received 23:59:50";
    // Regression: the time axis labelled the date and its tooltips did not.
    QTest::newRow("time axis over midnight") << true << "received 2025-03-05 00:00:02";
  }
  void toolTipStaysOnTheRow() {
    QFETCH(bool, time_axis);
    QFETCH(QString, received);
    Show(40, 1, ChartType::kBars, 0, [](ChartContent& c) {
      for (int r = 0; r < 40; ++r) {
        c.row_times[r] = 1741132790 + r;  // 2025-03-04 23:59:50 on
        c.row_labels[r] = QTime(23, 59, 50).addSecs(r).toString("hh:mm:ss").toStdString();
      }
    });
    widget_.SetTimeAxis(time_axis);
    QCoreApplication::sendPostedEvents();
    const int row = time_axis ? 12 : 0;
    const QPoint at = time_axis
                          ? widget_.view()->mapFromScene(Chart()->mapToScene(
                                Chart()->mapToPosition(QPointF(row, 0.5), Chart()->series()[0])))
                          : At(row, 0.5);
    QTest::mouseMove(Viewport(), at);
    QTRY_VERIFY(QToolTip::isVisible());
    const QString shown = QToolTip::text();
    QVERIFY2(shown.contains(received), qPrintable(shown));
    const auto rest = [&] {
      QHelpEvent help(QEvent::ToolTip, at, Viewport()->mapToGlobal(at));
      QApplication::sendEvent(Viewport(), &help);
    };
    rest();
    QTest::qWait(600);  // beyond the time a hidden tooltip takes to go
    QVERIFY(QToolTip::isVisible() && QToolTip::text() == shown);
    QToolTip::hideText();  // as when it timed out
    QTRY_VERIFY(!QToolTip::isVisible());
    rest();
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), shown);
    QTest::mouseMove(Viewport(), QPoint(2, 2));
    QTRY_VERIFY(!QToolTip::isVisible());
    widget_.SetTimeAxis(false);
  }

  // Regression: in line mode record 9 was joined to record 11 over record 10, whose value is not
  // finite, on either axis and when record 10 came live.
  void linesBreakAtValuesThatAreNotFinite_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("time_axis");
    QTest::addColumn<bool>("appended");
    QTest::newRow("infinite, record axis") << qInf() << false << false;
    QTest::newRow("NaN, record axis") << qQNaN() << false << false;
    QTest::newRow("infinite, time axis") << -qInf() << true << false;
    QTest::newRow("NaN, time axis") << qQNaN() << true << false;
    QTest::newRow("NaN came live, record axis") << qQNaN() << false << true;
    QTest::newRow("infinite came live, time axis") << qInf() << true << true;
  }
  void linesBreakAtValuesThatAreNotFinite() {
    QFETCH(double, value);
    QFETCH(bool, time_axis);
    QFETCH(bool, appended);
    widget_.SetTimeAxis(time_axis);
    const ChartContent all =
        Show(14, 1, ChartType::kLines, 0, [&](ChartContent& c) { c.series[0].values[9] = value; });
    if (appended) {
      const auto first_rows = [&all](std::size_t rows) {
        ChartContent content = all;
        content.row_labels.resize(rows);
        content.row_times.resize(rows);
        content.series[0].values.resize(rows);
        return content;
      };
      widget_.SetContent(first_rows(9));
      widget_.AppendRows(first_rows(10));
      widget_.AppendRows(all);
      QCoreApplication::sendPostedEvents();
    }
    // The line holding each record, by its place on the row axis.
    const auto place = [&](int row) {
      return time_axis ? *widget_.time_layout().positions[row] : row;
    };
    const auto line_of = [&](int row) -> QLineSeries* {
      for (QAbstractSeries* shown : Chart()->series()) {
        auto* line = qobject_cast<QLineSeries*>(shown);
        for (const QPointF& point : line->points()) {
          if (point.x() == place(row)) return line;
        }
      }
      return nullptr;
    };
    QVERIFY(line_of(8) && line_of(10) && line_of(9) == nullptr);
    QVERIFY(line_of(8) != line_of(10));
    QCOMPARE(line_of(0), line_of(8));
    QCOMPARE(line_of(13), line_of(10));
    QCOMPARE(line_of(10)->pen().color(), line_of(8)->pen().color());
    int named = 0;
    for (QLegendMarker* marker : Chart()->legend()->markers()) named += marker->isVisible();
    QCOMPARE(named, 1);
    // A series without any value keeps its name in the legend.
    Show(5, 3, ChartType::kLines, 0,
         [](ChartContent& c) { std::ranges::fill(c.series[2].values, qQNaN()); });
    named = 0;
    for (QLegendMarker* marker : Chart()->legend()->markers()) named += marker->isVisible();
    QCOMPARE(named, 3);
    widget_.SetTimeAxis(false);
  }

  // Regression: in the window's screenshot, a grid line of exactly the window grey turned
  // transparent, which keys that grey. No pixel of the chart has it, whatever it shows.
  void noPixelIsTheScreenshotKey_data() {
    QTest::addColumn<ChartType>("type");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("time_axis");
    QTest::newRow("bars") << ChartType::kBars << 1 << false;
    QTest::newRow("grouped lines") << ChartType::kLines << 3 << false;
    QTest::newRow("bars on the time axis") << ChartType::kBars << 3 << true;
  }
  void noPixelIsTheScreenshotKey() {
    QFETCH(ChartType, type);
    QFETCH(int, count);
    QFETCH(bool, time_axis);
    const QRgb key = qRgb(kScreenshotKey.red, kScreenshotKey.green, kScreenshotKey.blue);
    QPalette window_grey = widget_.palette();
    for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button}) {
      window_grey.setColor(role, QColor::fromRgb(key));
    }
    widget_.setPalette(window_grey);
    widget_.SetTimeAxis(time_axis);
    widget_.SetMarkedRecord(30);
    ShowValues(150, type, [](int r) { return std::sin(r / 7.0) * 3 + 0.37; });
    if (count == 3) Show(150, 3, type);
    widget_.view()->setFocus();
    for (const bool zoomed : {false, true}) {
      if (zoomed) widget_.ZoomToRows(20, 37);
      QCoreApplication::sendPostedEvents();
      const QImage image = widget_.view()->grab().toImage().convertToFormat(QImage::Format_RGB32);
      int keyed = 0;
      for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) keyed += (image.pixel(x, y) | 0xFF000000u) == key;
      }
      QCOMPARE(keyed, 0);
    }
    widget_.view()->clearFocus();
    widget_.setPalette(QPalette());
    widget_.SetTimeAxis(false);
    widget_.SetMarkedRecord(0);
  }

  // Regression: the chart is a Tab stop, but showed no sign of having the keyboard focus.
  void focusDrawsAFrame() {
    Show(20, 1, ChartType::kBars);
    widget_.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&widget_));
    const QColor frame(kChartInks.focus_frame.red, kChartInks.focus_frame.green,
                       kChartInks.focus_frame.blue);
    // The middle of each edge of the chart.
    const auto framed = [&] {
      const QImage image = widget_.view()->grab().toImage();
      const int w = image.width();
      const int h = image.height();
      int edges = 0;
      for (const QPoint at :
           {QPoint(0, h / 2), QPoint(w / 2, 0), QPoint(w - 1, h / 2), QPoint(w / 2, h - 1)}) {
        edges += QColor(image.pixel(at)) == frame;
      }
      return edges;
    };
    QCOMPARE(widget_.view()->focusPolicy(), Qt::StrongFocus);
    QCOMPARE(framed(), 0);
    widget_.view()->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(widget_.view()->hasFocus());
    QCOMPARE(framed(), 4);
    widget_.view()->clearFocus();
    QCOMPARE(framed(), 0);
  }
};

}  // namespace talphex

QTEST_MAIN(talphex::ChartWidgetTest)

#include "chart_widget_test.moc"
