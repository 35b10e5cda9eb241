// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/chart_widget.h"

#include <QAction>
#include <QApplication>
#include <QAreaSeries>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGraphicsItem>
#include <QGraphicsLayout>
#include <QGraphicsRectItem>
#include <QHash>
#include <QHelpEvent>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QStandardPaths>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "core/chart/chart_scale.h"
#include "core/view/program_info.h"
#include "gui/file_name.h"
#include "gui/screenshot.h"

namespace talphex {
namespace {

// Line charts with at most this many rows show their points as markers too.
constexpr int kMaxRowsWithPointMarkers = 120;
// Radius in pixels of the dot on a value beyond a limit.
constexpr double kLimitDotRadius = 3.5;
// Bars of charts with more rows are drawn without outline, which would hide their fill.
constexpr int kMaxRowsWithBarOutline = 200;
// Appended to a repeated row label: the axis needs distinct labels, and this one is invisible.
constexpr char16_t kZeroWidthSpace = 0x200B;
// Length of the axis ticks in Qt Charts; labels start below them.
constexpr double kAxisTickLength = 4;
// Where the record axis's one category ends, at the left edge of the first row. Its tick and
// label are never seen: the axis line is hidden and its labels are transparent.
constexpr double kRoomCategoryEnd = -0.5;

// Width of the border drawn while the chart has the keyboard focus.
constexpr double kFocusFrameWidth = 2;

QColor ToQColor(const Rgb& rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

// Category labels must differ; a repeated text gets invisible characters appended.
QString DistinctLabel(const QString& text, QHash<QString, int>& repeats) {
  const int seen = repeats[text]++;
  return seen > 0 ? text + QString(seen, QChar(kZeroWidthSpace)) : text;
}

}  // namespace

// Paints the record axis under the plot: its line, a tick at each label and the labels. The
// category axis only reserves the room, through one invisible label as wide as the widest here:
// Qt Charts lays out every category label as HTML on each change of range, which made zooming
// and a live chart's growth slow, and it would cut upright labels down to the width between two
// ticks. Labels are painted whole; the layout spaces them so that none overlaps the one before,
// and one that still would (pushed in from the chart's edge) is left out rather than drawn over.
// Paints what the chart draws over its series (a field's limits and the values beyond them)
// through its widget, in chart coordinates, clipped to the plot.
class OverlayItem : public QGraphicsItem {
 public:
  OverlayItem(QChart* chart, std::function<void(QPainter*)> paint)
      : QGraphicsItem(chart), chart_(chart), paint_(std::move(paint)) {}

  QRectF boundingRect() const override { return chart_->rect(); }

  void paint(QPainter* painter, const QStyleOptionGraphicsItem* /*option*/,
             QWidget* /*widget*/) override {
    painter->setClipRect(chart_->plotArea());
    paint_(painter);
  }

 private:
  QChart* chart_;
  std::function<void(QPainter*)> paint_;
};

class RowLabelsItem : public QGraphicsItem {
 public:
  RowLabelsItem(QChart* chart, QValueAxis* row_axis)
      : QGraphicsItem(chart), chart_(chart), row_axis_(row_axis) {}

  void SetLabels(std::vector<std::pair<double, QString>> labels, bool rotated, const QFont& font,
                 const QColor& colour) {
    prepareGeometryChange();
    labels_ = std::move(labels);
    rotated_ = rotated;
    font_ = font;
    // Unset properties would come from the view's font, which the window may make bold.
    font_.setResolveMask(QFont::AllPropertiesResolved);
    colour_ = colour;
    update();
  }

  QRectF boundingRect() const override { return chart_->rect(); }

