// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <string>

namespace talphex {

// Settings of the window that conf.ini may change.
struct WindowSettings {
  QString image_path;             // folder prefix of screenshots, ends with "/"
  bool screenshot_button = true;  // the "S" button is offered
  QString capture_path;           // folder of the recordings of live connections
  std::string station;            // the receiving station of the line protocol; empty for none
  std::size_t live_records = 0;   // records of each kind a live connection keeps
  // CALLSIGN, LONGITUDE and LATITUDE as written: the station network dialog's defaults.
  std::string callsign;
  std::string longitude;
  std::string latitude;
};

// Where conf.ini is looked for, in order: the program's folder, then talphex/conf.ini in the
// user's configuration folder.
QStringList DefaultConfIniPaths();

// Where screenshots go unless conf.ini says otherwise, followed by "/": `program_folder` when a
// file can be made there, else the user's pictures folder (an installed program lives in
// /usr/bin, which users cannot write).
QString DefaultImagePath(const QString& program_folder);
// The same for this program's folder.
QString DefaultImagePath();

// Where live connections record their passes unless conf.ini says otherwise: the user's
// documents folder.
QString DefaultCapturePath();

// Applies every one of `paths` that can be read over `defaults`, in order, line by line, so that a
// later line wins; a missing or unreadable file changes nothing.
WindowSettings ReadWindowSettings(const QStringList& paths, WindowSettings defaults);

}  // namespace talphex
