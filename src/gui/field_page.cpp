// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/field_page.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/window_look.h"

namespace talphex {
namespace {

constexpr int kGridSpacing = 3;
// Lamp grid: a lamp and its caption per lamp column, two lamp columns under each field column.
constexpr int kLampWidth = 25;
constexpr int kLampHeight = 9;
constexpr int kLampCellWidth = 32;
constexpr int kLampRowHeight = 15;

const QColor kLampSet(0, 255, 0);
const QColor kLampClear(255, 0, 0);
const QColor kLampNoRecord(224, 224, 224);

template <typename Widget, std::size_t N>
Widget* At(const std::array<Widget*, N>& widgets, int index) {
  return widgets[static_cast<std::size_t>(index)];
}

}  // namespace

FieldGridMetrics FieldGridMetrics::Of(const QFont& font) {
  // Widest caption with its indicator, widest value (ten digits), widest unit.
  FieldGridMetrics sizes;
  const QFontMetrics metrics(font);
  for (const FieldInfo& info : kFields) {
    sizes.selector_width =
        std::max(sizes.selector_width, metrics.horizontalAdvance(Latin1(info.caption)));
    sizes.unit_width = std::max(sizes.unit_width, metrics.horizontalAdvance(Latin1(info.unit)));
  }
  // The indicator and its spacing, as the style measures a selector.
  QRadioButton probe(QStringLiteral("0"));
  probe.setFont(font);
  sizes.selector_width += probe.sizeHint().width() - metrics.horizontalAdvance(QStringLiteral("0"));
  sizes.value_width = metrics.horizontalAdvance(QStringLiteral("4294967295")) + 8;
  sizes.unit_width += 2;
  return sizes;
}

std::optional<RecordStep> RecordStepOfKey(int key, Qt::KeyboardModifiers modifiers) {
  if ((modifiers & ~Qt::KeypadModifier) != Qt::NoModifier) return std::nullopt;
  switch (key) {
    case Qt::Key_Left:
      return RecordStep::kPrevious;
    case Qt::Key_Right:
      return RecordStep::kNext;
    case Qt::Key_PageUp:
      return RecordStep::kPageBack;
    case Qt::Key_PageDown:
      return RecordStep::kPageForward;
    case Qt::Key_Home:
      return RecordStep::kFirst;
    case Qt::Key_End:
      return RecordStep::kLast;
    default:
      return std::nullopt;
  }
}

FieldPage::FieldPage(TabPage page, const FieldGridMetrics& metrics, QWidget* parent)
    : QWidget(parent), page_(page) {
  setObjectName(page == TabPage::kTalphex ? QStringLiteral("PageTALPHEX")
                                          : QStringLiteral("PageVAVE"));
  // The style would draw the page lighter than the form; the screenshot's transparency needs the
  // form's colour.
  setAutoFillBackground(true);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(kPageMargin, kPageMargin, kPageMargin, kPageMargin);
  outer->setSpacing(8);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(kGridSpacing);
  grid->setVerticalSpacing(0);
  for (int field = 0; field < kFieldCount; ++field) {
    if (Field(field).page == page) AddField(grid, field, metrics);
  }
  grid->setColumnMinimumWidth(2, metrics.unit_width);
  grid->setColumnMinimumWidth(5, metrics.unit_width);
  grid->setColumnStretch(9, 1);
  if (page == TabPage::kTalphex) {
    posix_time_label_ = new QLabel(this);
    posix_time_label_->setObjectName(QStringLiteral("Label4"));
    posix_time_label_->setFixedHeight(kRowHeight);
    grid->addWidget(posix_time_label_, 0, 6, 1, 4);
  }
  outer->addLayout(grid);
  if (page == TabPage::kVave) {
    auto* lamp_grid = new QGridLayout;
    lamp_grid->setHorizontalSpacing(0);
    lamp_grid->setVerticalSpacing(0);
    AddLampGrid(lamp_grid, metrics);
    outer->addLayout(lamp_grid);
  }
  outer->addStretch(1);
}

void FieldPage::AddField(QGridLayout* grid, int field, const FieldGridMetrics& metrics) {
  const FieldInfo& info = Field(field);
  auto* selector = new QRadioButton(QStringLiteral("Option1"), this);
  selector->setObjectName(ControlName("Option1", field));
  selector->setFixedSize(metrics.selector_width, kRowHeight);
  selector->installEventFilter(this);
  // Not grouped and not auto-exclusive: Qt would take every selector of a group but the chosen
  // one out of the Tab chain, and let the arrow keys choose. SetChosen clears the others.
  selector->setAutoExclusive(false);
  connect(selector, &QAbstractButton::clicked, this, [this, field] {
    const bool group =
        group_requested_ || (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier);
    group_requested_ = false;
    emit fieldChosen(field, group);
  });
  QLineEdit* value = MakeReadOnlyBox(this, ControlName("Text1", field));
  value->setFixedHeight(kRowHeight);
  value->installEventFilter(this);
  auto* unit = new QLabel(this);
  unit->setObjectName(ControlName("Label2", field));
  unit->setFixedSize(metrics.unit_width, kRowHeight);
  const int column = info.column * 3;
  grid->addWidget(selector, info.row, column);
  if (info.unit.empty()) {
    // A field without unit lends the unit's place to its value (the mode names are long).
    value->setFixedWidth(metrics.value_width + kGridSpacing + metrics.unit_width);
    grid->addWidget(value, info.row, column + 1, 1, 2, Qt::AlignLeft);
  } else {
    value->setFixedWidth(metrics.value_width);
    grid->addWidget(value, info.row, column + 1);
  }
  grid->addWidget(unit, info.row, column + 2);
  selectors_[static_cast<std::size_t>(field)] = selector;
  value_boxes_[static_cast<std::size_t>(field)] = value;
  unit_labels_[static_cast<std::size_t>(field)] = unit;
}

void FieldPage::AddLampGrid(QGridLayout* grid, const FieldGridMetrics& metrics) {
  for (int lamp = 0; lamp < kLampCount; ++lamp) {
    const LampInfo info = Lamp(lamp);
    auto* shape = new QFrame(this);
    shape->setObjectName(ControlName("Shape1", lamp));
    shape->setFrameShape(QFrame::Box);
    shape->setFixedSize(kLampWidth, kLampHeight);
    shape->setAutoFillBackground(true);
    SetFill(shape, kLampNoRecord);
    auto* caption = new QLabel(QStringLiteral("Label5"), this);
    caption->setObjectName(ControlName("Label5", lamp));
    caption->setFixedHeight(kLampRowHeight);
    grid->addWidget(shape, info.row, info.column * 2, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(caption, info.row, info.column * 2 + 1);
    lamps_[static_cast<std::size_t>(lamp)] = shape;
    lamp_labels_[static_cast<std::size_t>(lamp)] = caption;
  }
  // Two lamp columns share the width of one field column.
  const int pair_width =
      metrics.selector_width + metrics.value_width + metrics.unit_width + 3 * kGridSpacing;
  const int first_caption = pair_width / 2 - kLampCellWidth;
  for (int column = 0; column < 6; ++column) {
    grid->setColumnMinimumWidth(column * 2, kLampCellWidth);
    grid->setColumnMinimumWidth(
        column * 2 + 1,
        column % 2 == 0 ? first_caption : pair_width - 2 * kLampCellWidth - first_caption);
  }
  grid->setColumnStretch(12, 1);
}

QAbstractButton* FieldPage::selector(int field) const {
  return field >= 0 && field < kFieldCount ? At(selectors_, field) : nullptr;
}

void FieldPage::SetCaptions() {
  for (int field = 0; field < kFieldCount; ++field) {
    if (At(selectors_, field) == nullptr) continue;
    const FieldInfo& info = Field(field);
    At(selectors_, field)->setText(Latin1(info.caption));
    // Fields without unit keep their empty label.
    if (!info.unit.empty()) At(unit_labels_, field)->setText(Latin1(info.unit));
  }
  if (page_ != TabPage::kVave) return;
  for (int lamp = 0; lamp < kLampCount; ++lamp) {
    At(lamp_labels_, lamp)->setText(Latin1(Lamp(lamp).caption));
  }
}

void FieldPage::ClearValues() {
  for (QLineEdit* box : value_boxes_) {
    if (box != nullptr) box->clear();
  }
}

void FieldPage::ShowView(const RecordView& view) {
  for (int field = 0; field < kFieldCount; ++field) {
    if (QLineEdit* box = At(value_boxes_, field)) {
      box->setText(Latin1(view.values[static_cast<std::size_t>(field)]));
    }
  }
  if (posix_time_label_ != nullptr) posix_time_label_->setText(Latin1(view.posix_time));
  if (page_ != TabPage::kVave) return;
  for (int lamp = 0; lamp < kLampCount; ++lamp) {
    const LampState lit = view.lamps[static_cast<std::size_t>(lamp)];
    SetFill(At(lamps_, lamp), lit == LampState::kSet     ? kLampSet
                              : lit == LampState::kClear ? kLampClear
                                                         : kLampNoRecord);
  }
}

void FieldPage::SetChosen(int chosen) {
  chosen_ = chosen;
  for (int field = 0; field < kFieldCount; ++field) {
    if (At(selectors_, field) == nullptr) continue;
    At(selectors_, field)->setChecked(field == chosen);
    ColourBox(field);
  }
}

void FieldPage::ShowLimits(const ShownRecordLimits& limits) {
  levels_ = limits.levels;
  for (int field = 0; field < kFieldCount; ++field) {
    QLineEdit* box = At(value_boxes_, field);
    if (box == nullptr) continue;
    ColourBox(field);
    const QString text = Latin1(limits.texts[static_cast<std::size_t>(field)]);
    box->setToolTip(text);
    box->setAccessibleDescription(text);
  }
  if (page_ != TabPage::kVave) return;
  for (int lamp = 0; lamp < kLampCount; ++lamp) {
    QFrame* shape = At(lamps_, lamp);
    const bool alarm = limits.flags[static_cast<std::size_t>(lamp)];
    shape->setLineWidth(alarm ? 2 : 1);
    QPalette palette = shape->palette();
    palette.setColor(QPalette::WindowText, alarm ? kLampAlarmFrame : QColor(Qt::black));
    shape->setPalette(palette);
  }
}

void FieldPage::ColourBox(int field) {
  const Level level = levels_[static_cast<std::size_t>(field)];
  SetBase(At(value_boxes_, field), level == Level::kRed      ? kRedValue
                                   : level == Level::kYellow ? kYellowValue
                                   : field == chosen_        ? kChosenValue
                                                             : kOtherValue);
}

int FieldPage::FieldOf(QObject* watched) const {
  for (int field = 0; field < kFieldCount; ++field) {
    if (watched == At(selectors_, field) || watched == At(value_boxes_, field)) return field;
  }
  return -1;
}

bool FieldPage::eventFilter(QObject* watched, QEvent* event) {
  const int field = FieldOf(watched);
  if (field < 0) return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    // The keys step through the records instead of moving the selection or a text cursor.
    if (const auto step = RecordStepOfKey(key->key(), key->modifiers())) {
      emit stepRequested(*step);
      return true;
    }
  }
  const bool on_selector = watched == At(selectors_, field);
  const QEvent::Type type = event->type();
  if (on_selector && (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                      type == QEvent::MouseButtonDblClick)) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton) {
      // A right click chooses the field and asks for its group's chart.
      if (type == QEvent::MouseButtonPress) emit fieldChosen(field, true);
      return true;
    }
    if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
      group_requested_ = (mouse->modifiers() & Qt::ShiftModifier) != 0;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace talphex
