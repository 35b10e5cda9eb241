#include "chart/chart_widget.h"

#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsRectItem>
#include <QHash>
#include <QLineSeries>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRubberBand>
#include <QSaveFile>
#include <QStandardPaths>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

namespace talphex {
namespace {

constexpr char kMessageTitle[] = "TALPHEX Telemetry Decoder";
// Line charts with at most this many rows show their points as markers too.
constexpr int kMaxRowsWithPointMarkers = 120;
// Bars of charts with more rows are drawn without outline, which would hide their fill.
constexpr int kMaxRowsWithBarOutline = 200;
// The wheel never zooms in closer than this many rows.
constexpr double kMinVisibleRows = 4;
constexpr double kWheelZoomPerNotch = 0.8;
// Appended to a repeated row label: the axis needs distinct labels, and this one is invisible.
constexpr char16_t kZeroWidthSpace = 0x200B;

QColor ToQColor(const Rgb& rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

// Smallest of 1, 2, 5, 10, 20, 50, ... that is at least `minimum`.
int RoundStepUp(double minimum) {
  for (int decade = 1; decade < std::numeric_limits<int>::max() / 10; decade *= 10) {
    for (const int factor : {1, 2, 5}) {
      if (factor * decade >= minimum) return factor * decade;
    }
  }
  return std::numeric_limits<int>::max();
}

}  // namespace

ChartWidget::ChartWidget(QWidget* parent)
    : QWidget(parent),
      chart_(new QChart),
      view_(new QChartView(chart_, this)),
      row_axis_(new QCategoryAxis),
      value_axis_(new QValueAxis),
      mark_(new QGraphicsRectItem(chart_)),
      rubber_band_(new QRubberBand(QRubberBand::Rectangle, view_->viewport())) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);

  chart_->legend()->setAlignment(Qt::AlignBottom);
  chart_->setBackgroundRoundness(0);
  chart_->setMargins(QMargins(4, 4, 8, 0));
  chart_->layout()->setContentsMargins(0, 0, 0, 0);
  chart_->setAnimationOptions(QChart::NoAnimation);

  row_axis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  row_axis_->setGridLineVisible(false);
  row_axis_->setStartValue(-0.5);
  row_axis_->setRange(-0.5, 0.5);
  value_axis_->setRange(0, 1);
  value_axis_->setLabelFormat("%g");
  chart_->addAxis(row_axis_, Qt::AlignBottom);
  chart_->addAxis(value_axis_, Qt::AlignLeft);

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
    UpdateMark();
  });
}

void ChartWidget::SetContent(const ChartContent& content) {
  content_ = content;
  const int rows = static_cast<int>(content_.row_labels.size());
  chart_->removeAllSeries();
  hover_row_ = -1;

  double low = std::numeric_limits<double>::infinity();
  double high = -low;
  if (rows > 0) {
    QBarSeries* bars = nullptr;
    if (content_.type == ChartType::kBars) {
      bars = new QBarSeries;
      bars->setBarWidth(0.8);
      chart_->addSeries(bars);
    }
    for (const ChartSeries& series : content_.series) {
      const QString legend = QString::fromLatin1(series.legend);
      const auto count = std::min<qsizetype>(rows, static_cast<qsizetype>(series.values.size()));
      for (qsizetype r = 0; r < count; ++r) {
        const double value = series.values[static_cast<std::size_t>(r)];
        if (!std::isfinite(value)) continue;
        low = std::min(low, value);
        high = std::max(high, value);
      }
      if (bars != nullptr) {
        auto* set = new QBarSet(legend);
        QList<qreal> values(series.values.begin(), series.values.begin() + count);
        set->append(values);
        bars->append(set);
        if (series.colour) {
          set->setColor(ToQColor(*series.colour));
          set->setBorderColor(ToQColor(*series.colour).darker(130));
        }
        if (rows > kMaxRowsWithBarOutline) set->setPen(Qt::NoPen);
      } else {
        auto* line = new QLineSeries;
        line->setName(legend);
        QList<QPointF> points;
        points.reserve(count);
        for (qsizetype r = 0; r < count; ++r) {
          points.append(
              QPointF(static_cast<double>(r), series.values[static_cast<std::size_t>(r)]));
        }
        line->replace(points);
        chart_->addSeries(line);
        QPen pen = line->pen();
        pen.setWidthF(2);
        if (series.colour) pen.setColor(ToQColor(*series.colour));
        line->setPen(pen);
        if (rows <= kMaxRowsWithPointMarkers) {
          line->setMarkerSize(6);
          line->setPointsVisible(true);
        }
        line->attachAxis(row_axis_);
        line->attachAxis(value_axis_);
      }
    }
    if (bars != nullptr) {
      bars->attachAxis(row_axis_);
      bars->attachAxis(value_axis_);
    }
  }

  // Bars grow from zero, so their scale includes it; a constant series still gets some height.
  if (low > high) {
    low = 0;
    high = 1;
  }
  if (content_.type == ChartType::kBars) {
    low = std::min(low, 0.0);
    high = std::max(high, 0.0);
  }
  const double margin = high > low ? (high - low) * 0.05 : std::max(std::abs(high) * 0.1, 1.0);
  if (content_.type == ChartType::kLines || low < 0) low -= margin;
  if (content_.type == ChartType::kLines || high > 0) high += margin;
  value_axis_->setRange(low, high);
  value_axis_->applyNiceNumbers();
  full_value_min_ = value_axis_->min();
  full_value_max_ = value_axis_->max();

  QFontMetricsF metrics(row_axis_->labelsFont());
  max_label_width_ = metrics.horizontalAdvance(QStringLiteral("00:00:00"));
  for (const std::string& label : content_.row_labels) {
    max_label_width_ =
        std::max(max_label_width_, metrics.horizontalAdvance(QString::fromLatin1(label)));
  }
  labels_stale_ = true;
  row_axis_->setRange(-0.5, std::max(rows, 1) - 0.5);
  UpdateRowLabels();
  UpdateMark();
}

