// The desktop decoder: the main window, opening the capture files named on the command line.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <clocale>

#include "ui/conf_ini_qt.h"
#include "ui/main_window.h"
#include "ui/program_info.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // QApplication adopts the user's C locale; the core's number texts expect the C library to
  // write "." and put the user's separator in themselves.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("talphex-decoder"));
  QApplication::setApplicationDisplayName(QLatin1String(talphex::kProgramTitle));
  QApplication::setApplicationVersion(QStringLiteral(TALPHEX_VERSION));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Decodes TALPHEX beacon and VAVE payload frames from KISS capture files."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("captures"),
                               QStringLiteral("KISS capture files (*.kss) to open at start"),
                               QStringLiteral("[capture.kss...]"));
  parser.process(app);

  talphex::MainWindow window(talphex::DefaultConfIniPaths());
  window.show();
  const QStringList captures = parser.positionalArguments();
  if (!captures.isEmpty()) {
    // Once the window is on screen, so that it shows each file as it is loaded.
    QTimer::singleShot(0, &window, [&window, captures] { window.OpenFiles(captures); });
  }
  return QApplication::exec();
}