  void paint(QPainter* painter, const QStyleOptionGraphicsItem* /*option*/,
             QWidget* /*widget*/) override {
    const QRectF plot = chart_->plotArea();
    const double span = row_axis_->max() - row_axis_->min();
    // An axis without rows is hidden, and draws nothing.
    if (!row_axis_->isVisible() || plot.width() <= 0 || span <= 0) return;
    const QPen line_pen = row_axis_->linePen();
    painter->setPen(line_pen);
    painter->drawLine(QLineF(plot.left(), plot.bottom(), plot.right(), plot.bottom()));
    painter->setFont(font_);
    const QFontMetricsF metrics(font_);
    const double top = plot.bottom() + kAxisTickLength;
    const double right_edge = chart_->rect().right();
    double free_from = -std::numeric_limits<double>::infinity();
    for (const auto& [position, text] : labels_) {
      const double x = plot.left() + (position - row_axis_->min()) / span * plot.width();
      if (x < plot.left() - 0.5 || x > plot.right() + 0.5) continue;
      painter->setPen(line_pen);
      painter->drawLine(QLineF(x, plot.bottom(), x, top));
      painter->setPen(colour_);
      if (rotated_) {
        const double half_height = metrics.height() / 2;
        if (x - half_height < free_from) continue;  // never, by the layout's rule
        painter->save();
        painter->translate(x, top);
        painter->rotate(-90);
        painter->drawText(QRectF(-plot.height(), -half_height, plot.height(), 2 * half_height),
                          Qt::AlignRight | Qt::AlignVCenter, text);
        painter->restore();
        // The layout spaces turned labels exactly this far apart: rounding must not drop one.
        free_from = x + half_height + kTurnedLabelGap - 1e-6;
      } else {
        const double width = metrics.horizontalAdvance(text);
        const double left = std::clamp(x - width / 2, 0.0, right_edge - width);
        if (left < free_from) continue;
        painter->drawText(QRectF(left, top, width + 1, metrics.height()), Qt::AlignLeft, text);
        free_from = left + width + metrics.averageCharWidth();
      }
    }
  }

