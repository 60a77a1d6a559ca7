// Renders the start window and the main window (with a sample path and log)
// to PNG files for the documentation: screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QPixmap>
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
  MainWindow::setFileName(QStringLiteral("/home/yamada/書類/連絡先.vcf"));
  main->appendText(MainWindow::kConvertingLine);
  main->appendText(QStringLiteral("変換が完了しました。\n入力データ：3件、　出力データ：2件\n\n"));
  settle(400);
  ok = save(main->myWindow(), out.filePath(QStringLiteral("main-window.png"))) && ok;
  return ok ? 0 : 1;
}
