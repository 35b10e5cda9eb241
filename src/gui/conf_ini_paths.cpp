// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/conf_ini_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include "core/view/conf_ini.h"
#include "gui/save_target.h"

namespace talphex {

QStringList DefaultConfIniPaths() {
  QStringList paths{QCoreApplication::applicationDirPath() + QStringLiteral("/conf.ini")};
  const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (!config.isEmpty()) paths << config + QStringLiteral("/talphex/conf.ini");
  return paths;
}

QString DefaultImagePath(const QString& program_folder) {
  const QString folder = CanCreateFileIn(program_folder)
                             ? program_folder
                             : UserFolder(QStandardPaths::PicturesLocation);
  return folder + QLatin1Char('/');
}

QString DefaultImagePath() { return DefaultImagePath(QCoreApplication::applicationDirPath()); }

WindowSettings ReadWindowSettings(const QStringList& paths, WindowSettings defaults) {
  for (const QString& path : paths) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) continue;
    // Settings files are small; anything past 1 MiB is not a settings file.
    const QByteArray text = file.read(1 << 20);
    const ConfSettings settings = ParseConfIni(std::string_view(text.constData(), text.size()));
    if (settings.image_path) defaults.image_path = QFile::decodeName(settings.image_path->c_str());
    if (settings.screenshot_button) defaults.screenshot_button = *settings.screenshot_button;
  }
  return defaults;
}

}  // namespace talphex