 private:
  QChart* chart_;
  QValueAxis* row_axis_;
  std::vector<std::pair<double, QString>> labels_;
  bool rotated_ = false;
  QFont font_;
  QColor colour_;
};

ChartWidget::ChartWidget(QWidget* parent)
    : QWidget(parent),
      row_view_(std::make_unique<RecordAxisView>(0)),
      chart_(new QChart),
      view_(new QChartView(chart_, this)),
      row_axis_(new QCategoryAxis),
      value_axis_(new QCategoryAxis),
      mark_(new QGraphicsRectItem(chart_)),
      labels_item_(new RowLabelsItem(chart_, row_axis_)),
      limits_item_(new OverlayItem(chart_, [this](QPainter* painter) { PaintLimits(painter); })),
      rubber_band_(new QRubberBand(QRubberBand::Rectangle, view_->viewport())),
      click_timer_(new QTimer(this)),
      time_axis_action_(new QAction(tr("Time Axis"), this)) {
  time_axis_action_->setObjectName(QStringLiteral("TimeAxis"));
  time_axis_action_->setCheckable(true);
  connect(time_axis_action_, &QAction::toggled, this, &ChartWidget::SetTimeAxis);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  SetUpAxes();
  SetUpView();
  // A click picks a record once it is clear that it does not begin a double-click.
  click_timer_->setSingleShot(true);
  click_timer_->setInterval(QApplication::doubleClickInterval());
  connect(click_timer_, &QTimer::timeout, this, &ChartWidget::EmitPendingClick);
}

void ChartWidget::SetUpAxes() {
  chart_->legend()->setAlignment(Qt::AlignBottom);
  chart_->legend()->setLabelColor(ToQColor(kChartInks.text));
  chart_->setBackgroundRoundness(0);
  chart_->setBackgroundBrush(ToQColor(kChartInks.background));
  chart_->setBackgroundPen(Qt::NoPen);
  // Room above the plot for the half of the top tick's label that stands over it.
  chart_->setMargins(QMargins(4, 9, 8, 0));
  chart_->layout()->setContentsMargins(0, 0, 0, 0);
  chart_->setAnimationOptions(QChart::NoAnimation);

  row_axis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  row_axis_->setGridLineVisible(false);
  row_axis_->setStartValue(-0.5);
  row_axis_->setRange(-0.5, 0.5);
  row_axis_->setLinePenColor(ToQColor(kChartInks.axis_line));
  // Ticks and labels of the value axis are categories, labelled in the record view's texts.
  value_axis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  value_axis_->setRange(0, 1);
  value_axis_->setLabelsColor(ToQColor(kChartInks.text));
  value_axis_->setLinePenColor(ToQColor(kChartInks.axis_line));
  value_axis_->setGridLineColor(ToQColor(kChartInks.grid_line));
  chart_->addAxis(row_axis_, Qt::AlignBottom);
  chart_->addAxis(value_axis_, Qt::AlignLeft);
  label_colour_ = ToQColor(kChartInks.text);
  label_font_ = row_axis_->labelsFont();
  // The axis lays out an invisible label to keep the labels' room; RowLabelsItem paints the line,
  // the ticks and the real labels.
  row_axis_->setLabelsColor(Qt::transparent);
  row_axis_->setLineVisible(false);

  mark_->setBrush(QColor(255, 190, 0, 70));
  mark_->setPen(QPen(QColor(220, 130, 0), 1));
  mark_->setZValue(100);  // above the series
  mark_->hide();
  limits_item_->setZValue(90);
  connect(value_axis_, &QValueAxis::rangeChanged, this, [this] { limits_item_->update(); });
  connect(chart_, &QChart::plotAreaChanged, this, [this] {
    UpdateRowLabels();
    UpdateMark();
  });
  connect(row_axis_, &QValueAxis::rangeChanged, this, [this] {
    UpdateRowLabels();
    UpdatePointMarkers();
    UpdateMark();
  });
}

void ChartWidget::SetUpView() {
  view_->setRenderHint(QPainter::Antialiasing);
  view_->setFrameShape(QFrame::NoFrame);
  view_->setBackgroundBrush(ToQColor(kChartInks.background));
  // The view is the chart's Tab stop.
  view_->setFocusPolicy(Qt::StrongFocus);
  view_->installEventFilter(this);
  view_->viewport()->setMouseTracking(true);
  view_->viewport()->installEventFilter(this);
}

void ChartWidget::SetContent(const ChartContent& content) {
  content_ = content;
  value_range_ = {};
  ExtendValueRange(value_range_, content_, 0);
  // The limits are in view with the values, so that one sees how near they come.
  if (limits_ && content_.series.size() == 1 && !content_.row_labels.empty()) {
    for (const auto& limit :
         {limits_->red_low, limits_->yellow_low, limits_->yellow_high, limits_->red_high}) {
      if (!limit) continue;
      value_range_.low = std::min(value_range_.low, *limit);
      value_range_.high = std::max(value_range_.high, *limit);
    }
  }
  Rebuild();
}

void ChartWidget::SetLimits(std::optional<FieldLimits> limits) { limits_ = std::move(limits); }

void ChartWidget::PaintLimits(QPainter* painter) const {
  if (!limits_ || content_.series.size() != 1 || content_.row_labels.empty()) return;
  const QRectF plot = chart_->plotArea();
  const double low = value_axis_->min();
  const double span = value_axis_->max() - low;
  if (plot.height() <= 0 || span <= 0) return;
  const auto y_of = [&](double value) {
    return plot.bottom() - (value - low) / span * plot.height();
  };
  const QColor yellow = ToQColor(kChartInks.limit_yellow);
  const QColor red = ToQColor(kChartInks.limit_red);
  painter->setRenderHint(QPainter::Antialiasing, false);
  const std::pair<const std::optional<double>&, const QColor&> lines[] = {
      {limits_->red_low, red},
      {limits_->yellow_low, yellow},
      {limits_->yellow_high, yellow},
      {limits_->red_high, red}};
  for (const auto& [limit, colour] : lines) {
    if (!limit) continue;
    painter->setPen(QPen(colour, 2, Qt::DashLine));
    painter->drawLine(QLineF(plot.left(), y_of(*limit), plot.right(), y_of(*limit)));
  }
  // Each value beyond a limit is a dot in the limit's colour on its point or its bar's end.
  painter->setRenderHint(QPainter::Antialiasing, true);
  painter->setPen(Qt::NoPen);
  const AxisPixels pixels = Pixels();
  const std::vector<double>& values = content_.series.front().values;
  const auto [first, last] = VisibleRows();
  for (int row = std::max(first, 0); row <= last && row < std::ssize(values); ++row) {
    const double value = values[static_cast<std::size_t>(row)];
    const Level level = LevelOf(*limits_, value);
    const std::optional<double> position = row_view_->Position(row);
    if ((level != Level::kYellow && level != Level::kRed) || !position) continue;
    painter->setBrush(level == Level::kRed ? red : yellow);
    painter->drawEllipse(QPointF(pixels.PixelOf(*position), y_of(DrawnValue(value))),
                         kLimitDotRadius, kLimitDotRadius);
  }
}

void ChartWidget::Rebuild() {
  chart_->removeAllSeries();
  open_lines_.assign(content_.series.size(), nullptr);
  line_colours_.assign(content_.series.size(), QColor());
  hover_row_ = -1;
  click_timer_->stop();
  row_view_ = MakeRowAxisView(content_, time_axis_);
  const bool any_rows = !content_.row_labels.empty();
  if (any_rows) {
    if (content_.type == ChartType::kLines) {
      AddLines();
    } else {
      row_view_->OneSlotPerRow() ? AddBars() : AddOutlinedBars();
    }
  }
  full_scale_ = ScaleRange(value_range_, content_.type);
  ShowValueScale(full_scale_);
  // An empty plot shows its frame only; an axis without rows would keep stale pieces.
  value_axis_->setLabelsVisible(any_rows);
  row_axis_->setVisible(any_rows);
  max_label_width_ = QFontMetricsF(label_font_).horizontalAdvance(QStringLiteral("00:00:00"));
  MeasureRowLabels(0);
  labels_stale_ = true;
  SetShown(row_view_->FullRange());
  UpdateRowLabels();
  UpdateMark();
}

void ChartWidget::MeasureRowLabels(std::size_t from_row) {
  const QFontMetricsF metrics(label_font_);
  for (std::size_t r = from_row; r < content_.row_labels.size(); ++r) {
    const double width = metrics.horizontalAdvance(QString::fromLatin1(content_.row_labels[r]));
    if (width > max_label_width_) {
      max_label_width_ = width;
      labels_stale_ = true;
    }
  }
}

void ChartWidget::SetTimeAxis(bool on) {
  if (on == time_axis_) return;
  time_axis_ = on;
  time_axis_action_->setChecked(on);
  Rebuild();
}

const TimeAxis& ChartWidget::time_layout() const {
  static const TimeAxis kNoLayout;
  const auto* time_view = dynamic_cast<const TimeAxisView*>(row_view_.get());
  return time_view ? time_view->layout() : kNoLayout;
}

AxisSpan ChartWidget::Shown() const { return {row_axis_->min(), row_axis_->max()}; }

AxisPixels ChartWidget::Pixels() const {
  const QRectF plot = chart_->plotArea();
  return {Shown(), plot.left(), plot.width()};
}

void ChartWidget::SetShown(AxisSpan span) { row_axis_->setRange(span.low, span.high); }

QLineSeries* ChartWidget::AddLine(std::size_t k, const QList<QPointF>& points) {
  const ChartSeries& series = content_.series[k];
  auto* line = new QLineSeries;
  line->setName(QString::fromLatin1(series.legend));
  line->replace(points);
  chart_->addSeries(line);
  QPen pen = line->pen();
  pen.setWidthF(2);
  if (series.colour) pen.setColor(ToQColor(*series.colour));
  if (line_colours_[k].isValid()) {
    pen.setColor(line_colours_[k]);
    for (QLegendMarker* marker : chart_->legend()->markers(line)) marker->setVisible(false);
  }
  line_colours_[k] = pen.color();
  line->setPen(pen);
  line->setMarkerSize(3);
  line->setPointsVisible(row_view_->RowsInView(Shown()) <= kMaxRowsWithPointMarkers);
  line->attachAxis(row_axis_);
  line->attachAxis(value_axis_);
  return line;
}

void ChartWidget::AddLines() {
  // One line for each stretch of rows with finite values within a run: a gap in time or a value
  // that is not finite breaks the line. All lines of a series share its colour and the legend
  // names each series once.
  const std::vector<std::vector<int>> runs = row_view_->Runs();
  for (std::size_t k = 0; k < content_.series.size(); ++k) {
    const std::vector<double>& values = content_.series[k].values;
    for (const std::vector<int>& run : runs) {
      for (const std::vector<int>& segment : LineSegments(run, values)) {
        QList<QPointF> points;
        points.reserve(std::ssize(segment));
        for (const int r : segment) {
          points.append(
              QPointF(*row_view_->Position(r), DrawnValue(values[static_cast<std::size_t>(r)])));
        }
        QLineSeries* line = AddLine(k, points);
        // Rows appended later extend the line that holds the last row.
        open_lines_[k] = segment.back() + 1 == row_view_->rows() ? line : nullptr;
      }
    }
    // A series without a value still has its name in the legend.
    if (!line_colours_[k].isValid()) open_lines_[k] = AddLine(k, {});
  }
  UpdatePointMarkers();
}

void ChartWidget::AddOutlinedBars() {
  // All bars of a series are one area: its outline climbs from zero to each value and back, so
  // the bars stay apart; the series of a grouped chart share each record's room side by side.
  const auto count = static_cast<int>(content_.series.size());
  const std::vector<std::vector<int>> runs = row_view_->Runs();
  for (int k = 0; k < count; ++k) {
    const ChartSeries& series = content_.series[static_cast<std::size_t>(k)];
    const QList<qreal> values = DrawnValues(series);
    QList<QPointF> outline;
    for (const std::vector<int>& run : runs) {
      for (const int r : run) {
        if (r >= values.size() || std::isnan(values[r])) continue;
        const AxisSpan bar = row_view_->BarSpan(r, k, count);
        outline.append({QPointF(bar.low, 0), QPointF(bar.low, values[r]),
                        QPointF(bar.high, values[r]), QPointF(bar.high, 0)});
      }
    }
    if (outline.isEmpty()) continue;
    auto* upper = new QLineSeries;
    auto* lower = new QLineSeries;
    upper->replace(outline);
    lower->append({QPointF(outline.front().x(), 0), QPointF(outline.back().x(), 0)});
    auto* area = new QAreaSeries(upper, lower);
    upper->setParent(area);
    lower->setParent(area);
    area->setName(QString::fromLatin1(series.legend));
    chart_->addSeries(area);
    if (series.colour) {
      area->setColor(ToQColor(*series.colour));
      area->setBorderColor(ToQColor(*series.colour).darker(130));
    }
    area->attachAxis(row_axis_);
    area->attachAxis(value_axis_);
  }
}

bool ChartWidget::Extends(const ChartContent& content) const {
  const std::size_t had = content_.row_labels.size();
  if (content.kind != content_.kind || content.type != content_.type ||
      content.series.size() != content_.series.size() || had == 0 ||
      content.row_labels.size() < had) {
    return false;
  }
  const QList<QAbstractSeries*> shown = chart_->series();
  if (content.type == ChartType::kBars) {
    return !row_view_->OneSlotPerRow() ||
           (shown.size() == 1 && qobject_cast<QBarSeries*>(shown.front()) != nullptr);
  }
  return open_lines_.size() == content.series.size();
}

void ChartWidget::AppendRows(const ChartContent& content) {
  if (!Extends(content)) {
    SetContent(content);
    return;
  }
  const std::size_t had = content_.row_labels.size();
  const std::size_t rows = content.row_labels.size();
  if (rows == had) return;
  const bool full_values =
      value_axis_->min() == full_scale_.low && value_axis_->max() == full_scale_.high;
  content_ = content;
  ExtendValueRange(value_range_, content_, had);
  // Placed by time, a new record may close a gap or change the date: the rows are laid out anew.
  if (!row_view_->OneSlotPerRow()) {
    Rebuild();
    return;
  }
  const bool view_at_end = row_axis_->max() >= static_cast<double>(had) - 0.5;
  row_view_ = MakeRowAxisView(content_, time_axis_);
  content_.type == ChartType::kBars ? AppendBarValues(had) : AppendLinePoints(had);
  if (const ValueScale scale = ScaleRange(value_range_, content_.type); scale != full_scale_) {
    full_scale_ = scale;
    if (full_values) ShowValueScale(scale);
  }
  // The rows that carry labels are laid out again; the labels are rebuilt only when that layout
  // changes, or when a new label is wider than any before.
  MeasureRowLabels(had);
  if (view_at_end) {
    // Redraws the labels, point markers and mark through rangeChanged.
    SetShown({row_axis_->min(), row_view_->FullRange().high});
  } else {
    UpdateRowLabels();
    UpdateMark();
  }
}

void ChartWidget::AppendBarValues(std::size_t from_row) {
  const std::size_t rows = content_.row_labels.size();
  const QList<QBarSet*> sets = qobject_cast<QBarSeries*>(chart_->series().front())->barSets();
  for (qsizetype k = 0; k < sets.size(); ++k) {
    const ChartSeries& series = content_.series[static_cast<std::size_t>(k)];
    QList<qreal> values;
    for (std::size_t r = from_row; r < rows; ++r) {
      const double value = r < series.values.size() ? DrawnValue(series.values[r])
                                                    : std::numeric_limits<double>::quiet_NaN();
      values.append(std::isnan(value) ? 0 : value);
    }
    sets[k]->append(values);
    if (rows > kMaxRowsWithBarOutline) sets[k]->setPen(Qt::NoPen);
  }
}

void ChartWidget::AppendLinePoints(std::size_t from_row) {
  std::vector<int> new_rows;
  for (auto r = from_row; r < content_.row_labels.size(); ++r) {
    new_rows.push_back(static_cast<int>(r));
  }
  for (std::size_t k = 0; k < content_.series.size(); ++k) {
    const std::vector<double>& values = content_.series[k].values;
    const std::vector<std::vector<int>> segments = LineSegments(new_rows, values);
    for (std::size_t i = 0; i < segments.size(); ++i) {
      QList<QPointF> points;
      for (const int r : segments[i]) {
        points.append(QPointF(r, DrawnValue(values[static_cast<std::size_t>(r)])));
      }
      // The first stretch goes on the line on show, unless a gap came before it.
      const bool continues = i == 0 && open_lines_[k] && segments[i].front() == new_rows.front();
      if (continues) {
        open_lines_[k]->append(points);
      } else {
        open_lines_[k] = AddLine(k, points);
      }
    }
    if (segments.empty() || segments.back().back() != new_rows.back()) open_lines_[k] = nullptr;
  }
}

QList<qreal> ChartWidget::DrawnValues(const ChartSeries& series) const {
  const auto count = std::min(content_.row_labels.size(), series.values.size());
  QList<qreal> values;
  values.reserve(static_cast<qsizetype>(count));
  for (std::size_t r = 0; r < count; ++r) {
    values.append(DrawnValue(series.values[r]));
  }
  return values;
}

void ChartWidget::AddBars() {
  const int rows = static_cast<int>(content_.row_labels.size());
  // Bar sets are complete before the series meets the chart, which then builds its bars once.
  auto* bars = new QBarSeries;
  bars->setBarWidth(0.8);
  QList<QBarSet*> bar_sets;
  for (const ChartSeries& series : content_.series) {
    auto* set = new QBarSet(QString::fromLatin1(series.legend));
    QList<qreal> values = DrawnValues(series);
    // A value that is not finite has no bar.
    for (qreal& value : values) {
      if (std::isnan(value)) value = 0;
    }
    set->append(values);
    bar_sets.append(set);
    if (series.colour) {
      set->setColor(ToQColor(*series.colour));
      set->setBorderColor(ToQColor(*series.colour).darker(130));
    }
    if (rows > kMaxRowsWithBarOutline) set->setPen(Qt::NoPen);
  }
  bars->append(bar_sets);
  chart_->addSeries(bars);
  bars->attachAxis(row_axis_);
  bars->attachAxis(value_axis_);
}

void ChartWidget::SetMarkedRecord(int record_number) {
  marked_record_ = record_number;
  UpdateMark();
}

std::pair<int, int> ChartWidget::VisibleRows() const { return row_view_->VisibleRows(Shown()); }

void ChartWidget::ZoomToRows(double first, double last) {
  if (const std::optional<AxisSpan> span = row_view_->ZoomToRows(first, last)) SetShown(*span);
}

void ChartWidget::ResetZoom() {
  SetShown(row_view_->FullRange());
  ShowValueScale(full_scale_);
}

void ChartWidget::ShowValueScale(const ValueScale& scale) {
  value_axis_->setRange(scale.low, scale.high);
  // Removing from the end keeps each removal cheap.
  const QStringList old_labels = value_axis_->categoriesLabels();
  for (auto label = old_labels.crbegin(); label != old_labels.crend(); ++label) {
    value_axis_->remove(*label);
  }
  value_axis_->setStartValue(scale.low - scale.interval);
  QHash<QString, int> repeats;
  for (const double tick : ValueTicks(scale.low, scale.high, scale.interval)) {
    const QString text = QString::fromLatin1(ValueLabel(tick, scale.interval, decimal_separator_));
    value_axis_->append(DistinctLabel(text, repeats), tick);
  }
}

void ChartWidget::UpdatePointMarkers() {
  // Few rows in view, whether zoomed or not, show their points.
  const bool visible = row_view_->RowsInView(Shown()) <= kMaxRowsWithPointMarkers;
  for (QAbstractSeries* series : chart_->series()) {
    if (auto* line = qobject_cast<QLineSeries*>(series); line && line->pointsVisible() != visible) {
      line->setPointsVisible(visible);
    }
  }
}

QImage ChartWidget::RenderImage() {
  rubber_band_->hide();
  // The chart lays itself out in posted events; a grab right after SetContent must see them.
  QCoreApplication::sendPostedEvents();
  const QImage plot = view_->grab().toImage();
  if (title_.isEmpty() || plot.isNull()) return plot;
  // The title line above the plot, so that a copied picture still names the field and its unit.
  const QFontMetrics metrics(title_font_);
  const int title_height = metrics.height() + 6;
  QImage picture(plot.width(), plot.height() + title_height, QImage::Format_RGB32);
  picture.setDevicePixelRatio(plot.devicePixelRatio());
  picture.fill(palette().color(QPalette::Window));
  QPainter painter(&picture);
  painter.setFont(title_font_);
  painter.setPen(palette().color(QPalette::WindowText));
  const double ratio = plot.devicePixelRatio();
  painter.drawText(QRect(4, 0, static_cast<int>(plot.width() / ratio) - 8, title_height),
                   Qt::AlignLeft | Qt::AlignVCenter, title_);
  painter.drawImage(QPoint(0, title_height), plot);
  painter.end();
  return picture;
}

Status ChartWidget::SavePng(const QString& path) {
  const QImage image = RenderImage();
  if (image.isNull()) {
    return PathError(ErrorKind::kWriteFailed, EncodeFileName(path).toStdString(),
                     "the chart could not be drawn");
  }
  return talphex::SavePng(image, path, captures_);
}

void ChartWidget::SaveChartAsPng() {
  if (save_folder_.isEmpty()) {
    save_folder_ = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  }
  // The proposed name beside the capture, else "chart.png" in the last folder used.
  const QString proposed =
      save_name_.isEmpty() ? QDir(save_folder_).filePath(QStringLiteral("chart.png")) : save_name_;
  QString path = QFileDialog::getSaveFileName(this, tr("Save Chart as PNG"), proposed,
                                              tr("PNG images (*.png)"));
  if (path.isEmpty()) return;
  if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) path += QStringLiteral(".png");
  save_folder_ = QFileInfo(path).absolutePath();
  if (const Status saved = SavePng(path); !saved) {
    QMessageBox::warning(
        this, QString::fromLatin1(kProgramTitle),
        tr("Cannot save the chart: %1").arg(DecodeFileName(saved.error().message)));
  }
}

void ChartWidget::CopyChart() { QGuiApplication::clipboard()->setImage(RenderImage()); }

QRectF ChartWidget::MarkRect() const { return mark_->isVisible() ? mark_->rect() : QRectF(); }

int ChartWidget::RowAt(QPoint view_position) const {
  const QPointF in_chart = chart_->mapFromScene(view_->mapToScene(view_position));
  if (!chart_->plotArea().contains(in_chart)) return -1;
  const AxisPixels pixels = Pixels();
  return row_view_->RowAt(pixels, pixels.ValueAt(in_chart.x()));
}

LabelRoom ChartWidget::MeasuredLabelRoom() const {
  const QFontMetricsF metrics(label_font_);
  return {max_label_width_, metrics.horizontalAdvance(QStringLiteral("00:00:00")),
          metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")), metrics.height()};
}

void ChartWidget::UpdateRowLabels() {
  const double plot_width = chart_->plotArea().width() > 1
                                ? chart_->plotArea().width()
                                : std::max(100.0, static_cast<double>(view_->width()) - 80);
  AxisLabels labels = row_view_->Labels(content_, Shown(), plot_width, MeasuredLabelRoom());
  if (!labels_stale_ && labels == axis_labels_) {
    labels_item_->update();
    return;
  }
  labels_stale_ = false;
  axis_labels_ = std::move(labels);
  ShowRowLabels(axis_labels_);
}

void ChartWidget::ShowRowLabels(const AxisLabels& labels) {
  const QFontMetricsF metrics(label_font_);
  std::vector<std::pair<double, QString>> painted;
  painted.reserve(labels.labels.size());
  QString widest;
  double widest_width = -1;
  for (const TimeTick& label : labels.labels) {
    painted.emplace_back(label.position, QString::fromLatin1(label.label));
    const double width = metrics.horizontalAdvance(painted.back().second);
    if (width > widest_width) {
      widest = painted.back().second;
      widest_width = width;
    }
  }
  row_axis_->setLabelsAngle(labels.rotated ? -90 : 0);
  const QStringList categories = row_axis_->categoriesLabels();
  const bool kept = painted.empty() ? categories.isEmpty()
                                    : categories.size() == 1 && categories.front() == widest;
  if (!kept) {
    for (const QString& category : categories) row_axis_->remove(category);
    row_axis_->setStartValue(kRoomCategoryEnd - 1);
    if (!painted.empty()) row_axis_->append(widest, kRoomCategoryEnd);
  }
  labels_item_->SetLabels(std::move(painted), labels.rotated, label_font_, label_colour_);
}

void ChartWidget::UpdateMark() {
  // The limits overlay moves with the rows as the mark does.
  limits_item_->update();
  const QRectF plot = chart_->plotArea();
  const std::optional<PixelSpan> span =
      marked_record_ >= 1 && marked_record_ <= static_cast<int>(content_.row_labels.size())
          ? row_view_->MarkSpan(marked_record_ - 1, Pixels())
          : std::nullopt;
  if (!span) {
    mark_->hide();
    return;
  }
  mark_->setRect(QRectF(span->left, plot.top(), span->right - span->left, plot.height()));
  mark_->show();
}

void ChartWidget::UpdateFocusFrame() {
  // Drawn inside the chart's edge, where nothing else is.
  chart_->setBackgroundPen(view_->hasFocus()
                               ? QPen(ToQColor(kChartInks.focus_frame), kFocusFrameWidth)
                               : QPen(Qt::NoPen));
}

bool ChartWidget::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
    UpdateFocusFrame();
    return false;
  }
  if (watched == view_->viewport() && ViewportEvent(event)) return true;
  return QWidget::eventFilter(watched, event);
}

