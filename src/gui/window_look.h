// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "core/chart/chart_model.h"

class QAbstractItemModel;
class QLineEdit;
class QTableView;
class QWidget;

namespace talphex {

// The colours and small helpers the parts of the main window share. The form's grey is the colour
// the screenshot turns transparent, which the chart never draws.
inline const QColor kBackground(kScreenshotKey.red, kScreenshotKey.green, kScreenshotKey.blue);
inline const QColor kChosenValue(255, 255, 192);
inline const QColor kOtherValue(255, 255, 255);
// A value beyond a yellow or a red limit, and the frame of a lamp whose flag breaks its rule.
inline const QColor kYellowValue(255, 214, 64);
inline const QColor kRedValue(255, 120, 110);
inline const QColor kLampAlarmFrame(200, 0, 0);

// Field grid rows and page margins, in pixels.
inline constexpr int kRowHeight = 17;
inline constexpr int kPageMargin = 3;

// Gives `window` the form's grey and 8-point font, which its parts inherit; returns the font.
QFont UseFormLook(QWidget* window);
// Core texts are Latin-1.
QString Latin1(std::string_view text);
// "Text1(17)": the control name of an indexed control.
QString ControlName(const char* control, int index);
void SetBase(QWidget* widget, const QColor& colour);
void SetFill(QWidget* widget, const QColor& colour);
// A box the user reads and selects from but never types in; clicks give it the focus, Tab does
// not.
QLineEdit* MakeReadOnlyBox(QWidget* parent, const QString& name);
// A table of one-line rows over `model`, a row selected whole, on the value boxes' white. Rows and
// columns have fixed sizes, so that nothing is measured over all rows: each column of `widths` as
// wide as its title or its sample value, the last one stretched.
QTableView* MakeRowTable(QWidget* parent, const QString& name, QAbstractItemModel* model,
                         std::initializer_list<std::pair<int, const char*>> widths);
// The decimal separator of the values shown and written: the system's, when it is one Latin-1
// character; else '.'.
char LocaleDecimalSeparator();

}  // namespace talphex
