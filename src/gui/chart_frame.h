// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>

class QCheckBox;

namespace talphex {

class ChartWidget;

// The frame around the chart (Frame1), titled with the charted field, with the chart (MSChart1)
// and the bars box (Check1) over its bottom right corner.
class ChartFrame : public QGroupBox {
  Q_OBJECT

 public:
  ChartFrame(const QFont& font, char decimal_separator, QWidget* parent = nullptr);

  ChartWidget* chart() const { return chart_; }
  QCheckBox* bars_box() const { return bars_box_; }
  bool bars() const;
  // The frame's title, also the title line of the chart's pictures.
  void SetChartTitle(const QString& title);

 signals:
  void barsClicked();

 private:
  ChartWidget* chart_;
  QCheckBox* bars_box_;
};

}  // namespace talphex