// Handles the mouse on the plot; false for events the view handles as it would.
bool ChartWidget::ViewportEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      MousePress(*static_cast<QMouseEvent*>(event));
      return true;
    case QEvent::MouseMove:
      MouseMove(*static_cast<QMouseEvent*>(event));
      return true;
    case QEvent::MouseButtonRelease:
      MouseRelease(*static_cast<QMouseEvent*>(event));
      return true;
    case QEvent::MouseButtonDblClick:
      // The click that began the double-click picks no record.
      click_timer_->stop();
      pending_click_row_ = -1;
      ResetZoom();
      return true;
    case QEvent::Wheel: {
      const auto* wheel = static_cast<QWheelEvent*>(event);
      ZoomWheel(wheel->position().toPoint(), wheel->angleDelta().y());
      return true;
    }
    case QEvent::ContextMenu:
      ShowContextMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
      return true;
    case QEvent::ToolTip: {
      // The view would hide the tooltip, having no item with one; it stays, and comes back
      // after it timed out, while the pointer rests on the row.
      const auto* help = static_cast<QHelpEvent*>(event);
      hover_row_ = -1;
      ShowToolTip(help->pos(), help->globalPos());
      return true;
    }
    case QEvent::Leave:
      hover_row_ = -1;
      QToolTip::hideText();
      return false;
    default:
      return false;
  }
}

