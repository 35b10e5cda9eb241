// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <array>

class QLabel;
class QTabWidget;

namespace talphex {

class ChartFrame;
class DebugPage;
class FieldPage;
class StatusRow;

// The window's client area (Form1), laid out from top to bottom: the tab pages (SSTab1: the two
// field pages and the debug page), the time span (Label3) beside the receive time (Label10), the
// chart frame and the status row. It only places the parts; the window wires them.
class ClientArea : public QWidget {
  Q_OBJECT

 public:
  ClientArea(const QFont& font, char decimal_separator, QWidget* parent = nullptr);

  QTabWidget* tabs() const { return tabs_; }
  const std::array<FieldPage*, 2>& field_pages() const { return field_pages_; }
  DebugPage* debug_page() const { return debug_page_; }
  QLabel* time_span_label() const { return time_span_label_; }
  QLabel* rx_time_label() const { return rx_time_label_; }
  ChartFrame* chart_frame() const { return chart_frame_; }
  StatusRow* status_row() const { return status_row_; }

 private:
  QTabWidget* tabs_;
  std::array<FieldPage*, 2> field_pages_{};
  DebugPage* debug_page_;
  QLabel* time_span_label_;
  QLabel* rx_time_label_;
  ChartFrame* chart_frame_;
  StatusRow* status_row_;
};

}  // namespace talphex
