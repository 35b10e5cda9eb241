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
// Bars of charts with more rows are drawn without outline, which would hide their fill.
constexpr int kMaxRowsWithBarOutline = 200;
// The wheel never zooms in closer than this many rows, or seconds on the time axis.
constexpr double kMinVisibleRows = 4;
constexpr double kMinVisibleSeconds = 10;
// A click or hover this close to a point of the time axis picks its record.
constexpr double kPickPixels = 6;
constexpr double kWheelZoomPerNotch = 0.8;
// Appended to a repeated row label: the axis needs distinct labels, and this one is invisible.
constexpr char16_t kZeroWidthSpace = 0x200B;
// Length of the axis ticks in Qt Charts; labels start below them.
constexpr double kAxisTickLength = 4;
// Where the record axis's one category ends, at the left edge of the first row. Its tick and
// label are never seen: the axis line is hidden and its labels are transparent.
constexpr double kRoomCategoryEnd = -0.5;

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
// ticks. Labels are painted whole, skipping any that would overlap the one before.
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
      // Every label has its tick, also one left out for overlapping the one before.
      painter->setPen(line_pen);
      painter->drawLine(QLineF(x, plot.bottom(), x, top));
      painter->setPen(colour_);
      if (rotated_) {
        const double half_height = metrics.height() / 2;
        if (x - half_height < free_from) continue;
        painter->save();
        painter->translate(x, top);
        painter->rotate(-90);
        painter->drawText(QRectF(-plot.height(), -half_height, plot.height(), 2 * half_height),
                          Qt::AlignRight | Qt::AlignVCenter, text);
        painter->restore();
        free_from = x + half_height + 1;
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
      chart_(new QChart),
      view_(new QChartView(chart_, this)),
      row_axis_(new QCategoryAxis),
      value_axis_(new QCategoryAxis),
      mark_(new QGraphicsRectItem(chart_)),
      labels_item_(new RowLabelsItem(chart_, row_axis_)),
      rubber_band_(new QRubberBand(QRubberBand::Rectangle, view_->viewport())),
      click_timer_(new QTimer(this)),
      time_axis_action_(new QAction(tr("Time Axis"), this)) {
  time_axis_action_->setObjectName(QStringLiteral("TimeAxis"));
  time_axis_action_->setCheckable(true);
  connect(time_axis_action_, &QAction::toggled, this, &ChartWidget::SetTimeAxis);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);

  chart_->legend()->setAlignment(Qt::AlignBottom);
  chart_->setBackgroundRoundness(0);
  // Room above the plot for the half of the top tick's label that stands over it.
  chart_->setMargins(QMargins(4, 9, 8, 0));
  chart_->layout()->setContentsMargins(0, 0, 0, 0);
  chart_->setAnimationOptions(QChart::NoAnimation);

  row_axis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  row_axis_->setGridLineVisible(false);
  row_axis_->setStartValue(-0.5);
  row_axis_->setRange(-0.5, 0.5);
  // Ticks and labels of the value axis are categories, labelled in the record view's texts.
  value_axis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  value_axis_->setRange(0, 1);
  chart_->addAxis(row_axis_, Qt::AlignBottom);
  chart_->addAxis(value_axis_, Qt::AlignLeft);
  // The theme has styled the axes by now.
  label_colour_ = row_axis_->labelsColor();
  label_font_ = row_axis_->labelsFont();
  // The axis lays out an invisible label to keep the labels' room; RowLabelsItem paints the line,
  // the ticks and the real labels.
  row_axis_->setLabelsColor(Qt::transparent);
  row_axis_->setLineVisible(false);

  mark_->setBrush(QColor(255, 190, 0, 70));
  mark_->setPen(QPen(QColor(220, 130, 0), 1));
  mark_->setZValue(100);  // above the series
  mark_->hide();

  view_->setRenderHint(QPainter::Antialiasing);
  view_->setFrameShape(QFrame::NoFrame);
  view_->viewport()->setMouseTracking(true);
  view_->viewport()->installEventFilter(this);

  connect(chart_, &QChart::plotAreaChanged, this, [this] {
    UpdateRowLabels();
    UpdateMark();
  });
  connect(row_axis_, &QValueAxis::rangeChanged, this, [this] {
    UpdateRowLabels();
    UpdatePointMarkers();
    UpdateMark();
  });
  // A click picks a record once it is clear that it does not begin a double-click.
  click_timer_->setSingleShot(true);
  click_timer_->setInterval(QApplication::doubleClickInterval());
  connect(click_timer_, &QTimer::timeout, this, &ChartWidget::EmitPendingClick);
}

