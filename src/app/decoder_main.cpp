// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop decoder: the main window, opening the capture files named on the command line or
// connecting to a TNC.
#include <QApplication>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <clocale>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

#include "core/base/licence.h"
#include "core/base/text_safety.h"
#include "core/capture/live_link.h"
#include "core/export/atomic_file.h"
#include "core/export/output_plan.h"
#include "core/view/program_info.h"
#include "gui/conf_ini_paths.h"
#include "gui/connect_dialog.h"
#include "gui/file_name.h"
#include "gui/limit_monitor.h"
#include "gui/main_window.h"
#include "gui/screenshot.h"

namespace {

// Lets a shown window reach the screen and run its posted layouts, so that a grab shows it as
// the user would see it.
void WaitUntilLaidOut(QWidget& window) {
  const QDeadlineTimer deadline(5000);
  while (!(window.windowHandle() != nullptr && window.windowHandle()->isExposed()) &&
         !deadline.hasExpired()) {
    QCoreApplication::processEvents();
    QThread::msleep(10);
  }
  for (int round = 0; round < 3; ++round) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
}

// True when the command line only asks for the help or the version text.
bool WantsInfoOnly(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const QByteArray arg(argv[i]);
    if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-?" || arg == "-v" ||
        arg == "--version") {
      return true;
    }
  }
  return false;
}

bool HasDisplay() {
  return !qEnvironmentVariableIsEmpty("DISPLAY") ||
         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
         !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

void AddOptions(QCommandLineParser& parser,
                std::initializer_list<const QCommandLineOption*> options) {
  parser.setApplicationDescription(QStringLiteral(
      "Decodes TALPHEX beacon and VAVE payload frames from KISS capture files or live from a "
      "TNC."));
  parser.addHelpOption();
  parser.addVersionOption();
  for (const QCommandLineOption* option : options) parser.addOption(*option);
  parser.addPositionalArgument(QStringLiteral("captures"),
                               QStringLiteral("KISS capture files (*.kss) to open at start"),
                               QStringLiteral("[capture.kss...]"));
}

}  // namespace

