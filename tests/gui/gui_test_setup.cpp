// SPDX-License-Identifier: GPL-3.0-or-later
// Linked into every GUI test: before its main() runs, pick the offscreen platform unless one is
// set, and switch the standard paths to test mode so that no user's settings reach the tests.
#include <QStandardPaths>
#include <QtGlobal>

namespace {

const bool kGuiTestSetUp = [] {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QStandardPaths::setTestModeEnabled(true);
  return true;
}();

}  // namespace
