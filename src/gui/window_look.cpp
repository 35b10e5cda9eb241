// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/window_look.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QPalette>
#include <QTableView>
#include <QWidget>
#include <algorithm>

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

QTableView* MakeRowTable(QWidget* parent, const QString& name, QAbstractItemModel* model,
                         std::initializer_list<std::pair<int, const char*>> widths) {
  auto* table = new QTableView(parent);
  table->setObjectName(name);
  table->setModel(model);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setWordWrap(false);
  SetBase(table, kOtherValue);
  const QFontMetrics metrics(parent->font());
  QHeaderView* rows = table->verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(metrics.height() + 2);
  QHeaderView* columns = table->horizontalHeader();
  columns->setStretchLastSection(true);
  for (const auto& [column, sample] : widths) {
    const QString title = model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    columns->resizeSection(column, std::max(metrics.horizontalAdvance(QLatin1String(sample)),
                                            columns->fontMetrics().horizontalAdvance(title)) +
                                       12);
  }
  return table;
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
