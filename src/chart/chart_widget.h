#pragma once

#include <QWidget>

#include "chart/chart_model.h"

namespace talphex {

// Renders a ChartContent with Qt Charts inside the chart frame. It only shows what the core
// computed; choosing what to chart is the window's business.
class ChartWidget : public QWidget {
  Q_OBJECT

 public:
  explicit ChartWidget(QWidget* parent = nullptr);

  // Replaces whatever the chart showed. An empty content shows an empty plot.
  void SetContent(const ChartContent& content);
  const ChartContent& content() const { return content_; }

  // Marks the record on view (1-based); moving the mark does not rebuild the chart.
  void SetMarkedRecord(int record_number);

 signals:
  // The user clicked the bar or point of a record (1-based).
  void recordClicked(int record_number);

 private:
  ChartContent content_;
};

}  // namespace talphex
