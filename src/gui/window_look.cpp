// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/window_look.h"

#include <QLineEdit>
#include <QLocale>
#include <QPalette>
#include <QWidget>

namespace talphex {

QFont UseFormLook(QWidget* window) {
  QPalette palette = window->palette();
  for (const QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::Base}) {
    palette.setColor(role, kBackground);
  }
  window->setPalette(palette);
  QFont font = window->font();
  font.setPointSizeF(8.0);
  window->setFont(font);
  return font;
}

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString ControlName(const char* control, int index) {
  return QStringLiteral("%1(%2)").arg(QLatin1String(control)).arg(index);
}

void SetBase(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Base, colour);
  widget->setPalette(palette);
}

void SetFill(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
}

QLineEdit* MakeReadOnlyBox(QWidget* parent, const QString& name) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setReadOnly(true);
  box->setFocusPolicy(Qt::ClickFocus);
  return box;
}

// The system's decimal separator when it is one Latin-1 character, else '.'.
char LocaleDecimalSeparator() {
  const QString point = QLocale::system().decimalPoint();
  if (point.size() == 1 && point.at(0).unicode() < 0x100) {
    return static_cast<char>(point.at(0).unicode());
  }
  return '.';
}

}  // namespace talphex
