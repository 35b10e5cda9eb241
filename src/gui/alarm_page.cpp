// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/alarm_page.h"

#include <QHeaderView>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "core/export/analysis_exports.h"
#include "core/view/record_view.h"
#include "gui/window_look.h"

namespace talphex {
namespace {

QString LevelText(const Alarm& alarm) {
  QString text = Latin1(LevelName(alarm.to));
  // "yellow", "red (was yellow)", "green (was red)": where a level came from when not green.
  if (alarm.from != Level::kGreen) {
    text += QStringLiteral(" (was ") + Latin1(LevelName(alarm.from)) + QLatin1Char(')');
  }
  return text;
}

QString ValueText(const Alarm& alarm) {
  if (alarm.flag) return alarm.value != 0 ? QStringLiteral("1") : QStringLiteral("0");
  return Latin1(FieldValueText(alarm.index, alarm.value));
}

}  // namespace

void AlarmListModel::Refresh() {
  beginResetModel();
  endResetModel();
}

std::size_t AlarmListModel::IndexOf(int row) const {
  return log_.alarms().size() - 1 - static_cast<std::size_t>(row);
}

const Alarm& AlarmListModel::At(int row) const { return log_.alarms()[IndexOf(row)]; }

int AlarmListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(log_.alarms().size());
}

int AlarmListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant AlarmListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Alarm& alarm = At(index.row());
  if (role == Qt::BackgroundRole) {
    if (log_.acknowledged(IndexOf(index.row()))) return {};
    return alarm.to == Level::kRed      ? kRedValue
           : alarm.to == Level::kYellow ? kYellowValue
                                        : QVariant();
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case kReceived:
      return Latin1(alarm.rx_time);
    case kRecord:
      return QString(Latin1(KindName(alarm.kind)) + QLatin1Char(' ') +
                     QString::number(alarm.record));
    case kSubject:
      return Latin1(AlarmSubject(alarm));
    case kValue:
      return ValueText(alarm);
    case kLevel:
      return LevelText(alarm);
    default:
      return {};
  }
}

QVariant AlarmListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[kColumns] = {"Received", "Record", "Field", "Value", "Level"};
  return section >= 0 && section < kColumns ? QString::fromLatin1(kTitles[section]) : QVariant();
}

AlarmPage::AlarmPage(const AlarmLog& log, QWidget* parent)
    : QWidget(parent),
      model_(new AlarmListModel(log, this)),
      table_(MakeRowTable(this, QStringLiteral("AlarmTable"), model_,
                          {{AlarmListModel::kReceived, "2026-12-31 23:59:59"},
                           {AlarmListModel::kRecord, "payload 100000"},
                           {AlarmListModel::kSubject, "Status Word 0 Low LAS_1_ENA"},
                           {AlarmListModel::kValue, "-12345.67"}})) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(table_);
  connect(table_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (!index.isValid()) return;
    emit alarmChosen(model_->At(index.row()));
  });
}

void AlarmPage::Refresh() { model_->Refresh(); }

}  // namespace talphex
