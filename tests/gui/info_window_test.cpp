// SPDX-License-Identifier: GPL-3.0-or-later
// The Info window names the licence and where its text is, readable in the window as it opens.
#include "gui/info_window.h"

#include <QLabel>
#include <QtTest>

namespace talphex {

class InfoWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void namesTheLicenceInView() {
    InfoWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto* licence = window.findChild<QLabel*>(QStringLiteral("Licence"));
    QVERIFY(licence != nullptr);
    QVERIFY2(licence->text().contains(QStringLiteral("GPL-3.0-or-later")),
             qPrintable(licence->text()));
    QVERIFY2(licence->text().contains(QStringLiteral("/usr/share/common-licenses/GPL-3")),
             qPrintable(licence->text()));
    // Inside the window and tall enough for its wrapped lines, so no part of it is cut off.
    QVERIFY(licence->isVisible());
    const QRect area(licence->mapTo(&window, QPoint(0, 0)), licence->size());
    QVERIFY(window.rect().contains(area));
    QVERIFY(licence->height() >= licence->heightForWidth(licence->width()));
  }
};

}  // namespace talphex

QTEST_MAIN(talphex::InfoWindowTest)

#include "info_window_test.moc"
