#include "chart/chart_widget.h"

namespace talphex {

ChartWidget::ChartWidget(QWidget* parent) : QWidget(parent) {}

void ChartWidget::SetContent(const ChartContent& content) { content_ = content; }

void ChartWidget::SetMarkedRecord(int /*record_number*/) {}

}  // namespace talphex
