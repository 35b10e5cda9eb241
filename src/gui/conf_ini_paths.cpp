// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/conf_ini_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include "core/view/conf_ini.h"
#include "gui/file_name.h"
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

QString DefaultCapturePath() { return UserFolder(QStandardPaths::DocumentsLocation); }

WindowSettings ReadWindowSettings(const QStringList& paths, WindowSettings defaults) {
  for (const QString& path : paths) {
    // Read by the core's rule: never waiting on a FIFO, only a regular file of sane size.
    const std::optional<ConfSettings> read = ReadConfIniFile(EncodeFileName(path).toStdString());
    if (!read) continue;
    const ConfSettings& settings = *read;
    if (settings.image_path) defaults.image_path = DecodeFileName(*settings.image_path);
    if (settings.screenshot_button) defaults.screenshot_button = *settings.screenshot_button;
    if (settings.capture_path) defaults.capture_path = DecodeFileName(*settings.capture_path);
    if (settings.station) defaults.station = *settings.station;
    if (settings.live_records) defaults.live_records = *settings.live_records;
    if (settings.callsign) defaults.callsign = *settings.callsign;
    if (settings.longitude) defaults.longitude = *settings.longitude;
    if (settings.latitude) defaults.latitude = *settings.latitude;
  }
  return defaults;
}

}  // namespace talphex
