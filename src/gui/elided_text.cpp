// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/elided_text.h"

#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionFrame>

namespace talphex {
namespace {

// Elides at the last blank that fits, so that a word is either whole or left out.
QString ElideAtWord(const QString& text, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(text) <= width) return text;
  const QString ellipsis(QChar(0x2026));
  QString elided = metrics.elidedText(text, Qt::ElideRight, width);
  if (!elided.endsWith(ellipsis)) return elided;
  elided.chop(1);
  // The cut fell inside a word: go back to the blank before it.
  if (elided.size() < text.size() && !text.at(elided.size()).isSpace()) {
    const qsizetype blank = elided.lastIndexOf(QLatin1Char(' '));
    if (blank > 0) elided.truncate(blank);
  }
  while (elided.endsWith(QLatin1Char(' ')) || elided.endsWith(QLatin1Char(';')) ||
         elided.endsWith(QLatin1Char(','))) {
    elided.chop(1);
  }
  return elided + ellipsis;
}

}  // namespace

ElidedBox::ElidedBox(QWidget* parent) : QLineEdit(parent) {}

void ElidedBox::SetFullText(const QString& text, const QString& tooltip) {
  full_text_ = text;
  setToolTip(tooltip.isEmpty() ? text : tooltip);
  Elide();
}

void ElidedBox::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  Elide();
}

void ElidedBox::Elide() {
  QStyleOptionFrame option;
  initStyleOption(&option);
  const QRect inside = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
  // The text margins of the line edit itself, a little room for the cursor.
  const int width = inside.width() - 6;
  setText(ElideAtWord(full_text_, fontMetrics(), width));
  setCursorPosition(0);
}

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::SetFullText(const QString& text) {
  full_text_ = text;
  setToolTip(text);
  Elide();
}

QSize ElidedLabel::minimumSizeHint() const { return {0, QLabel::minimumSizeHint().height()}; }

void ElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Elide();
}

void ElidedLabel::Elide() {
  setText(ElideAtWord(full_text_, fontMetrics(), contentsRect().width()));
}

}  // namespace talphex
