// The desktop program: the start window, then the main conversion window.
#include <QApplication>
#include <QTimer>

#include "appdelegate.h"
#include "style.h"
#include "translations.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("PC→iPhone vCard 変換"));
  QApplication::setDesktopFileName(QStringLiteral("vcard-converter"));
  // The windows never close by themselves; only the quit question's "OK"
  // ends the program.
  QApplication::setQuitOnLastWindowClosed(false);
  installJapaneseTranslations(app);
  applyAppearance(app);

  AppDelegate delegate(productionServices());
  QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
  return QApplication::exec();
}
