// SPDX-License-Identifier: GPL-3.0-or-later
// talphex-decoder(1) names every command of the window's menus, so that a command added to a
// menu cannot be left out of the manual.
#include <QFile>
#include <QMenuBar>
#include <QtTest>

#include "gui/main_window.h"

namespace talphex {

class ManPageTest : public QObject {
  Q_OBJECT

 private slots:
  void namesEveryMenuCommand() {
    QFile page(QStringLiteral(TALPHEX_DECODER_MAN_PAGE));
    QVERIFY2(page.open(QIODevice::ReadOnly), qPrintable(page.fileName()));
    // The text as the reader sees it: roff's escaped hyphens are hyphens.
    const QString text =
        QString::fromUtf8(page.readAll()).replace(QStringLiteral("\\-"), QStringLiteral("-"));
    const MainWindow window(QStringList{QStringLiteral("none.ini")});
    QStringList commands;
    for (QAction* top : window.menuBar()->actions()) {
      const QList<QAction*> entries =
          top->menu() != nullptr ? top->menu()->actions() : QList<QAction*>{top};
      for (const QAction* entry : entries) {
        if (!entry->isSeparator()) commands << entry->text().remove(QLatin1Char('&'));
      }
    }
    QVERIFY(commands.size() >= 9);  // Open, Connect, Disconnect, Exit, four exports, Info
    for (const QString& command : commands) {
      QVERIFY2(text.contains(QLatin1Char('"') + command + QLatin1Char('"')),
               qPrintable(QStringLiteral("missing in the man page: ") + command));
    }
  }
};

}  // namespace talphex

QTEST_MAIN(talphex::ManPageTest)

#include "man_page_test.moc"
