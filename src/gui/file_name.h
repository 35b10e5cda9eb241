// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <string_view>

namespace talphex {

// File names are bytes in the file system's encoding (UTF-8), not always valid text. These convert
// both ways without loss: a byte that is not part of valid UTF-8 becomes the lone surrogate
// U+DC80 to U+DCFF and turns back into the same byte, so that a name given on the command line
// opens the same file in the window as in the command-line tool.
QString DecodeFileName(std::string_view bytes);
QByteArray EncodeFileName(const QString& name);

}  // namespace talphex
