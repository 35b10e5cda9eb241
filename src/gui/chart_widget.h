// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <memory>
#include <utility>
#include <vector>

#include "core/base/expected.h"
#include "core/chart/chart_model.h"
#include "core/chart/chart_scale.h"
#include "core/chart/chart_view.h"
#include "core/chart/time_axis.h"
#include "core/export/output_plan.h"
#include "core/monitor/limits.h"

class QAction;
class QMouseEvent;
class QPainter;
class QCategoryAxis;
class QChart;
class QChartView;
class QGraphicsRectItem;
class QLineSeries;
class QRubberBand;
class QTimer;

namespace talphex {

class OverlayItem;
class RowLabelsItem;

// Renders a ChartContent with Qt Charts inside the chart frame. It only shows what the core
// computed; choosing what to chart is the window's business.
//
// The user explores the chart with the mouse: hovering shows the record's time and values, the
// wheel zooms the rows around the cursor, dragging a rectangle zooms into it, a double-click shows
// everything again, a click picks a record, and the context menu saves or copies the chart and
// switches the row axis between one slot per record and the records' receive times. The
// arithmetic of the row axis on show (ranges, zooms, picking, the mark) is its RowAxisView's.
//
// The chart is a Tab stop; while it has the keyboard focus its border is drawn in the
// highlight colour.
class ChartWidget : public QWidget {
  Q_OBJECT

 public:
  explicit ChartWidget(QWidget* parent = nullptr);

  // Replaces whatever the chart showed. An empty content shows an empty plot.
  void SetContent(const ChartContent& content);
  // The limits of the field that the next content shows, or none: a single-field chart draws
  // them as dashed lines in their colours, and the values beyond them as dots in the colour of
  // the limit passed.
  void SetLimits(std::optional<FieldLimits> limits);
  const ChartContent& content() const { return content_; }
  // Shows `content`, the content on show with rows appended (see AppendChartRows), by adding only
  // the new points or bars. A view that reaches the last row grows to the new ones; a view zoomed
  // to earlier rows stays. Any other content is shown by SetContent.
  void AppendRows(const ChartContent& content);

  // Marks the record on view (1-based); moving the mark does not rebuild the chart. A number
  // outside the rows hides the mark.
  void SetMarkedRecord(int record_number);
  int marked_record() const { return marked_record_; }

  // Rows placed by receive time (see LayOutTimeAxis) instead of one slot per record; off at
  // first. Records without a receive time are left out while it is on. The context menu's
  // "Time Axis" entry toggles it.
  void SetTimeAxis(bool on);
  bool time_axis() const { return time_axis_; }
  // The layout of the time axis; empty while the record axis is on.
  const TimeAxis& time_layout() const;

  // Decimal separator of the values in the tooltips and on the value axis; '.' unless set.
  void SetDecimalSeparator(char separator) { decimal_separator_ = separator; }

  // The title line of copied and saved pictures (caption and unit), in `font`.
  void SetTitle(const QString& title, const QFont& font) {
    title_ = title;
    title_font_ = font;
  }
  const QString& title() const { return title_; }
  // The path the save dialog proposes; empty: "chart.png" in the last folder used.
  // The proposed name of a saved picture, and the captures it may never replace.
  void SetSaveName(const QString& path, std::vector<PlannedInput> captures = {}) {
    save_name_ = path;
    captures_ = std::move(captures);
  }
  const QString& save_name() const { return save_name_; }

  // Rows in view after zooming, as the first and last 0-based row index (on the time axis, the
  // lowest and highest row index in view).
  std::pair<int, int> VisibleRows() const;
  // Shows rows `first` to `last` (0-based) only; the value axis keeps its scale.
  void ZoomToRows(double first, double last);
  // Shows all rows and the full value range again.
  void ResetZoom();

  // The chart as the user sees it, under its title line when it has a title.
  QImage RenderImage();
  // Writes the chart as a PNG file, by the rules of every other output (see SavePng of
  // gui/screenshot.h); the error names the path and the reason.
  Status SavePng(const QString& path);

  // Context menu actions.
  void SaveChartAsPng();
  void CopyChart();

