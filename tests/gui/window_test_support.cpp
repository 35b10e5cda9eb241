// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_test_support.h"

#include <QSignalSpy>
#include <QTest>

#include "gui/main_window.h"

namespace talphex {

bool OpenAndWait(MainWindow& window, const std::function<void()>& command) {
  QSignalSpy finished(&window, &MainWindow::OpenFinished);
  command();
  // A command with nothing to load has finished before it returns.
  return QTest::qWaitFor([&finished] { return !finished.isEmpty(); }, kOpenTimeoutMs);
}

bool OpenAndWait(MainWindow& window, const QStringList& paths) {
  return OpenAndWait(window, [&] { window.OpenFiles(paths); });
}

}  // namespace talphex
