// SPDX-License-Identifier: GPL-3.0-or-later
// File names are bytes: every one turns into a QString and back unchanged, and valid UTF-8 reads
// as the text it spells.
#include "gui/file_name.h"

#include <QtTest>

namespace talphex {

class FileNameTest : public QObject {
  Q_OBJECT

 private slots:
  void bytesRoundTrip_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");  // what the name reads as; a lone surrogate per bad byte
    const auto escaped = [](char16_t byte) { return QString(QChar(char16_t(0xDC00 + byte))); };
    QTest::newRow("ASCII") << QByteArray("pass 1.kss") << QStringLiteral("pass 1.kss");
    QTest::newRow("two, three and four bytes")
        << QByteArray("\xC2\xB5\xE2\x82\xAC\xF0\x9F\x9B\xB0") << QStringLiteral("µ€🛰");
    QTest::newRow("Latin-1 byte") << QByteArray("bad\xFFname") << "bad" + escaped(0xFF) + "name";
    QTest::newRow("overlong NUL") << QByteArray("\xC0\x80") << escaped(0xC0) + escaped(0x80);
    QTest::newRow("encoded surrogate")
        << QByteArray("\xED\xA0\x80") << escaped(0xED) + escaped(0xA0) + escaped(0x80);
    QTest::newRow("beyond U+10FFFF")
        << QByteArray("\xF4\x90\x80\x80")
        << escaped(0xF4) + escaped(0x90) + escaped(0x80) + escaped(0x80);
    QTest::newRow("cut off at the end")
        << QByteArray("a\xE2\x82") << "a" + escaped(0xE2) + escaped(0x82);
  }
  void bytesRoundTrip() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QString name = DecodeFileName(bytes.toStdString());
    QCOMPARE(name, text);
    QCOMPARE(EncodeFileName(name), bytes);
  }
};

}  // namespace talphex

QTEST_MAIN(talphex::FileNameTest)

#include "file_name_test.moc"