void ChartWidget::SetMarkedRecord(int record_number) {
  marked_record_ = record_number;
  UpdateMark();
}

std::pair<int, int> ChartWidget::VisibleRows() const {
  const int rows = static_cast<int>(content_.row_labels.size());
  const int first = std::max(0, static_cast<int>(std::ceil(row_axis_->min())));
  const int last = std::min(rows - 1, static_cast<int>(std::floor(row_axis_->max())));
  return {first, last};
}

void ChartWidget::ZoomToRows(double first, double last) {
  const double rows = static_cast<double>(std::max<std::size_t>(content_.row_labels.size(), 1));
  const double low = std::max(-0.5, std::min(first, last) - 0.5);
  const double high = std::min(rows - 0.5, std::max(first, last) + 0.5);
  if (high > low) row_axis_->setRange(low, high);
}

void ChartWidget::ResetZoom() {
  const double rows = static_cast<double>(std::max<std::size_t>(content_.row_labels.size(), 1));
  row_axis_->setRange(-0.5, rows - 0.5);
  value_axis_->setRange(full_value_min_, full_value_max_);
}

QImage ChartWidget::RenderImage() {
  rubber_band_->hide();
  return view_->grab().toImage();
}

bool ChartWidget::SavePng(const QString& path, QString* error) {
  const QString shown_path = QDir::toNativeSeparators(path);
  const QImage image = RenderImage();
  if (image.isNull()) {
    *error = tr("Cannot save the chart as %1: the chart could not be drawn.").arg(shown_path);
    return false;
  }
  // QSaveFile writes beside the target and renames at the end, so a failure never leaves a
  // half-written file in place of a good one.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    *error = tr("Cannot save the chart as %1: %2").arg(shown_path, file.errorString());
    return false;
  }
  if (!image.save(&file, "PNG")) {
    const QString reason = file.error() != QFileDevice::NoError
                               ? file.errorString()
                               : tr("the PNG image could not be encoded");
    file.cancelWriting();
    *error = tr("Cannot save the chart as %1: %2").arg(shown_path, reason);
    return false;
  }
  if (!file.commit()) {
    *error = tr("Cannot save the chart as %1: %2").arg(shown_path, file.errorString());
    return false;
  }
  return true;
}

void ChartWidget::SaveChartAsPng() {
  if (save_folder_.isEmpty()) {
    save_folder_ = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  }
  QString path = QFileDialog::getSaveFileName(
      this, tr("Save Chart as PNG"), QDir(save_folder_).filePath(QStringLiteral("chart.png")),
      tr("PNG images (*.png)"));
  if (path.isEmpty()) return;
  if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) path += QStringLiteral(".png");
  save_folder_ = QFileInfo(path).absolutePath();
  QString error;
  if (!SavePng(path, &error)) {
    QMessageBox::warning(this, QString::fromLatin1(kMessageTitle), error);
  }
}

