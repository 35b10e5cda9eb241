// Shared main() of the GUI tests: offscreen platform unless one is set, test-mode standard paths.
#include <QApplication>
#include <QStandardPaths>
#include <QtTest>

namespace talphex::testing {
// Each GUI test file defines this to run its QObject test class.
int RunTests(int argc, char** argv);
}  // namespace talphex::testing

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QStandardPaths::setTestModeEnabled(true);
  QApplication app(argc, argv);
  return talphex::testing::RunTests(argc, argv);
}
