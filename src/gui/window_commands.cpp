// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/window_commands.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

#include "core/export/exports.h"
#include "core/export/output_path.h"
#include "core/export/screenshot_name.h"
#include "gui/file_name.h"
#include "gui/save_target.h"
#include "gui/screenshot.h"
#include "gui/window_look.h"

namespace talphex {

std::optional<QStringList> AskForCaptureFiles(QWidget* parent) {
  const QStringList paths = QFileDialog::getOpenFileNames(
      parent, QStringLiteral("Open KISS File"), QString(),
      QStringLiteral("KISS Files (*.kss);;SatNOGS frames (*.csv *.txt);;All Files (*)"));
  if (paths.isEmpty()) return std::nullopt;
  return paths;
}

std::optional<AnalysisFormat> AskForAnalysisFormat(QWidget* parent) {
  const QStringList formats = {
      QStringLiteral("Comma-separated values, UTF-8 (<capture name>-analysis.csv)"),
      QStringLiteral("JSON Lines (<capture name>.jsonl)"),
      QStringLiteral("InfluxDB line protocol (<capture name>.lp)")};
  bool chosen = false;
  const QString item = QInputDialog::getItem(parent, QStringLiteral("Export for Analysis"),
                                             QStringLiteral("Format:"), formats, 0, false, &chosen);
  if (!chosen) return std::nullopt;
  constexpr AnalysisFormat kFormats[] = {AnalysisFormat::kCsv, AnalysisFormat::kJsonLines,
                                         AnalysisFormat::kInflux};
  return kFormats[std::max<qsizetype>(formats.indexOf(item), 0)];
}

QStringList CaptureFilesOf(const QMimeData* mime) {
  QStringList paths;
  if (mime == nullptr || !mime->hasUrls()) return paths;
  for (const QUrl& url : mime->urls()) {
    const QString path = url.toLocalFile();
    const bool capture = path.endsWith(QStringLiteral(".kss"), Qt::CaseInsensitive) ||
                         path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) ||
                         path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive);
    if (!path.isEmpty() && capture) paths << path;
  }
  return paths;
}

CommandOutcome WriteExport(const DecoderState& state, const char* suffix,
                           const std::function<std::optional<QString>(const QString&)>& choose_path,
                           const std::function<void(std::FILE*)>& write) {
  const QFileInfo target(DecodeFileName(OutputPathFor(state.InputFilePath, suffix)));
  Expected<std::string> written = Error{};
  if (state.InputFilePath.empty() || CanCreateFileIn(target.absolutePath())) {
    written = ExportBeside(state, suffix, write);
  } else {
    const std::optional<QString> chosen = choose_path(DocumentsPathFor(target.fileName()));
    if (!chosen) {
      return {
          false, target.filePath() + QStringLiteral(" not written: its folder is read-only"), {}};
    }
    const std::string path = EncodeFileName(*chosen).toStdString();
    const Status saved = WritePlannedFile(InputsOf(state), path, write);
    written = saved ? Expected<std::string>(path) : Expected<std::string>(saved.error());
  }
  if (!written) return {false, DecodeFileName(written.error().message), {}};
  return {true, DecodeFileName(written.value()) + QLatin1String(kHasBeenWritten), {}};
}

CommandOutcome SaveScreenshot(QWidget* client, const QString& image_path, const DecoderState& state,
                              const QList<QWidget*>& hidden) {
  if (state.InputFilePath.empty()) {
    return {false, QStringLiteral("no capture loaded yet: nothing to take a screenshot of"), {}};
  }
  // Absolute, so that the status says where the picture went whatever the folder setting.
  const QString bmp_path =
      QFileInfo(DecodeFileName(ScreenshotFileName(EncodeFileName(image_path).toStdString(),
                                                  state.InputFilePath)))
          .absoluteFilePath();
  const QFileInfo folder(QFileInfo(bmp_path).absolutePath());
  if (!folder.isDir() || !folder.isWritable()) {
    return {
        false,
        QStringLiteral("screenshot not saved: %1 is not a writable folder").arg(folder.filePath()),
        {}};
  }
  QList<QWidget*> shown;
  for (QWidget* widget : hidden) {
    if (!widget->isHidden()) shown << widget;
    widget->hide();
  }
  // The picture is of the records, not of where the keyboard is: no focus frame, which would also
  // crowd the indexed PNG's 256 colours.
  QWidget* window = client->window();
  const bool focus_shown = window->testAttribute(Qt::WA_KeyboardFocusChange);
  window->setAttribute(Qt::WA_KeyboardFocusChange, false);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  const QImage picture = GrabClientArea(client);
  window->setAttribute(Qt::WA_KeyboardFocusChange, focus_shown);
  const Status saved = SaveBmp(picture, bmp_path, InputsOf(state));
  for (QWidget* widget : shown) widget->show();
  if (!saved) {
    return {false,
            QStringLiteral("screenshot not saved: ") + DecodeFileName(saved.error().message),
            {}};
  }
  const Expected<QString> png_path = ConvertBmpToIndexedPng(bmp_path, kBackground.rgb());
  if (!png_path) {
    return {false, bmp_path + QStringLiteral(" saved"),
            QStringLiteral("PNG conversion failed: ") + DecodeFileName(png_path.error().message)};
  }
  return {true, png_path.value() + QStringLiteral(" converted and saved"), {}};
}

}  // namespace talphex
