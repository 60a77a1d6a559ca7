// Renders the start window and the main window (after converting a sample
// file, so that the log shows a real report) to PNG files for the
// documentation: screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cstdio>

#include "appdelegate.h"
#include "mainwindow.h"
#include "style.h"

namespace {

void settle(int milliseconds) {
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
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

  AppDelegate delegate(productionServices());
  delegate.applicationDidFinishLaunching();
  settle(400);
  bool ok = save(delegate.window(), out.filePath(QStringLiteral("start-window.png")));

  delegate.pushNext();
  MainWindow* main = delegate.mainWindowController();
  // A phone's export in a folder with Japanese names: two cards written, one
  // of vCard 4.0 and one the file cuts off, and properties an iPhone does not
  // take.
  QTemporaryDir home;
  const QString folder = home.filePath(QStringLiteral("連絡先/2024年"));
  QDir().mkpath(folder);
  const QString source = folder + QStringLiteral("/docomo-export.vcf");
  QFile file(source);
  if (!file.open(QIODevice::WriteOnly)) return 1;
  file.write(
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN:山田;太郎\r\nTEL:090-1234-5678\r\n"
      "X-GN:友人\r\nX-GNO:1\r\nX-CLASS:PUBLIC\r\nREV:20240101T000000Z\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:佐藤 花子\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN:鈴木;一郎\r\nX-GN:会社\r\n"
      "X-MS-OL-DESIGN:<card/>\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN:田中;次郎\r\n");
  file.close();
  MainWindow::setFileName(source);
  main->pushStart();
  settle(400);
  // The log at its end, as after a run: the report whole.
  main->messageField()->verticalScrollBar()->setValue(
      main->messageField()->verticalScrollBar()->maximum());
  settle(100);
  ok = save(main->myWindow(), out.filePath(QStringLiteral("main-window.png"))) && ok;
  return ok ? 0 : 1;
}
