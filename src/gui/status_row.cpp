// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/status_row.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionComplex>
#include <QStyleOptionFocusRect>
#include <algorithm>
#include <limits>

#include "gui/elided_text.h"
#include "gui/field_page.h"
#include "gui/window_look.h"

namespace talphex {
namespace {

const QColor kStatusText(128, 128, 128);
const QColor kScrollThumb(150, 150, 150);
const QColor kScrollThumbEdge(110, 110, 110);

// The style draws a scroll bar's thumb and groove in shades of one colour, which on the form's
// light grey leaves the thumb hard to tell from the groove; this one paints the thumb darker, and
// draws the focus frame the style leaves out for scroll bars, so that a keyboard user sees where
// the record keys go.
class ThumbStyle : public QProxyStyle {
 public:
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget) const override {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    if (control != CC_ScrollBar) return;
    if (option->state & State_HasFocus) {
      QStyleOptionFocusRect focus;
      focus.QStyleOption::operator=(*option);
      focus.rect = option->rect.adjusted(1, 1, -1, -1);
      QProxyStyle::drawPrimitive(PE_FrameFocusRect, &focus, painter, widget);
    }
    if (!(option->state & State_Enabled)) return;
    const QRect thumb = subControlRect(control, option, SC_ScrollBarSlider, widget);
    if (thumb.width() < 3 || thumb.height() < 3) return;
    painter->save();
    painter->setPen(kScrollThumbEdge);
    painter->setBrush(kScrollThumb);
    painter->drawRect(thumb.adjusted(0, 0, -1, -1));
    painter->restore();
  }
};

int ScrollValue(std::int64_t record) {
  return static_cast<int>(std::clamp<std::int64_t>(record, 1, std::numeric_limits<int>::max()));
}

}  // namespace

StatusRow::StatusRow(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(7);
  screenshot_button_ = new QPushButton(QStringLiteral("S"), this);
  screenshot_button_->setObjectName(QStringLiteral("Command1"));
  screenshot_button_->setFixedSize(33, 21);
  screenshot_button_->setToolTip(QStringLiteral("Save a screenshot of the window"));
  connect(screenshot_button_, &QPushButton::clicked, this, &StatusRow::screenshotClicked);
  // Hidden for the screenshot or by conf.ini, the button keeps its place in the row.
  QSizePolicy keep_place = screenshot_button_->sizePolicy();
  keep_place.setRetainSizeWhenHidden(true);
  screenshot_button_->setSizePolicy(keep_place);
  status_box_ = new ElidedBox(this);
  status_box_->setObjectName(QStringLiteral("Text4"));
  status_box_->setReadOnly(true);
  status_box_->setFocusPolicy(Qt::ClickFocus);
  QPalette grey = status_box_->palette();
  grey.setColor(QPalette::Text, kStatusText);
  status_box_->setPalette(grey);
  position_box_ = MakeReadOnlyBox(this, QStringLiteral("Text2"));
  position_box_->setFixedWidth(80);
  scroll_bar_ = new QScrollBar(Qt::Horizontal, this);
  scroll_bar_->setObjectName(QStringLiteral("HScroll1"));
  scroll_bar_->setFixedSize(81, 19);
  auto* thumb_style = new ThumbStyle;
  thumb_style->setParent(scroll_bar_);
  scroll_bar_->setStyle(thumb_style);
  SetRange(RecordRange{});
  scroll_bar_->setPageStep(1);
  // Takes the focus like the field grid, so that the keys step through the records.
  scroll_bar_->setFocusPolicy(Qt::StrongFocus);
  scroll_bar_->installEventFilter(this);
  // The view follows the thumb through sliderMoved; valueChanged comes when it is let go.
  scroll_bar_->setTracking(false);
  connect(scroll_bar_, &QScrollBar::valueChanged, this, &StatusRow::positionChanged);
  connect(scroll_bar_, &QScrollBar::sliderMoved, this, &StatusRow::positionChanged);
  layout->addWidget(screenshot_button_);
  layout->addWidget(status_box_, 1);
  layout->addWidget(position_box_);
  layout->addWidget(scroll_bar_);
}

void StatusRow::SetStatus(const QString& text, const QString& full_text) {
  status_box_->SetFullText(text, full_text);
}

const QString& StatusRow::status() const { return status_box_->full_text(); }

void StatusRow::SetPositionText(const QString& text) { position_box_->setText(text); }

void StatusRow::SetRange(const RecordRange& range) {
  const QSignalBlocker blocker(scroll_bar_);
  scroll_bar_->setRange(ScrollValue(range.first), ScrollValue(range.last));
  scroll_bar_->setEnabled(range.enabled);
}

RecordRange StatusRow::range() const {
  return {scroll_bar_->minimum(), scroll_bar_->maximum(), scroll_bar_->isEnabled()};
}

std::int64_t StatusRow::position() const { return scroll_bar_->sliderPosition(); }

void StatusRow::SetPosition(std::int64_t record, bool silently) {
  const QSignalBlocker blocker(silently ? scroll_bar_ : nullptr);
  scroll_bar_->setValue(ScrollValue(record));
}

bool StatusRow::dragging() const { return scroll_bar_->isSliderDown(); }

void StatusRow::Step(RecordStep step) {
  // Through the scroll bar, so that its change handler shows the record as a move of it would.
  if (scroll_bar_->isEnabled()) SetPosition(StepTarget(scroll_bar_->value(), step, range()));
}

bool StatusRow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == scroll_bar_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (const auto step = RecordStepOfKey(key->key(), key->modifiers())) {
      Step(*step);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace talphex
