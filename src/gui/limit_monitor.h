// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "core/decode/decoder_state.h"
#include "core/monitor/alarm_log.h"
#include "core/monitor/alarms.h"
#include "core/monitor/limits.h"
#include "gui/alarm_page.h"

class QFileSystemWatcher;
class QLabel;
class QPushButton;
class QStatusBar;
class QWidget;

namespace talphex {

// The window's pass monitor: the station's limits.ini, read at start and again whenever it is
// saved; the alarms of the records the window holds, judged as they come; the "Alarms" page; and
// in the status bar the count of unacknowledged alarms (AlarmCount) with "Acknowledge All"
// (AcknowledgeAll). During a live connection a new red alarm raises the window and beeps, at most
// once per field a minute.
class LimitMonitor : public QObject {
  Q_OBJECT

 public:
  LimitMonitor(QStatusBar* bar, QWidget* window);
  // The alarm page reads the log: it goes first.
  ~LimitMonitor() override;

  AlarmPage* page() const { return page_; }
  // Reads the limits from `path` and watches it; a missing file is no limits. Empty: none.
  void SetPath(const QString& path);
  const QString& path() const { return path_; }
  const Limits& limits() const { return judge_.limits(); }
  std::optional<FieldLimits> LimitsOf(int field) const;
  const AlarmLog& log() const { return log_; }

  // An open command or a connection: no alarms, every level green again.
  void Clear();
  // Judges the records of `state` stored since the last call (all of them after Clear); alerts
  // for new red alarms when `live`.
  void JudgeNew(const DecoderState& state, bool live);
  // Clear, then every stored record judged again (limits changed, or a load ended).
  void JudgeAll(const DecoderState& state);
  void AcknowledgeAll();
  // "Limits...": opens limits.ini in the system's editor, first written from the shipped example
  // (its entries commented out) when there is none; it is read again when saved.
  void OpenEditor();

 signals:
  // The limits were read again: what the window shows should be judged anew.
  void limitsChanged();
  // A sentence for the status line: a limits file that could not be read, where it is.
  void message(const QString& text);
  // An alarm of the list was double-clicked: its record should be shown.
  void alarmChosen(const talphex::Alarm& alarm);

 private:
  void Reload();
  void ShowCount();

  // The log before the page that shows it.
  AlarmLog log_;
  QWidget* window_;
  QPointer<AlarmPage> page_;
  QLabel* count_label_;
  QPushButton* acknowledge_button_;
  QFileSystemWatcher* watcher_;
  QString path_;
  bool read_once_ = false;  // the limits of path_ have been read
  LimitJudge judge_;
  // Records of each kind judged so far, by number.
  std::array<std::int64_t, 2> judged_{};
};

// limits.ini in the user's configuration folder, beside conf.ini.
QString DefaultLimitsPath();

// The shipped example with its entries commented out: a file that explains the format and
// sets no limit until the user says so.
QString LimitsTemplate();

}  // namespace talphex