void ChartWidget::MousePress(const QMouseEvent& mouse) {
  if (mouse.button() != Qt::LeftButton) return;
  pressed_ = true;
  dragging_ = false;
  press_position_ = mouse.position().toPoint();
  QToolTip::hideText();
}

void ChartWidget::MouseMove(const QMouseEvent& mouse) {
  const QPoint position = mouse.position().toPoint();
  if (!pressed_) {
    ShowToolTip(position, mouse.globalPosition().toPoint());
    return;
  }
  if ((position - press_position_).manhattanLength() >= QApplication::startDragDistance()) {
    dragging_ = true;
  }
  if (dragging_) {
    rubber_band_->setGeometry(QRect(press_position_, position).normalized());
    rubber_band_->show();
  }
}

void ChartWidget::MouseRelease(const QMouseEvent& mouse) {
  if (mouse.button() != Qt::LeftButton || !pressed_) return;
  pressed_ = false;
  if (dragging_) {
    dragging_ = false;
    rubber_band_->hide();
    ZoomToRubberBand(QRect(press_position_, mouse.position().toPoint()).normalized());
  } else if (const int row = RowAt(mouse.position().toPoint()); row >= 0) {
    EmitPendingClick();  // a click before, too far back to pair with this one
    pending_click_row_ = row;
    click_timer_->start();
  }
}