void ChartWidget::SetContent(const ChartContent& content) {
  content_ = content;
  const int rows = static_cast<int>(content_.row_labels.size());
  chart_->removeAllSeries();
  hover_row_ = -1;
  click_timer_->stop();
  time_layout_ = time_axis_ ? LayOutTimeAxis(content_.row_times) : TimeAxis();
  if (rows > 0) {
    const bool bars = content_.type == ChartType::kBars;
    if (time_axis_) {
      bars ? AddTimeBars() : AddTimeLines();
    } else {
      bars ? AddBars() : AddLines();
    }
  }

  full_scale_ = ScaleValues(content_);
  ShowValueScale(full_scale_);
  // An empty plot shows its frame only; an axis without rows would keep stale pieces.
  value_axis_->setLabelsVisible(rows > 0);
  row_axis_->setVisible(rows > 0);

  QFontMetricsF metrics(label_font_);
  max_label_width_ = metrics.horizontalAdvance(QStringLiteral("00:00:00"));
  for (const std::string& label : content_.row_labels) {
    max_label_width_ =
        std::max(max_label_width_, metrics.horizontalAdvance(QString::fromLatin1(label)));
  }
  labels_stale_ = true;
  const auto [low, high] = FullRange();
  row_axis_->setRange(low, high);
  UpdateRowLabels();
  UpdateMark();
}

void ChartWidget::SetTimeAxis(bool on) {
  if (on == time_axis_) return;
  time_axis_ = on;
  time_axis_action_->setChecked(on);
  SetContent(content_);
}

std::pair<double, double> ChartWidget::FullRange() const {
  if (!time_axis_) {
    return {-0.5, static_cast<double>(std::max<std::size_t>(content_.row_labels.size(), 1)) - 0.5};
  }
  if (time_layout_.empty()) return {0, 1};
  // Room for the outer bars, and a span even for a single record.
  const double margin = std::max(
      {1.0, (time_layout_.last - time_layout_.first) / 50,
       *std::max_element(time_layout_.half_widths.begin(), time_layout_.half_widths.end())});
  return {time_layout_.first - margin, time_layout_.last + margin};
}

double ChartWidget::HalfWidth(int row) const {
  if (!time_axis_) return 0.5;
  return time_layout_.half_widths[static_cast<std::size_t>(row)];
}

void ChartWidget::AddTimeLines() {
  // One line for each run of records without a gap, all of a series in its colour; the legend
  // names each series once.
  for (std::size_t k = 0; k < content_.series.size(); ++k) {
    const QList<qreal> values = DrawnValues(content_.series[k]);
    QColor colour;
    for (const std::vector<int>& run : time_layout_.runs) {
      QList<QPointF> points;
      for (const int r : run) {
        if (r >= values.size() || std::isnan(values[r])) continue;
        points.append(QPointF(*time_layout_.positions[static_cast<std::size_t>(r)], values[r]));
      }
      if (points.isEmpty()) continue;
      auto* line = new QLineSeries;
      line->setName(QString::fromLatin1(content_.series[k].legend));
      line->replace(points);
      chart_->addSeries(line);
      QPen pen = line->pen();
      pen.setWidthF(2);
      if (content_.series[k].colour) pen.setColor(ToQColor(*content_.series[k].colour));
      if (colour.isValid()) {
        pen.setColor(colour);
        for (QLegendMarker* marker : chart_->legend()->markers(line)) marker->setVisible(false);
      }
      colour = pen.color();
      line->setPen(pen);
      line->setMarkerSize(3);
      line->attachAxis(row_axis_);
      line->attachAxis(value_axis_);
    }
  }
  UpdatePointMarkers();
}

