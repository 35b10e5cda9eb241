// Exports and the screenshot, started from the window as the user starts them.
#include <sys/resource.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <memory>

#include "export/exports.h"
#include "export/screenshot_qt.h"
#include "ui/main_window.h"

namespace talphex {
namespace {

const QRgb kBackground = qRgb(240, 240, 240);

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

// What a core writer puts into a file, for comparison with the window's file.
template <typename Writer>
QByteArray CoreOutput(Writer&& write) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  write(out);
  std::fclose(out);
  QByteArray bytes(buffer, static_cast<qsizetype>(size));
  std::free(buffer);
  return bytes;
}

// Lets writes past `bytes` fail with "File too large" while it lives.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previous_handler_)(int) = nullptr;
};

struct Message {
  QString title;
  QString text;
};

class ExportsWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  QList<Message> messages_;

  QString Path(const QString& name) const { return dir_->filePath(name); }

  // A window whose conf.ini sends screenshots to `image_path`, with the sample copied into the
  // temporary folder so that the exports land there.
  std::unique_ptr<MainWindow> MakeWindow(const QString& image_path, bool load_sample) {
    QFile conf(Path("conf.ini"));
    if (!conf.open(QIODevice::WriteOnly)) qFatal("cannot write conf.ini");
    conf.write("SCREENSHOT=YES\r\nIMAGE_PATH=" + QFile::encodeName(image_path) + "\r\n");
    conf.close();
    auto window = std::make_unique<MainWindow>(QStringList{Path("conf.ini")});
    window->SetMessageSink([this](const QString& title, const QString& text) {
      messages_ << Message{title, text};
    });
    if (load_sample) {
      QFile::copy(TALPHEX_SAMPLE_CAPTURE, Path("pass.kss"));
      window->OpenFiles({Path("pass.kss")});
    }
    return window;
  }

  static QString Status(const MainWindow& window) {
    return window.findChild<QLineEdit*>("Text4")->text();
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    messages_.clear();
  }

  void nothingLoadedWritesNothing() {
    const auto window = MakeWindow(Path(""), false);
    window->WriteCSVFile_Click();
    QCOMPARE(Status(*window), QStringLiteral("no input file"));
    window->WriteTLMFile_Click();
    QCOMPARE(Status(*window), QStringLiteral("no input file"));
    window->WritePayloadCSVFile_Click();
    QCOMPARE(Status(*window), QStringLiteral("no input file"));
    window->Command1_Click();
    QVERIFY(Status(*window).contains("no capture"));
    QVERIFY(!window->findChild<QAbstractButton*>("Command1")->isHidden());
    QVERIFY(!window->findChild<QAbstractButton*>("Check1")->isHidden());
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{"conf.ini"});
    QVERIFY(messages_.isEmpty());
  }

  void csvFilesEqualTheCoresOutput() {
    const auto window = MakeWindow(Path(""), true);
    window->WriteCSVFile_Click();
    QCOMPARE(Status(*window), Path("pass.csv") + " has been written");
    const QByteArray beacon = CoreOutput(
        [&](std::FILE* out) { WriteBeaconCsv(out, window->state(), window->decimal_separator()); });
    QCOMPARE(ReadAll(Path("pass.csv")), beacon);
    QCOMPARE(beacon.count("\r\n"), 87);

    window->WritePayloadCSVFile_Click();
    QCOMPARE(Status(*window), Path("pass-payload.csv") + " has been written");
    const QByteArray payload = CoreOutput([&](std::FILE* out) {
      WritePayloadCsv(out, window->state(), window->decimal_separator());
    });
    QCOMPARE(ReadAll(Path("pass-payload.csv")), payload);
    QCOMPARE(payload.count("\r\n"), 27);
  }

  void reportFollowsTheScrollBar() {
    const auto window = MakeWindow(Path(""), true);
    auto report_of = [&](int record) {
      return CoreOutput([&](std::FILE* out) {
        WriteReport(out, BuildRecordView(window->state(), record, Kind::kBeacon,
                                         window->decimal_separator()));
      });
    };
    window->WriteTLMFile_Click();
    QCOMPARE(Status(*window), Path("pass.tlm") + " has been written");
    const QByteArray first = ReadAll(Path("pass.tlm"));
    QCOMPARE(first, report_of(1));
    QCOMPARE(first.count("\r\n"), 53);
    window->findChild<QScrollBar*>("HScroll1")->setValue(7);
    window->WriteTLMFile_Click();
    const QByteArray seventh = ReadAll(Path("pass.tlm"));
    QCOMPARE(seventh, report_of(7));
    QVERIFY(seventh != first);
    // The report holds what the boxes show.
    const QString message_number = window->findChild<QLineEdit*>("Text1(0)")->text();
    QVERIFY(seventh.contains("Message No.       : " + message_number.toLatin1() + " \r\n"));
  }

  void failedWriteKeepsTheEarlierFile() {
    const auto window = MakeWindow(Path(""), true);
    QFile earlier(Path("pass.csv"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier content\r\n");
    earlier.close();
    {
      const FileSizeLimit limit(100);
      window->WriteCSVFile_Click();
    }
    QVERIFY2(Status(*window).startsWith(Path("pass.csv") + ": "), qPrintable(Status(*window)));
    QVERIFY2(Status(*window).contains("too large"), qPrintable(Status(*window)));
    QCOMPARE(ReadAll(Path("pass.csv")), QByteArray("earlier content\r\n"));
    // No temporary file is left behind.
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
  }

  void screenshotIsAnIndexedPngWithTransparentBackground() {
    QVERIFY(QDir(dir_->path()).mkdir("shots"));
    const auto window = MakeWindow(Path("shots/"), true);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QImage with_controls = GrabClientArea(window->centralWidget());

    window->Command1_Click();
    const QString png_path = Path("shots/pass.png");
    QCOMPARE(Status(*window), png_path + " converted and saved");
    QVERIFY(messages_.isEmpty());
    QVERIFY(!QFile::exists(Path("shots/pass.bmp")));
    auto* button = window->findChild<QPushButton*>("Command1");
    auto* check = window->findChild<QCheckBox*>("Check1");
    QVERIFY(button->isVisible());
    QVERIFY(check->isVisible());

    // An 8-bit palette PNG: bit depth 8 and colour type 3 in its header.
    const QByteArray bytes = ReadAll(png_path);
    QVERIFY(bytes.startsWith("\x89PNG\r\n\x1a\n"));
    QCOMPARE(bytes.mid(12, 4), QByteArray("IHDR"));
    QCOMPARE(static_cast<int>(bytes.at(24)), 8);
    QCOMPARE(static_cast<int>(bytes.at(25)), 3);
    QVERIFY(bytes.contains("tRNS"));
    QImage png;
    QVERIFY(png.load(png_path));
    QCOMPARE(png.format(), QImage::Format_Indexed8);
    QVERIFY(png.colorCount() <= 256);
    QCOMPARE(png.size(), with_controls.size());

    // The window background is transparent, the rest is not.
    QCOMPARE(qAlpha(png.pixel(1, 1)), 0);
    auto* value_box = window->findChild<QLineEdit*>("Text1(17)");
    const QPoint inside_box =
        value_box->mapTo(window->centralWidget(), QPoint(value_box->width() - 4, 3));
    QCOMPARE(png.pixel(inside_box), qRgb(255, 255, 192));
    // Where "S" stood the picture shows only background; where "B" stood it differs from a
    // picture taken with the check box shown.
    const QRect button_area(button->mapTo(window->centralWidget(), QPoint(0, 0)), button->size());
    for (int y = button_area.top(); y <= button_area.bottom(); ++y) {
      for (int x = button_area.left(); x <= button_area.right(); ++x) {
        QCOMPARE(qAlpha(png.pixel(x, y)), 0);
      }
    }
    const QRect check_area(check->mapTo(window->centralWidget(), QPoint(0, 0)), check->size());
    bool differs = false;
    for (int y = check_area.top(); y <= check_area.bottom() && !differs; ++y) {
      for (int x = check_area.left(); x <= check_area.right() && !differs; ++x) {
        differs = (png.pixel(x, y) | 0xFF000000u) != with_controls.pixel(x, y);
      }
    }
    QVERIFY(differs);
  }

  void conversionFailureShowsAMessageAndKeepsTheBitmap() {
    QVERIFY(QDir(dir_->path()).mkdir("shots"));
    // A folder where the PNG should go makes the conversion fail.
    QVERIFY(QDir(dir_->path()).mkpath("shots/pass.png"));
    const auto window = MakeWindow(Path("shots/"), true);
    window->Command1_Click();
    QCOMPARE(messages_.size(), 1);
    QCOMPARE(messages_[0].title, QStringLiteral("Error"));
    QVERIFY2(messages_[0].text.startsWith("PNG conversion failed: " + Path("shots/pass.png")),
             qPrintable(messages_[0].text));
    QCOMPARE(Status(*window), Path("shots/pass.bmp") + " saved");
    QImage bitmap;
    QVERIFY(bitmap.load(Path("shots/pass.bmp"), "bmp"));
    QCOMPARE(bitmap.size(), window->centralWidget()->size());
    QVERIFY(!window->findChild<QAbstractButton*>("Command1")->isHidden());
    QVERIFY(!window->findChild<QAbstractButton*>("Check1")->isHidden());
  }

  void screenshotFolderThatCannotBeWritten() {
    const auto window = MakeWindow(Path("missing/"), true);
    window->Command1_Click();
    QVERIFY2(Status(*window).contains(Path("missing")), qPrintable(Status(*window)));
    QVERIFY(Status(*window).contains("not a writable folder"));
    QVERIFY(!QDir(Path("missing")).exists());
    QVERIFY(!window->findChild<QAbstractButton*>("Command1")->isHidden());
    QVERIFY(!window->findChild<QAbstractButton*>("Check1")->isHidden());
    QVERIFY(messages_.isEmpty());
  }

  void screenshotFolderIsAPrefix() {
    // Without the final "/" the picture lands beside the folder, named after it.
    QVERIFY(QDir(dir_->path()).mkdir("shots"));
    const auto window = MakeWindow(Path("shots"), true);
    window->Command1_Click();
    QCOMPARE(Status(*window), Path("shotspass.png") + " converted and saved");
    QVERIFY(QFile::exists(Path("shotspass.png")));
  }

  void paletteOfAManyColouredPicture() {
    // 64 x 64 distinct colours (none of them the background) above a background band.
    QImage picture(64, 80, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) picture.setPixel(x, y, qRgb(x * 4, y * 4, (x + y) * 2 + 1));
    }
    for (int y = 64; y < 80; ++y) {
      for (int x = 0; x < 64; ++x) picture.setPixel(x, y, kBackground);
    }
    const QImage indexed = ToIndexedWithTransparency(picture, kBackground);
    QCOMPARE(indexed.format(), QImage::Format_Indexed8);
    QVERIFY(indexed.colorCount() <= 256);
    QCOMPARE(qAlpha(indexed.pixel(5, 70)), 0);
    int worst = 0;
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) {
        const QRgb original = picture.pixel(x, y);
        const QRgb mapped = indexed.pixel(x, y);
        QCOMPARE(qAlpha(mapped), 255);
        worst = std::max({worst, std::abs(qRed(original) - qRed(mapped)),
                          std::abs(qGreen(original) - qGreen(mapped)),
                          std::abs(qBlue(original) - qBlue(mapped))});
      }
    }
    // 255 boxes over a 64 x 64 colour plane: each box spans a few steps of 4.
    QVERIFY2(worst <= 24, qPrintable(QString::number(worst)));
  }

  void paletteOfAFewColoursIsExact() {
    QImage picture(3, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(1, 2, 3));
    picture.setPixel(1, 0, kBackground);
    picture.setPixel(2, 0, qRgb(239, 240, 240));
    const QImage indexed = ToIndexedWithTransparency(picture, kBackground);
    QCOMPARE(indexed.colorCount(), 3);
    QCOMPARE(indexed.pixel(0, 0), qRgb(1, 2, 3));
    QCOMPARE(qAlpha(indexed.pixel(1, 0)), 0);
    // A colour next to the background stays opaque.
    QCOMPARE(indexed.pixel(2, 0), qRgb(239, 240, 240));
  }
};

}  // namespace

namespace testing {
int RunTests(int argc, char** argv) {
  ExportsWindowTest test;
  return QTest::qExec(&test, argc, argv);
}
}  // namespace testing

}  // namespace talphex

#include "exports_window_test.moc"