void ChartWidget::EmitPendingClick() {
  click_timer_->stop();
  const int row = std::exchange(pending_click_row_, -1);
  if (row >= 0 && row < static_cast<int>(content_.row_labels.size())) emit recordClicked(row + 1);
}

void ChartWidget::ShowContextMenu(QPoint global_position) {
  QMenu menu(this);
  connect(menu.addAction(tr("Save Chart as PNG...")), &QAction::triggered, this,
          &ChartWidget::SaveChartAsPng);
  connect(menu.addAction(tr("Copy Chart")), &QAction::triggered, this, &ChartWidget::CopyChart);
  menu.addSeparator();
  menu.addAction(time_axis_action_);
  menu.exec(global_position);
}

void ChartWidget::ShowToolTip(QPoint view_position, QPoint global_position) {
  const int row = RowAt(view_position);
  if (row == hover_row_) return;
  hover_row_ = row;
  if (row < 0) {
    QToolTip::hideText();
    return;
  }
  QToolTip::showText(global_position,
                     QString::fromLatin1(row_view_->ToolTip(content_, row, decimal_separator_)),
                     view_->viewport());
}

void ChartWidget::ZoomToRubberBand(QRect rectangle) {
  const QRectF plot = chart_->plotArea();
  const QRectF in_chart =
      chart_->mapFromScene(view_->mapToScene(rectangle)).boundingRect().intersected(plot);
  if (in_chart.width() < 3 || in_chart.height() < 3 || content_.row_labels.empty()) return;
  const double y_span = value_axis_->max() - value_axis_->min();
  const double top = value_axis_->min() + (plot.bottom() - in_chart.top()) / plot.height() * y_span;
  const double bottom =
      value_axis_->min() + (plot.bottom() - in_chart.bottom()) / plot.height() * y_span;
  const AxisPixels pixels = Pixels();
  ShowValueScale({bottom, top, NiceInterval((top - bottom) / kValueTicks)});
  SetShown({pixels.ValueAt(in_chart.left()), pixels.ValueAt(in_chart.right())});
}

void ChartWidget::ZoomWheel(QPoint view_position, int angle_delta) {
  const QPointF in_chart = chart_->mapFromScene(view_->mapToScene(view_position));
  SetShown(row_view_->ZoomWheel(Shown(), Pixels().ValueAt(in_chart.x()), angle_delta));
}

}  // namespace talphex