int main(int argc, char** argv) {
  talphex::EndOnAllocationFailure("talphex-decoder: out of memory\n");
  const QCommandLineOption screenshot(
      QStringLiteral("screenshot"),
      QStringLiteral("Open the captures, save a PNG picture of the window to <file> and exit."),
      QStringLiteral("file"));
  const QCommandLineOption kiss_tcp(
      QStringLiteral("kiss-tcp"),
      QStringLiteral("Connect at start to the TNC serving KISS at <host:port>, as \"Connect to "
                     "TNC...\" does, recording the pass as last chosen there."),
      QStringLiteral("host:port"));
  const QCommandLineOption limits(
      QStringLiteral("limits"),
      QStringLiteral("Judge the records by the limits and flag rules of <file> instead of "
                     "limits.ini in the user's configuration folder."),
      QStringLiteral("file"));
  if (WantsInfoOnly(argc, argv)) {
    // Help and version need no display.
    QCoreApplication app(argc, argv);
    talphex::SetApplicationInfo();
    // --version prints "NAME VERSION": the licence goes on the line after the version.
    QCoreApplication::setApplicationVersion(QCoreApplication::applicationVersion() +
                                            QLatin1Char('\n') +
                                            QLatin1String(talphex::kLicenceLine));
    QCommandLineParser parser;
    AddOptions(parser, {&screenshot, &kiss_tcp, &limits});
    parser.process(app);
    return 0;
  }
  if (!HasDisplay()) {
    std::fprintf(stderr,
                 "talphex-decoder: no display found (DISPLAY is not set); run it in a desktop "
                 "session, under xvfb-run, or use talphex-cli\n");
    return 1;
  }
  QApplication app(argc, argv);
  talphex::RemoveTemporaryFilesOnSignals();
  // QApplication adopts the user's C locale; the core's number texts expect the C library to
  // write "." and put the user's separator in themselves.
  std::setlocale(LC_NUMERIC, "C");
  talphex::SetApplicationInfo();

  QCommandLineParser parser;
  AddOptions(parser, {&screenshot, &kiss_tcp, &limits});
  // File names are bytes, converted without loss, so that any name the shell passes opens.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << talphex::DecodeFileName(argv[i]);
  parser.process(arguments);

  const QStringList captures = parser.positionalArguments();
  std::optional<talphex::TncChoice> tnc;
  if (parser.isSet(kiss_tcp)) {
    const talphex::Expected<talphex::HostPort> where =
        talphex::ParseHostPort(parser.value(kiss_tcp).toStdString());
    const char* usage = nullptr;
    if (!where) {
      usage = where.error().message.c_str();
    } else if (!captures.isEmpty() || parser.isSet(screenshot)) {
      usage = "reads no CAPTURE and takes no --screenshot";
    }
    if (usage != nullptr) {
      std::fprintf(stderr, "talphex-decoder: --kiss-tcp %s\n",
                   talphex::TerminalText(usage).c_str());
      return 2;
    }
    tnc = talphex::LastTncChoice();
    tnc->host = QString::fromStdString(where.value().host);
    tnc->port = where.value().port;
  }

  // The picture is planned like every output: it never replaces a capture it shows.
  std::vector<talphex::PlannedInput> inputs;
  for (const QString& capture : captures) {
    inputs.push_back({talphex::EncodeFileName(capture).toStdString()});
  }
  if (parser.isSet(limits))
    inputs.push_back({talphex::EncodeFileName(parser.value(limits)).toStdString(), "limits file"});
  if (parser.isSet(screenshot)) {
    const talphex::Expected<std::unique_ptr<talphex::OutputPlan>> plan = talphex::OutputPlan::Make(
        inputs,
        {{"--screenshot", talphex::EncodeFileName(parser.value(screenshot)).toStdString(),
          talphex::OutputMode::kWhole}},
        nullptr);
    if (!plan) {
      std::fprintf(stderr, "talphex-decoder: %s\n",
                   talphex::TerminalText(plan.error().message).c_str());
      return 2;
    }
  }

  talphex::MainWindow window(talphex::DefaultConfIniPaths());
  window.SetLimitsPath(parser.isSet(limits) ? parser.value(limits) : talphex::DefaultLimitsPath());
  window.show();
  // The station network as last set, but not for a screenshot; a TNC or capture files given here
  // replace a subscription as the source.
  if (!parser.isSet(screenshot)) window.StartRememberedNetwork();
  if (tnc) {
    QTimer::singleShot(0, &window, [&window, choice = *tnc] { window.ConnectToTnc(choice); });
  }
  if (parser.isSet(screenshot)) {
    // Taken once the captures are on view; the program ends with the picture's exit status.
    const auto take_screenshot = [&window, &inputs, path = parser.value(screenshot)] {
      WaitUntilLaidOut(window);
      const QImage picture = window.grab().toImage();
      talphex::Status saved = talphex::SavePng(picture, path, inputs);
      // A picture that reads back differently was not written as it should have been.
      if (saved && QFileInfo(path).isFile() && QImageReader(path).size() != picture.size()) {
        saved = talphex::PathError(talphex::ErrorKind::kWriteFailed,
                                   talphex::EncodeFileName(path).toStdString(),
                                   "the picture written cannot be read back");
      }
      if (!saved) {
        std::fprintf(stderr, "talphex-decoder: screenshot not saved: %s\n",
                     talphex::TerminalText(saved.error().message).c_str());
      }
      QCoreApplication::exit(saved ? 0 : 1);
    };
    if (captures.isEmpty()) {
      QTimer::singleShot(0, &window, take_screenshot);
    } else {
      QObject::connect(&window, &talphex::MainWindow::OpenFinished, &window, take_screenshot,
                       Qt::SingleShotConnection);
      window.OpenFiles(captures);
    }
    return QApplication::exec();
  }
  if (!captures.isEmpty()) {
    // Once the window is on screen, so that it shows each file as it is loaded.
    QTimer::singleShot(0, &window, [&window, captures] { window.OpenFiles(captures); });
  }
  return QApplication::exec();
}