void ChartWidget::CopyChart() { QGuiApplication::clipboard()->setImage(RenderImage()); }

QPoint ChartWidget::RowPosition(int row, double value) const {
  const QRectF plot = chart_->plotArea();
  const double x_span = row_axis_->max() - row_axis_->min();
  const double y_span = value_axis_->max() - value_axis_->min();
  const QPointF in_chart(plot.left() + (row - row_axis_->min()) / x_span * plot.width(),
                         plot.bottom() - (value - value_axis_->min()) / y_span * plot.height());
  return view_->mapFromScene(chart_->mapToScene(in_chart));
}

int ChartWidget::RowAt(QPoint view_position) const {
  const QPointF in_chart = chart_->mapFromScene(view_->mapToScene(view_position));
  if (!chart_->plotArea().contains(in_chart)) return -1;
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
  const double plot_width = chart_->plotArea().width() > 1
                                ? chart_->plotArea().width()
                                : std::max(100.0, static_cast<double>(view_->width()) - 80);
  const double row_width = plot_width / (row_axis_->max() - row_axis_->min());
  const double label_room = max_label_width_ + QFontMetricsF(row_axis_->labelsFont()).height();
  // The content's spacing holds at every zoom; the automatic one keeps the labels apart.
  int step = content_.label_spacing;
  if (step <= 0) step = RoundStepUp(label_room / row_width);
  const bool rotated = step * row_width < label_room;
  if (!labels_stale_ && step == label_step_ && rotated == labels_rotated_) return;
  labels_stale_ = false;
  label_step_ = step;
  labels_rotated_ = rotated;

  // Removing from the end keeps each removal cheap.
  const QStringList old_labels = row_axis_->categoriesLabels();
  for (auto label = old_labels.crbegin(); label != old_labels.crend(); ++label) {
    row_axis_->remove(*label);
  }
  row_axis_->setStartValue(-0.5);
  QHash<QString, int> repeats;
  for (int r = 0; r < rows; r += step) {
    QString label = QString::fromLatin1(content_.row_labels[static_cast<std::size_t>(r)]);
    const int seen = repeats[label]++;
    if (seen > 0) label += QString(seen, QChar(kZeroWidthSpace));
    row_axis_->append(label, r);
  }
  row_axis_->setLabelsAngle(rotated ? -90 : 0);
}

void ChartWidget::UpdateMark() {
  const int rows = static_cast<int>(content_.row_labels.size());
  const QRectF plot = chart_->plotArea();
  if (marked_record_ < 1 || marked_record_ > rows || plot.width() <= 0) {
    mark_->hide();
    return;
  }
  const double x_span = row_axis_->max() - row_axis_->min();
  const double centre =
      plot.left() + (marked_record_ - 1 - row_axis_->min()) / x_span * plot.width();
  const double half_width = std::max(1.5, plot.width() / x_span / 2);
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
        emit recordClicked(row + 1);
      }
      return true;
    }
    case QEvent::MouseButtonDblClick:
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

void ChartWidget::ShowContextMenu(QPoint global_position) {
  QMenu menu(this);
  connect(menu.addAction(tr("Save Chart as PNG...")), &QAction::triggered, this,
          &ChartWidget::SaveChartAsPng);
  connect(menu.addAction(tr("Copy Chart")), &QAction::triggered, this, &ChartWidget::CopyChart);
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
  value_axis_->setRange(bottom, top);
  row_axis_->setRange(left, right);
}

void ChartWidget::ZoomWheel(QPoint view_position, int angle_delta) {
  const double rows = static_cast<double>(content_.row_labels.size());
  if (rows < 1 || angle_delta == 0) return;
  const double low = row_axis_->min();
  const double high = row_axis_->max();
  const double span = high - low;
  const double full_span = rows;
  const double new_span = std::clamp(span * std::pow(kWheelZoomPerNotch, angle_delta / 120.0),
                                     std::min(kMinVisibleRows, full_span), full_span);
  const QPointF in_chart = chart_->mapFromScene(view_->mapToScene(view_position));
  double anchor = RowValueAt(in_chart.x());
  if (!(anchor >= low && anchor <= high)) anchor = (low + high) / 2;
  // The row under the cursor stays where it is.
  double new_low = anchor - (anchor - low) * new_span / span;
  new_low = std::clamp(new_low, -0.5, rows - 0.5 - new_span);
  row_axis_->setRange(new_low, new_low + new_span);
}

}  // namespace talphex
