// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStandardPaths>
#include <QString>
#include <optional>

class QWidget;

namespace talphex {

// True when a new file can be made in `folder`, found out by making one: the permission bits do
// not tell for root, read-only mounts or file systems such as /proc.
bool CanCreateFileIn(const QString& folder);

// The user's folder of `location` (documents, pictures), or the home folder when there is none.
QString UserFolder(QStandardPaths::StandardLocation location);

// `file_name` in the user's documents folder, or in the home folder when there is none.
QString DocumentsPathFor(const QString& file_name);

// The save dialog, opened on `proposed`: the path chosen, nullopt when the user cancelled.
std::optional<QString> AskForSavePath(QWidget* parent, const QString& proposed);

}  // namespace talphex
