// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QString>

namespace talphex {

// Status texts longer than their box end in "…" at a word's edge instead of being cut mid-word;
// the tooltip holds the whole text. full_text() is what was set, whatever the width.
class ElidedBox : public QLineEdit {
  Q_OBJECT

 public:
  explicit ElidedBox(QWidget* parent = nullptr);
  // `tooltip`: a longer form of `text` for the tooltip; empty: the text itself.
  void SetFullText(const QString& text, const QString& tooltip = QString());
  const QString& full_text() const { return full_text_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Elide();
  QString full_text_;
};

class ElidedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidedLabel(QWidget* parent = nullptr);
  void SetFullText(const QString& text);
  const QString& full_text() const { return full_text_; }
  // Any width: the text is elided to what the layout gives.
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Elide();
  QString full_text_;
};

}  // namespace talphex
