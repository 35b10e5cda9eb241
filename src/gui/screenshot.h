// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>
#include <vector>

#include "core/base/expected.h"
#include "core/export/output_plan.h"

class QWidget;

namespace talphex {

// The widget's pixels as it shows them, hidden children left out.
QImage GrabClientArea(QWidget* client);

// Saves `image` as a Windows bitmap; an earlier file is replaced only once the new one is
// complete. The error names the path and the reason.
// A picture never replaces one of `captures`, the files the window shows.
Status SaveBmp(const QImage& image, const QString& path,
               const std::vector<PlannedInput>& captures = {});

// Saves `image` as PNG, in the same way.
Status SavePng(const QImage& image, const QString& path,
               const std::vector<PlannedInput>& captures = {});

// An 8-bit palette image of at most 256 colours. Pixels of exactly `transparent` share one fully
// transparent palette entry; all other colours map to opaque entries, exactly when the picture
// has few enough colours, else to the mean colour of their median-cut box.
QImage ToIndexedWithTransparency(const QImage& image, QRgb transparent);

// Turns the bitmap at `bmp_path` into a palette PNG of the same name with the extension "png"
// (see ToIndexedWithTransparency) and removes the bitmap once the PNG is written. Returns the
// PNG's path; on failure the bitmap stays and the error names the file and the reason.
Expected<QString> ConvertBmpToIndexedPng(const QString& bmp_path, QRgb transparent);

}  // namespace talphex
