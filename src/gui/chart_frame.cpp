// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/chart_frame.h"

#include <QCheckBox>
#include <QGridLayout>

#include "gui/chart_widget.h"

namespace talphex {
namespace {

// Height below which the chart's labels would be cut.
constexpr int kMinChartHeight = 250;

}  // namespace

ChartFrame::ChartFrame(const QFont& font, char decimal_separator, QWidget* parent)
    : QGroupBox(parent) {
  setObjectName(QStringLiteral("Frame1"));
  QFont title_font = font;
  title_font.setPointSizeF(9.75);
  title_font.setBold(true);
  setFont(title_font);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 4, 6, 6);
  chart_ = new ChartWidget(this);
  chart_->setObjectName(QStringLiteral("MSChart1"));
  chart_->setFont(font);
  chart_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  // The window shrinks no further than a chart with readable labels.
  chart_->setMinimumHeight(kMinChartHeight);
  chart_->SetDecimalSeparator(decimal_separator);
  grid->addWidget(chart_, 0, 0);
  bars_box_ = new QCheckBox(QStringLiteral("B"), this);
  bars_box_->setObjectName(QStringLiteral("Check1"));
  bars_box_->setFont(font);
  bars_box_->setToolTip(QStringLiteral("Bars instead of lines"));
  QSizePolicy keep_place = bars_box_->sizePolicy();
  keep_place.setRetainSizeWhenHidden(true);
  bars_box_->setSizePolicy(keep_place);
  // Over the chart's bottom right corner, as in the frame it stands in.
  grid->addWidget(bars_box_, 0, 0, Qt::AlignRight | Qt::AlignBottom);
  connect(bars_box_, &QCheckBox::clicked, this, &ChartFrame::barsClicked);
}

bool ChartFrame::bars() const { return bars_box_->isChecked(); }

void ChartFrame::SetChartTitle(const QString& title) {
  setTitle(title);
  chart_->SetTitle(title, font());
}

}  // namespace talphex
