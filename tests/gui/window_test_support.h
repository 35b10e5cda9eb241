// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for GUI tests that drive the main window.
#pragma once

#include <QStringList>
#include <functional>

namespace talphex {

class MainWindow;

// Generous, for a sanitizer build on a busy machine; a passing test waits only as long as the load.
constexpr int kOpenTimeoutMs = 120000;

// Runs `command` (an open command: a menu action, a drop, OpenFiles) and waits until the window
// has finished it. False when it did not finish in time.
[[nodiscard]] bool OpenAndWait(MainWindow& window, const std::function<void()>& command);
[[nodiscard]] bool OpenAndWait(MainWindow& window, const QStringList& paths);

}  // namespace talphex