  // For tests and the window: the chart and its view.
  QChart* chart() const { return chart_; }
  QChartView* view() const { return view_; }
  // 0-based row under a position in view coordinates, or -1 outside the plotted rows.
  int RowAt(QPoint view_position) const;
  // Rows in view that carry a tick and a label (none on the time axis), and whether the labels
  // stand upright.
  const std::vector<int>& LabelledRows() const { return axis_labels_.rows; }
  bool RowLabelsRotated() const { return axis_labels_.rotated; }
  // The labels of the row axis in view, each with its tick.
  const AxisLabels& axis_labels() const { return axis_labels_; }
  // Where the record mark stands in chart coordinates; empty while it is hidden.
  QRectF MarkRect() const;

 signals:
  // The user clicked the bar or point of a record (1-based); sent once the double-click interval
  // has passed, and not for the first click of a double-click.
  void recordClicked(int record_number);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetUpAxes();
  void PaintLimits(QPainter* painter) const;
  void SetUpView();
  // Shows content_ anew, on the value scale of value_range_.
  void Rebuild();
  // True when `content` is content_ with rows appended, drawn by the series on show.
  bool Extends(const ChartContent& content) const;
  void AppendBarValues(std::size_t from_row);
  void AppendLinePoints(std::size_t from_row);
  // Widens the room of the row labels for the labels from `from_row` on.
  void MeasureRowLabels(std::size_t from_row);
  // The series of the content, with values beyond the scale cut to it.
  QList<qreal> DrawnValues(const ChartSeries& series) const;
  void AddBars();
  void AddOutlinedBars();
  void AddLines();
  // A new line of series `k`; the legend names each series by its first line only.
  QLineSeries* AddLine(std::size_t k, const QList<QPointF>& points);
  // The row axis in view, and how it lies on the plot.
  AxisSpan Shown() const;
  AxisPixels Pixels() const;
  void SetShown(AxisSpan span);
  LabelRoom MeasuredLabelRoom() const;
  void ShowValueScale(const ValueScale& scale);
  void UpdatePointMarkers();
  void EmitPendingClick();
  void UpdateRowLabels();
  // Hands the labels to the painting item and has the axis reserve their room.
  void ShowRowLabels(const AxisLabels& labels);
  void UpdateMark();
  void UpdateFocusFrame();
  bool ViewportEvent(QEvent* event);
  void MousePress(const QMouseEvent& mouse);
  void MouseMove(const QMouseEvent& mouse);
  void MouseRelease(const QMouseEvent& mouse);
  void ShowContextMenu(QPoint global_position);
  void ShowToolTip(QPoint view_position, QPoint global_position);
  void ZoomToRubberBand(QRect rectangle);
  void ZoomWheel(QPoint view_position, int angle_delta);

  ChartContent content_;
  int marked_record_ = 0;
  bool time_axis_ = false;
  // The arithmetic of the row axis on show, for content_.
  std::unique_ptr<RowAxisView> row_view_;
  // The values of content_, kept as rows come so that a live chart scans only its new rows.
  ValueRange value_range_;
  // Per series: the line the next finite value extends, or null after a gap; and the colour of
  // its first line, which its other lines share.
  std::vector<QLineSeries*> open_lines_;
  std::vector<QColor> line_colours_;
  char decimal_separator_ = '.';

  QChart* chart_;
  QChartView* view_;
  QCategoryAxis* row_axis_;
  QCategoryAxis* value_axis_;
  QGraphicsRectItem* mark_;
  RowLabelsItem* labels_item_;
  OverlayItem* limits_item_;
  std::optional<FieldLimits> limits_;
  QRubberBand* rubber_band_;
  QTimer* click_timer_;
  QAction* time_axis_action_;
  int pending_click_row_ = -1;

  // Value scale of the content, restored by ResetZoom.
  ValueScale full_scale_;
  QString title_;
  QFont title_font_;
  QString save_name_;
  std::vector<PlannedInput> captures_;

  QColor label_colour_;
  QFont label_font_;
  // Widest row label in the axis font.
  double max_label_width_ = 0;
  // Row labels as last laid out, to skip work when nothing changed.
  AxisLabels axis_labels_;
  bool labels_stale_ = true;

  QPoint press_position_;
  bool pressed_ = false;
  bool dragging_ = false;
  int hover_row_ = -1;
  QString save_folder_;
};

}  // namespace talphex
