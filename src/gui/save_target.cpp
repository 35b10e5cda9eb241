// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/save_target.h"

#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace talphex {

bool CanCreateFileIn(const QString& folder) {
  QTemporaryFile probe(folder + QStringLiteral("/.talphex-XXXXXX"));
  return probe.open();
}

QString DocumentsPathFor(const QString& file_name) {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
  return QDir(folder).filePath(file_name);
}

std::optional<QString> AskForSavePath(QWidget* parent, const QString& proposed) {
  const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save As"), proposed);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

}  // namespace talphex
