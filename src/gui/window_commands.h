// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <functional>
#include <optional>

#include "core/decode/decoder_state.h"
#include "core/export/analysis_exports.h"

class QMimeData;
class QWidget;

namespace talphex {

// What the window's commands ask the user and write, apart from the widgets that start them.

// The open dialog: the capture files chosen, nullopt when the user cancelled.
std::optional<QStringList> AskForCaptureFiles(QWidget* parent);
// The format of "Export for Analysis...", nullopt when the user cancelled.
std::optional<AnalysisFormat> AskForAnalysisFormat(QWidget* parent);
// The dropped files the window opens: KISS captures and SatNOGS frame exports.
QStringList CaptureFilesOf(const QMimeData* mime);

// What a command did: the status line it leaves, and a message box's text when it failed in a way
// the status line cannot hold.
struct CommandOutcome {
  bool done = false;
  QString status;
  QString error;
};

// Writes an export of `state` beside its capture, or, when that folder cannot take a new file (the
// installed sample's), into the file `choose_path` gives when asked with the documents folder's
// proposal; nothing when it gives none. Every path goes through the output plan.
CommandOutcome WriteExport(const DecoderState& state, const char* suffix,
                           const std::function<std::optional<QString>(const QString&)>& choose_path,
                           const std::function<void(std::FILE*)>& write);

// The "S" command: the client area as a bitmap named after the capture in `image_path`, then as
// an indexed PNG beside it, with the `hidden` widgets left out of the picture.
CommandOutcome SaveScreenshot(QWidget* client, const QString& image_path, const DecoderState& state,
                              const QList<QWidget*>& hidden);

}  // namespace talphex
