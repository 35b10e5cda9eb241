// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/client_area.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/chart_frame.h"
#include "gui/debug_page.h"
#include "gui/field_page.h"
#include "gui/status_row.h"

namespace talphex {
namespace {

constexpr int kTabHeight = 249;

}  // namespace

ClientArea::ClientArea(const QFont& font, char decimal_separator, QWidget* parent)
    : QWidget(parent) {
  setObjectName(QStringLiteral("Form1"));
  setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 6, 4, 5);
  layout->setSpacing(6);

  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("SSTab1"));
  const FieldGridMetrics metrics = FieldGridMetrics::Of(font);
  for (const TabPage page : {TabPage::kTalphex, TabPage::kVave}) {
    auto* field_page = new FieldPage(page, metrics, tabs_);
    field_pages_[static_cast<std::size_t>(page)] = field_page;
    tabs_->addTab(field_page,
                  page == TabPage::kTalphex ? QStringLiteral("TALPHEX") : QStringLiteral("VAVE"));
  }
  debug_page_ = new DebugPage(tabs_);
  tabs_->addTab(debug_page_, QStringLiteral("debug"));
  tabs_->setFixedHeight(std::max(kTabHeight, tabs_->minimumSizeHint().height()));
  layout->addWidget(tabs_);

  auto* lines = new QHBoxLayout;
  time_span_label_ = new QLabel(this);
  time_span_label_->setObjectName(QStringLiteral("Label3"));
  QFont bold = font;
  bold.setBold(true);
  time_span_label_->setFont(bold);
  rx_time_label_ = new QLabel(this);
  rx_time_label_->setObjectName(QStringLiteral("Label10"));
  lines->addWidget(time_span_label_, 1);
  lines->addWidget(rx_time_label_);
  lines->addSpacing(8);
  layout->addLayout(lines);

  chart_frame_ = new ChartFrame(font, decimal_separator, this);
  layout->addWidget(chart_frame_, 1);
  status_row_ = new StatusRow(this);
  layout->addWidget(status_row_);
}

}  // namespace talphex