void ChartWidget::AddTimeBars() {
  // All bars of a series are one area: its outline climbs from zero to each value and back, so
  // the bars stay apart; the series of a grouped chart share each record's room side by side.
  const auto count = static_cast<double>(content_.series.size());
  for (std::size_t k = 0; k < content_.series.size(); ++k) {
    const QList<qreal> values = DrawnValues(content_.series[k]);
    auto* upper = new QLineSeries;
    auto* lower = new QLineSeries;
    for (const std::vector<int>& run : time_layout_.runs) {
      for (const int r : run) {
        if (r >= values.size() || std::isnan(values[r])) continue;
        const double half = time_layout_.half_widths[static_cast<std::size_t>(r)];
        const double left = *time_layout_.positions[static_cast<std::size_t>(r)] - half +
                            2 * half * static_cast<double>(k) / count;
        const double right = left + 2 * half / count;
        upper->append({QPointF(left, 0), QPointF(left, values[r]), QPointF(right, values[r]),
                       QPointF(right, 0)});
      }
    }
    if (upper->count() == 0) {
      delete upper;
      delete lower;
      continue;
    }
    lower->append({QPointF(upper->at(0).x(), 0), QPointF(upper->at(upper->count() - 1).x(), 0)});
    auto* area = new QAreaSeries(upper, lower);
    upper->setParent(area);
    lower->setParent(area);
    area->setName(QString::fromLatin1(content_.series[k].legend));
    chart_->addSeries(area);
    if (content_.series[k].colour) {
      area->setColor(ToQColor(*content_.series[k].colour));
      area->setBorderColor(ToQColor(*content_.series[k].colour).darker(130));
    }
    area->attachAxis(row_axis_);
    area->attachAxis(value_axis_);
  }
}

