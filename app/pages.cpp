#include "pages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString fileNameOf(WebPage page) {
  return page == WebPage::Home ? QStringLiteral("index.html") : QStringLiteral("terms.html");
}

}  // namespace

QString pagesFolder() {
  const QDir installed(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                       QStringLiteral(APP_PAGES_RELATIVE_DIR));
  if (QFileInfo::exists(installed.filePath(fileNameOf(WebPage::Home)))) {
    return installed.absolutePath();
  }
  return QStringLiteral(APP_PAGES_SOURCE_DIR);
}

QUrl pageUrl(WebPage page) {
  return QUrl::fromLocalFile(QDir(pagesFolder()).filePath(fileNameOf(page)));
}
