// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/save_target.h"

#include <QDir>
#include <QFileDialog>
#include <QTemporaryFile>

namespace talphex {

bool CanCreateFileIn(const QString& folder) {
  QTemporaryFile probe(folder + QStringLiteral("/.talphex-XXXXXX"));
  return probe.open();
}

QString UserFolder(QStandardPaths::StandardLocation location) {
  const QString folder = QStandardPaths::writableLocation(location);
  return folder.isEmpty() || !QDir(folder).exists() ? QDir::homePath() : folder;
}

QString DocumentsPathFor(const QString& file_name) {
  return QDir(UserFolder(QStandardPaths::DocumentsLocation)).filePath(file_name);
}

std::optional<QString> AskForSavePath(QWidget* parent, const QString& proposed) {
  const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save As"), proposed);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

}  // namespace talphex
