// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <cstdint>

#include "core/view/navigation.h"

class QLineEdit;
class QPushButton;
class QScrollBar;

namespace talphex {

class ElidedBox;

// The row under the chart: the screenshot button (Command1), the status box (Text4), the record
// position (Text2) and the scroll bar over the records (HScroll1), whose values are record numbers.
class StatusRow : public QWidget {
  Q_OBJECT

 public:
  explicit StatusRow(QWidget* parent = nullptr);

  // The status, elided to the box with the whole text (or `full_text`) in its tooltip.
  void SetStatus(const QString& text, const QString& full_text = QString());
  // The status as set, however much of it the box shows.
  const QString& status() const;
  void SetPositionText(const QString& text);

  // The scroll bar's range; the position stays within it and is not announced.
  void SetRange(const RecordRange& range);
  RecordRange range() const;
  // The record on view: where the thumb is, also while it is dragged.
  std::int64_t position() const;
  // Moves the thumb; announced by positionChanged unless `silently`.
  void SetPosition(std::int64_t record, bool silently = false);
  bool dragging() const;
  // Moves by a record key, as the scroll bar's own change would.
  void Step(RecordStep step);

  QPushButton* screenshot_button() const { return screenshot_button_; }
  QScrollBar* scroll_bar() const { return scroll_bar_; }

 signals:
  // The record on view changed: the thumb was let go, moved by a key or by SetPosition.
  void positionChanged();
  void screenshotClicked();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPushButton* screenshot_button_;
  ElidedBox* status_box_;
  QLineEdit* position_box_;
  QScrollBar* scroll_bar_;
};

}  // namespace talphex
