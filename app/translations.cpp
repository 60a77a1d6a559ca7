#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installJapaneseTranslations(QCoreApplication& app) {
  // "qt_ja" bundles the base, widget and dialog catalogues; "qtbase_ja"
  // alone is enough where the bundle is missing.
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  auto* translator = new QTranslator(&app);
  const QLocale japanese(QLocale::Japanese, QLocale::Japan);
  if (!translator->load(japanese, QStringLiteral("qt"), QStringLiteral("_"), folder) &&
      !translator->load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  QLocale::setDefault(japanese);
  return true;
}
