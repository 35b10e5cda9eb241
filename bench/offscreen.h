// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Widgets benchmarked on the offscreen platform, without its warnings.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdio>

namespace talphex::bench {

// The offscreen platform warns about window features it lacks, once per widget shown.
inline void DropPlatformNoise(QtMsgType type, const QMessageLogContext& context,
                              const QString& text) {
  if (text.contains(QStringLiteral("This plugin does not support"))) return;
  std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

// Before the QApplication is made.
inline void UseOffscreenPlatform() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(DropPlatformNoise);
}

}  // namespace talphex::bench
