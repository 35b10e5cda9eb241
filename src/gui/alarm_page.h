// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <cstdint>

#include "core/monitor/alarm_log.h"

class QTableView;

namespace talphex {

// The alarms of an AlarmLog as a table, newest first: receive time, record, field or flag, value
// and level, each row in its level's colour while unacknowledged.
class AlarmListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kReceived, kRecord, kSubject, kValue, kLevel, kColumns };

  AlarmListModel(const AlarmLog& log, QObject* parent) : QAbstractTableModel(parent), log_(log) {}

  // Shows the log as it is now.
  void Refresh();
  // The alarm of a row.
  const Alarm& At(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::size_t IndexOf(int row) const;

  const AlarmLog& log_;
};

// The "Alarms" page of the debug tab: the alarm table (AlarmTable); a double-click asks for the
// alarm's record.
class AlarmPage : public QWidget {
  Q_OBJECT

 public:
  AlarmPage(const AlarmLog& log, QWidget* parent = nullptr);

  void Refresh();
  QTableView* table() const { return table_; }

 signals:
  void alarmChosen(const talphex::Alarm& alarm);

 private:
  AlarmListModel* model_;
  QTableView* table_;
};

}  // namespace talphex
