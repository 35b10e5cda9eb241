// SPDX-License-Identifier: GPL-3.0-or-later
// The window over one capture opened again and again, as a user reopens a pass: the time of each
// open command and the process's memory after it, then the frame inspector with all its rows:
// scrolling it page by page, to its last row, and the dump of a chosen frame; then the frame log
// scrolled the same way. A measuring program to run by hand; reopening must not grow the memory.
//
//   QT_QPA_PLATFORM=offscreen build/release/bench/bench_window CAPTURE [OPENS]

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTableView>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui/main_window.h"

namespace {

// "VmRSS" or "VmHWM" of this process, in KB.
long StatusKb(const char* key) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith(key))
      return line.mid(line.indexOf(':') + 1).trimmed().split(' ')[0].toLong();
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_window CAPTURE [OPENS]\n");
    return 2;
  }
  QApplication app(argc, argv);
  const QString capture = QString::fromLocal8Bit(argv[1]);
  const int opens = argc > 2 ? std::atoi(argv[2]) : 6;
  talphex::MainWindow window(QStringList{});
  window.show();
  QApplication::processEvents();
  std::printf("start: %ld KB resident\n", StatusKb("VmRSS"));
  bool opened = false;
  QObject::connect(&window, &talphex::MainWindow::OpenFinished, &window,
                   [&opened] { opened = true; });
  QElapsedTimer timer;
  for (int i = 1; i <= opens; ++i) {
    timer.start();
    opened = false;
    window.OpenFiles({capture});
    // The capture loads off the user-interface thread: the time runs until it is on view.
    while (!opened) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();
    std::printf("open %d: %.2f s, %ld KB resident, %ld KB peak\n", i,
                static_cast<double>(timer.elapsed()) / 1000, StatusKb("VmRSS"), StatusKb("VmHWM"));
  }

  auto* table = window.findChild<QTableView*>(QStringLiteral("FrameTable"));
  auto* dump = window.findChild<QPlainTextEdit*>(QStringLiteral("FrameDump"));
  const int rows = table->model()->rowCount();
  table->window()->findChild<QTabWidget*>(QStringLiteral("SSTab1"))->setCurrentIndex(2);
  table->window()->findChild<QTabWidget*>(QStringLiteral("DebugPages"))->setCurrentIndex(1);
  QApplication::processEvents();
  // Milliseconds a step of scrolling a view from its top to its bottom takes to draw.
  const auto scroll_step_ms = [](QTableView* view) {
    constexpr int kSteps = 200;
    QScrollBar* bar = view->verticalScrollBar();
    QElapsedTimer steps;
    steps.start();
    for (int step = 0; step <= kSteps; ++step) {
      bar->setValue(bar->maximum() / kSteps * step);
      view->viewport()->repaint();
    }
    return static_cast<double>(steps.nsecsElapsed()) / 1e6 / (kSteps + 1);
  };
  const double per_step = scroll_step_ms(table);
  timer.start();
  table->scrollToBottom();
  table->selectRow(rows - 1);
  table->viewport()->repaint();
  dump->viewport()->repaint();
  std::printf(
      "inspector: %d rows; a scroll step drawn in %.2f ms; last row chosen and dumped in "
      "%.2f ms (%lld characters)\n",
      rows, per_step, static_cast<double>(timer.nsecsElapsed()) / 1e6,
      static_cast<long long>(dump->toPlainText().size()));

  // The frame log: the same scrolling over its kept lines.
  auto* log = window.findChild<QTableView*>(QStringLiteral("Text5"));
  table->window()->findChild<QTabWidget*>(QStringLiteral("DebugPages"))->setCurrentIndex(0);
  QApplication::processEvents();
  std::printf("frame log: %d lines; a scroll step drawn in %.2f ms\n", log->model()->rowCount(),
              scroll_step_ms(log));
  return 0;
}
