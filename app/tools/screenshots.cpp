// Renders the start window, the main window (after converting a sample
// file, so that the log shows a real report) and the main window during a
// long run, its progress shown, to PNG files for the documentation:
// screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "appdelegate.h"
#include "mainwindow.h"
#include "services.h"
#include "style.h"

namespace {

void settle(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
}

// The engine, held at a card of the sample until the picture is taken, so
// that the window is caught in the middle of a run.
class HeldConverter final : public Converter {
 public:
  std::uint64_t holdAt = 0;  // 0: not held
  std::atomic<bool> released{false};

  ConversionOutcome convert(const std::string& org, const std::string& dst,
                            const vcard::ConvertOptions& options) override {
    vcard::ConvertOptions held = options;
    held.progressInterval = std::chrono::milliseconds(0);
    held.progress = [&](const vcard::Progress& progress) {
      const bool goOn = options.progress(progress);
      while (goOn && holdAt != 0 && progress.currentCard >= holdAt && !released)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return goOn;
    };
    return m_engine.convert(org, dst, held);
  }

 private:
  EngineConverter m_engine;
};

bool writeSample(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool save(QWidget* window, const QString& path) {
  const bool saved = window->grab().save(path, "PNG");
  std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  return saved;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 64;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  QApplication::setApplicationName(QStringLiteral("PC→iPhone vCard 変換"));
  applyAppearance(app);

  HeldConverter converter;
  ShellServices services = productionServices();
  services.converter = &converter;
  AppDelegate delegate(services);
  delegate.applicationDidFinishLaunching();
  settle(400);
  bool ok = save(delegate.window(), out.filePath(QStringLiteral("start-window.png")));

  delegate.pushNext();
  MainWindow* main = delegate.mainWindowController();
  // A phone's export in a folder with Japanese names: two cards written, a
  // contact group and one card the file cuts off, and properties an iPhone
  // does not take.
  QTemporaryDir home;
  const QString source = home.filePath(QStringLiteral("連絡先/2024年/docomo-export.vcf"));
  if (!writeSample(source,
                   "BEGIN:VCARD\r\nVERSION:2.1\r\nN:山田;太郎\r\nTEL:090-1234-5678\r\n"
                   "X-GN:友人\r\nX-GNO:1\r\nX-CLASS:PUBLIC\r\nREV:20240101T000000Z\r\nEND:VCARD\r\n"
                   "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:家族\r\nEND:VCARD\r\n"
                   "BEGIN:VCARD\r\nVERSION:2.1\r\nN:鈴木;一郎\r\nX-GN:会社\r\n"
                   "X-MS-OL-DESIGN:<card/>\r\nEND:VCARD\r\n"
                   "BEGIN:VCARD\r\nVERSION:2.1\r\nN:田中;次郎\r\n")) {
    return 1;
  }
  MainWindow::setFileName(source);
  main->pushStart();
  settle(400);
  // The log as a run leaves it: from the run's heading.
  settle(100);
  ok = save(main->myWindow(), out.filePath(QStringLiteral("main-window.png"))) && ok;

  // A larger export in a folder of its own (no overwrite question), held
  // at its 240th of 600 cards once the progress is shown.
  QByteArray cards;
  for (int i = 1; i <= 600; ++i) {
    cards += QStringLiteral(
                 "BEGIN:VCARD\r\nVERSION:3.0\r\nN:山田;太郎%1\r\n"
                 "TEL;CELL:090-1234-%2\r\nEND:VCARD\r\n")
                 .arg(i)
                 .arg(i, 4, 10, QLatin1Char('0'))
                 .toUtf8();
  }
  const QString large = home.filePath(QStringLiteral("連絡先/バックアップ/all-contacts.vcf"));
  if (!writeSample(large, cards)) return 1;
  converter.holdAt = 240;
  MainWindow::setFileName(large);
  main->pushStart();
  settle(static_cast<int>(MainWindow::kProgressDelay.count()) + 500);
  ok = save(main->myWindow(), out.filePath(QStringLiteral("main-window-converting.png"))) && ok;
  converter.released = true;
  QEventLoop ended;
  QObject::connect(main, &MainWindow::conversionEnded, &ended, &QEventLoop::quit);
  if (main->isConverting()) ended.exec();
  return ok ? 0 : 1;
}