void ChartWidget::AppendRows(const ChartContent& content) {
  // The time axis lays every row out anew: a new record may close a gap or change the date.
  if (time_axis_) {
    SetContent(content);
    return;
  }
  const auto had = static_cast<qsizetype>(content_.row_labels.size());
  const auto rows = static_cast<qsizetype>(content.row_labels.size());
  const QList<QAbstractSeries*> shown = chart_->series();
  const bool same_series = content.kind == content_.kind && content.type == content_.type &&
                           content.series.size() == content_.series.size() && had > 0;
  const auto expected_series =
      content.type == ChartType::kBars ? 1 : static_cast<qsizetype>(content.series.size());
  if (!same_series || rows < had || shown.size() != expected_series) {
    SetContent(content);
    return;
  }
  if (rows == had) return;
  const bool view_at_end = row_axis_->max() >= static_cast<double>(had) - 0.5;
  const bool full_values =
      value_axis_->min() == full_scale_.low && value_axis_->max() == full_scale_.high;
  content_ = content;
  if (content_.type == ChartType::kBars) {
    const QList<QBarSet*> sets = qobject_cast<QBarSeries*>(shown.front())->barSets();
    for (qsizetype k = 0; k < sets.size(); ++k) {
      const ChartSeries& series = content_.series[static_cast<std::size_t>(k)];
      QList<qreal> values;
      for (qsizetype r = had; r < rows; ++r) {
        const double value = DrawnValue(series.values[static_cast<std::size_t>(r)]);
        values.append(std::isnan(value) ? 0 : value);
      }
      sets[k]->append(values);
      if (rows > kMaxRowsWithBarOutline) sets[k]->setPen(Qt::NoPen);
    }
  } else {
    for (qsizetype k = 0; k < shown.size(); ++k) {
      const ChartSeries& series = content_.series[static_cast<std::size_t>(k)];
      QList<QPointF> points;
      for (qsizetype r = had; r < rows; ++r) {
        const double value = DrawnValue(series.values[static_cast<std::size_t>(r)]);
        if (!std::isnan(value)) points.append(QPointF(static_cast<double>(r), value));
      }
      qobject_cast<QLineSeries*>(shown[k])->append(points);
    }
  }
  if (const ValueScale scale = ScaleValues(content_); scale != full_scale_) {
    full_scale_ = scale;
    if (full_values) ShowValueScale(scale);
  }
  // The rows that carry labels are laid out again; the labels are rebuilt only when that layout
  // changes, or when a new label is wider than any before.
  const QFontMetricsF metrics(label_font_);
  for (qsizetype r = had; r < rows; ++r) {
    const double width = metrics.horizontalAdvance(
        QString::fromLatin1(content_.row_labels[static_cast<std::size_t>(r)]));
    if (width > max_label_width_) {
      max_label_width_ = width;
      labels_stale_ = true;
    }
  }
  if (view_at_end) {
    // Redraws the labels, point markers and mark through rangeChanged.
    row_axis_->setRange(row_axis_->min(), static_cast<double>(rows) - 0.5);
  } else {
    UpdateRowLabels();
    UpdateMark();
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

void ChartWidget::AddLines() {
  const int rows = static_cast<int>(content_.row_labels.size());
  for (const ChartSeries& series : content_.series) {
    auto* line = new QLineSeries;
    line->setName(QString::fromLatin1(series.legend));
    const QList<qreal> values = DrawnValues(series);
    // A value that is not finite has no point.
    QList<QPointF> points;
    points.reserve(values.size());
    for (qsizetype r = 0; r < values.size(); ++r) {
      if (!std::isnan(values[r])) points.append(QPointF(static_cast<double>(r), values[r]));
    }
    line->replace(points);
    chart_->addSeries(line);
    QPen pen = line->pen();
    pen.setWidthF(2);
    if (series.colour) pen.setColor(ToQColor(*series.colour));
    line->setPen(pen);
    line->setMarkerSize(3);
    line->setPointsVisible(rows <= kMaxRowsWithPointMarkers);
    line->attachAxis(row_axis_);
    line->attachAxis(value_axis_);
  }
}

void ChartWidget::SetMarkedRecord(int record_number) {
  marked_record_ = record_number;
  UpdateMark();
}

std::pair<int, int> ChartWidget::VisibleRows() const {
  const int rows = static_cast<int>(content_.row_labels.size());
  if (time_axis_) {
    int first = rows;
    int last = -1;
    for (int r = 0; r < rows; ++r) {
      const auto& position = time_layout_.positions[static_cast<std::size_t>(r)];
      if (!position || *position < row_axis_->min() || *position > row_axis_->max()) continue;
      first = std::min(first, r);
      last = r;
    }
    return {first, last};
  }
  const int first = std::max(0, static_cast<int>(std::ceil(row_axis_->min())));
  const int last = std::min(rows - 1, static_cast<int>(std::floor(row_axis_->max())));
  return {first, last};
}

void ChartWidget::ZoomToRows(double first, double last) {
  if (time_axis_) {
    const auto position = [this](double row) -> std::optional<double> {
      const auto r = static_cast<std::size_t>(std::lround(row));
      return r < time_layout_.positions.size() ? time_layout_.positions[r] : std::nullopt;
    };
    const auto from = position(std::min(first, last));
    const auto to = position(std::max(first, last));
    if (!from || !to) return;
    const double low = std::min(*from, *to) - HalfWidth(static_cast<int>(std::lround(first)));
    const double high = std::max(*from, *to) + HalfWidth(static_cast<int>(std::lround(last)));
    if (high > low) row_axis_->setRange(low, high);
    return;
  }
  const double rows = static_cast<double>(std::max<std::size_t>(content_.row_labels.size(), 1));
  const double low = std::max(-0.5, std::min(first, last) - 0.5);
  const double high = std::min(rows - 0.5, std::max(first, last) + 0.5);
  if (high > low) row_axis_->setRange(low, high);
}

void ChartWidget::ResetZoom() {
  const auto [low, high] = FullRange();
  row_axis_->setRange(low, high);
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
  const bool visible = time_axis_ ? time_layout_.RowsBetween(row_axis_->min(), row_axis_->max()) <=
                                        kMaxRowsWithPointMarkers
                                  : row_axis_->max() - row_axis_->min() <= kMaxRowsWithPointMarkers;
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
  if (time_axis_) {
    const double x = RowValueAt(in_chart.x());
    const double pixel = (row_axis_->max() - row_axis_->min()) / chart_->plotArea().width();
    const int row = time_layout_.NearestRow(x, std::numeric_limits<double>::infinity());
    if (row < 0) return -1;
    const double distance = std::abs(*time_layout_.positions[static_cast<std::size_t>(row)] - x);
    return distance <= std::max(kPickPixels * pixel, HalfWidth(row)) ? row : -1;
  }
  const long row = std::lround(RowValueAt(in_chart.x()));
  if (row < 0 || row >= static_cast<long>(content_.row_labels.size())) return -1;
  return static_cast<int>(row);
}

double ChartWidget::RowValueAt(double chart_x) const {
  const QRectF plot = chart_->plotArea();
  return row_axis_->min() +
         (chart_x - plot.left()) / plot.width() * (row_axis_->max() - row_axis_->min());
}

void ChartWidget::UpdateRowLabels() {
  const int rows = static_cast<int>(content_.row_labels.size());
  const double low = row_axis_->min();
  const double high = row_axis_->max();
  const double plot_width = chart_->plotArea().width() > 1
                                ? chart_->plotArea().width()
                                : std::max(100.0, static_cast<double>(view_->width()) - 80);
  if (time_axis_) {
    UpdateTimeLabels(plot_width);
    return;
  }
  time_ticks_.clear();
  const double label_room = max_label_width_ + QFontMetricsF(label_font_).height();
  RowLabelLayout layout =
      LayOutRowLabels(rows, content_.label_spacing, low, high, plot_width, label_room);
  if (!labels_stale_ && layout == label_layout_) {
    labels_item_->update();
    return;
  }
  labels_stale_ = false;
  label_layout_ = std::move(layout);
  std::vector<std::pair<double, QString>> painted;
  painted.reserve(label_layout_.rows.size());
  for (const int r : label_layout_.rows) {
    painted.emplace_back(r, QString::fromLatin1(content_.row_labels[static_cast<std::size_t>(r)]));
  }
  // One font size at every spacing; labels that would overlap the one before are left out.
  ShowRowLabels(std::move(painted), label_layout_.rotated);
}

void ChartWidget::ShowRowLabels(std::vector<std::pair<double, QString>> labels, bool rotated) {
  const QFontMetricsF metrics(label_font_);
  QString widest;
  double widest_width = -1;
  for (const auto& label : labels) {
    const double width = metrics.horizontalAdvance(label.second);
    if (width > widest_width) {
      widest = label.second;
      widest_width = width;
    }
  }
  row_axis_->setLabelsAngle(rotated ? -90 : 0);
  const QStringList categories = row_axis_->categoriesLabels();
  const bool kept = labels.empty() ? categories.isEmpty()
                                   : categories.size() == 1 && categories.front() == widest;
  if (!kept) {
    for (const QString& category : categories) row_axis_->remove(category);
    row_axis_->setStartValue(kRoomCategoryEnd - 1);
    if (!labels.empty()) row_axis_->append(widest, kRoomCategoryEnd);
  }
  labels_item_->SetLabels(std::move(labels), rotated, label_font_, label_colour_);
}

void ChartWidget::UpdateTimeLabels(double plot_width) {
  label_layout_ = {};
  labels_stale_ = true;
  const QFontMetricsF metrics(label_font_);
  const QString widest =
      time_layout_.dated ? QStringLiteral("0000-00-00 00:00:00") : QStringLiteral("00:00:00");
  const double label_room = metrics.horizontalAdvance(widest) + metrics.height();
  time_ticks_ = TimeTicks(time_layout_, row_axis_->min(), row_axis_->max(),
                          std::max(1.0, std::floor(plot_width / label_room)));
  std::vector<std::pair<double, QString>> painted;
  painted.reserve(time_ticks_.size());
  for (const TimeTick& tick : time_ticks_) {
    painted.emplace_back(tick.position, QString::fromLatin1(tick.label));
  }
  ShowRowLabels(std::move(painted), false);
}

void ChartWidget::UpdateMark() {
  const int rows = static_cast<int>(content_.row_labels.size());
  const QRectF plot = chart_->plotArea();
  const bool placed =
      !time_axis_ || (marked_record_ >= 1 && marked_record_ <= rows &&
                      time_layout_.positions[static_cast<std::size_t>(marked_record_ - 1)]);
  if (marked_record_ < 1 || marked_record_ > rows || plot.width() <= 0 || !placed) {
    mark_->hide();
    return;
  }
  const double x_span = row_axis_->max() - row_axis_->min();
  const double position =
      time_axis_ ? *time_layout_.positions[static_cast<std::size_t>(marked_record_ - 1)]
                 : marked_record_ - 1;
  const double centre = plot.left() + (position - row_axis_->min()) / x_span * plot.width();
  const double half_width = std::max(1.5, plot.width() / x_span * HalfWidth(marked_record_ - 1));
  const double left = std::max(plot.left(), centre - half_width);
  const double right = std::min(plot.right(), centre + half_width);
  if (right <= left) {
    mark_->hide();
    return;
  }
  mark_->setRect(QRectF(left, plot.top(), right - left, plot.height()));
  mark_->show();
}

bool ChartWidget::eventFilter(QObject* watched, QEvent* event) {
  if (watched != view_->viewport()) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton) {
        pressed_ = true;
        dragging_ = false;
        press_position_ = mouse->position().toPoint();
        QToolTip::hideText();
      }
      return true;
    }
    case QEvent::MouseMove: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint position = mouse->position().toPoint();
      if (!pressed_) {
        ShowToolTip(position, mouse->globalPosition().toPoint());
        return true;
      }
      if ((position - press_position_).manhattanLength() >= QApplication::startDragDistance()) {
        dragging_ = true;
      }
      if (dragging_) {
        rubber_band_->setGeometry(QRect(press_position_, position).normalized());
        rubber_band_->show();
      }
      return true;
    }
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton || !pressed_) return true;
      pressed_ = false;
      if (dragging_) {
        dragging_ = false;
        rubber_band_->hide();
        ZoomToRubberBand(QRect(press_position_, mouse->position().toPoint()).normalized());
      } else if (const int row = RowAt(mouse->position().toPoint()); row >= 0) {
        EmitPendingClick();  // a click before, too far back to pair with this one
        pending_click_row_ = row;
        click_timer_->start();
      }
      return true;
    }
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
    case QEvent::Leave:
      hover_row_ = -1;
      QToolTip::hideText();
      return false;
    default:
      return QWidget::eventFilter(watched, event);
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
  QToolTip::showText(
      global_position,
      QString::fromLatin1(PointText(content_, static_cast<std::size_t>(row), decimal_separator_)),
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
  const double left = RowValueAt(in_chart.left());
  const double right = RowValueAt(in_chart.right());
  ShowValueScale({bottom, top, NiceInterval((top - bottom) / kValueTicks)});
  row_axis_->setRange(left, right);
}

void ChartWidget::ZoomWheel(QPoint view_position, int angle_delta) {
  const double rows = static_cast<double>(content_.row_labels.size());
  if (rows < 1 || angle_delta == 0 || (time_axis_ && time_layout_.empty())) return;
  const double low = row_axis_->min();
  const double high = row_axis_->max();
  const double span = high - low;
  const auto [full_low, full_high] = FullRange();
  const double full_span = full_high - full_low;
  const double min_span = time_axis_ ? kMinVisibleSeconds : kMinVisibleRows;
  const double new_span = std::clamp(span * std::pow(kWheelZoomPerNotch, angle_delta / 120.0),
                                     std::min(min_span, full_span), full_span);
  const QPointF in_chart = chart_->mapFromScene(view_->mapToScene(view_position));
  double anchor = RowValueAt(in_chart.x());
  if (!(anchor >= low && anchor <= high)) anchor = (low + high) / 2;
  // The row under the cursor stays where it is.
  double new_low = anchor - (anchor - low) * new_span / span;
  new_low = std::clamp(new_low, full_low, full_high - new_span);
  row_axis_->setRange(new_low, new_low + new_span);
}

}  // namespace talphex
