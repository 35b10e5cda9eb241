// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/limit_monitor.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QUrl>
#include <vector>

#include "core/monitor/pass_summary.h"
#include "gui/alarm_page.h"
#include "gui/file_name.h"
#include "gui/window_look.h"

namespace talphex {
namespace {

std::int64_t SteadyMs() {
  static QElapsedTimer clock;
  if (!clock.isValid()) clock.start();
  return clock.elapsed();
}

}  // namespace

QString DefaultLimitsPath() {
  const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return config.isEmpty() ? QString() : config + QStringLiteral("/talphex/limits.ini");
}

QString LimitsTemplate() {
  QFile example(QStringLiteral(":/talphex/limits.example.ini"));
  if (!example.open(QIODevice::ReadOnly)) return {};
  QStringList lines = QString::fromUtf8(example.readAll()).split(QLatin1Char('\n'));
  for (QString& line : lines) {
    const QString trimmed = line.trimmed();
    if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1Char('#')))
      line.prepend(QStringLiteral("# "));
  }
  return lines.join(QLatin1Char('\n'));
}

LimitMonitor::LimitMonitor(QStatusBar* bar, QWidget* window)
    : QObject(window),
      window_(window),
      page_(new AlarmPage(log_, window)),
      count_label_(new QLabel(bar)),
      acknowledge_button_(new QPushButton(QStringLiteral("Acknowledge All"), bar)),
      watcher_(new QFileSystemWatcher(this)) {
  count_label_->setObjectName(QStringLiteral("AlarmCount"));
  acknowledge_button_->setObjectName(QStringLiteral("AcknowledgeAll"));
  acknowledge_button_->setMaximumHeight(bar->maximumHeight());
  bar->addPermanentWidget(count_label_);
  bar->addPermanentWidget(acknowledge_button_);
  count_label_->hide();
  acknowledge_button_->hide();
  connect(acknowledge_button_, &QPushButton::clicked, this, &LimitMonitor::AcknowledgeAll);
  connect(page_, &AlarmPage::alarmChosen, this, &LimitMonitor::alarmChosen);
  // Editors save by writing the file or by replacing it; the folder's change catches the second.
  connect(watcher_, &QFileSystemWatcher::fileChanged, this, &LimitMonitor::Reload);
  connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &LimitMonitor::Reload);
}

LimitMonitor::~LimitMonitor() { delete page_; }

void LimitMonitor::SetPath(const QString& path) {
  if (!watcher_->files().isEmpty()) watcher_->removePaths(watcher_->files());
  if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
  path_ = path;
  read_once_ = false;
  Reload();
}

void LimitMonitor::Reload() {
  Limits limits;
  if (!path_.isEmpty()) {
    const QFileInfo file(path_);
    if (file.absoluteDir().exists()) watcher_->addPath(file.absolutePath());
    if (file.exists()) {
      watcher_->addPath(path_);
      Expected<Limits> read = ReadLimitsFile(EncodeFileName(path_).toStdString());
      if (!read.ok()) {
        // A file saved half-way keeps the limits in effect until it reads.
        emit message(QStringLiteral("limits not changed: ") + DecodeFileName(read.error().message));
        return;
      }
      limits = std::move(read.value());
    }
  }
  // The folder changes with other files too (the window's own settings): limits that read the
  // same change nothing, and the alarms keep their acknowledgement.
  if (read_once_ && limits == judge_.limits()) return;
  read_once_ = true;
  judge_ = LimitJudge(std::move(limits));
  emit limitsChanged();
}

std::optional<FieldLimits> LimitMonitor::LimitsOf(int field) const {
  const FieldLimits* limits = LimitsOfField(judge_.limits(), field);
  return limits ? std::optional<FieldLimits>(*limits) : std::nullopt;
}

void LimitMonitor::Clear() {
  judge_.Reset();
  log_.Clear();
  judged_ = {};
  page_->Refresh();
  ShowCount();
}

void LimitMonitor::JudgeNew(const DecoderState& state, bool live) {
  std::vector<Alarm> alarms;
  // Records dropped before they were judged are past: the levels go on from the first kept. The
  // alarms come in the order the records were received.
  VisitStoredRecords(state, {judged_[0] + 1, judged_[1] + 1},
                     [&](Kind kind, std::int64_t number, const TelemetryRecord& record) {
                       judge_.Judge(kind, number, record, alarms);
                     });
  for (const Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    judged_[static_cast<std::size_t>(kind)] = state.Count(kind);
  }
  if (alarms.empty()) return;
  const int alerts = log_.Add(alarms, SteadyMs());
  if (live && alerts > 0) {
    QApplication::alert(window_);
    QApplication::beep();
  }
  page_->Refresh();
  ShowCount();
}

void LimitMonitor::JudgeAll(const DecoderState& state) {
  Clear();
  JudgeNew(state, false);
}

void LimitMonitor::AcknowledgeAll() {
  log_.AcknowledgeAll();
  page_->Refresh();
  ShowCount();
}

void LimitMonitor::ShowCount() {
  const QString text = Latin1(UnacknowledgedText(log_));
  count_label_->setText(text);
  count_label_->setVisible(!text.isEmpty());
  acknowledge_button_->setVisible(!text.isEmpty());
}

void LimitMonitor::OpenEditor() {
  if (path_.isEmpty()) return;
  if (!QFileInfo::exists(path_)) {
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QFile file(path_);
    // NewOnly: a file that appeared meanwhile is the user's, and stays as it is.
    const QByteArray text = LimitsTemplate().toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(text) != text.size() ||
        !file.flush()) {
      emit message(path_ + QStringLiteral(": could not be created: ") + file.errorString());
      return;
    }
    file.close();
    Reload();
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path_))) {
    emit message(QStringLiteral("no editor opened ") + path_);
  }
}

}  // namespace talphex
