#include "style.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QStringList>

namespace {

// Kanji look different in the Chinese and Japanese cuts of the same font;
// without an explicit family, font fallback may pick a Chinese one.
const QStringList kJapaneseFamilies = {
    QStringLiteral("Noto Sans CJK JP"),
    QStringLiteral("Noto Sans JP"),
    QStringLiteral("IPAexGothic"),
    QStringLiteral("IPAGothic"),
};

}  // namespace

const char* appStyleSheet() {
  return R"(
QWidget#StartWindow, QWidget#MainWindow { background: #ffffff; }
QLabel#titleLabel { font-size: 18pt; font-weight: bold; color: #1f2d3d; }
QLabel#leadLabel, QLabel#hintLabel { color: #4a5868; }
QLabel#sectionLabel, QLabel#logLabel { color: #1f2d3d; font-weight: bold; }
QLabel#dropLabel { color: #3d63a8; font-size: 11pt; }
QPushButton {
  padding: 6px 16px; border: 1px solid #c5ccd6; border-radius: 6px;
  background: #f5f7fa; color: #1f2d3d; min-height: 20px;
}
QPushButton:hover { background: #e9eef5; }
QPushButton:pressed { background: #dde4ee; }
QPushButton:focus { border-color: #2f6fdb; }
QPushButton#startButton, QPushButton#nextButton {
  background: #2f6fdb; border-color: #2a62c2; color: #ffffff; font-weight: bold;
  padding: 7px 28px;
}
QPushButton#startButton:hover, QPushButton#nextButton:hover { background: #2962c7; }
QPushButton#startButton:pressed, QPushButton#nextButton:pressed { background: #2455ad; }
QPushButton:disabled { color: #9aa5b1; border-color: #dde2e8; }
QPushButton#startButton:disabled { background: #a9c0e8; border-color: #a9c0e8; color: #ffffff; }
QProgressBar {
  border: 1px solid #c5ccd6; border-radius: 6px; background: #f3f5f8; color: #1f2d3d;
  text-align: center; min-height: 22px;
}
QProgressBar::chunk { background: #b9cdf0; border-radius: 5px; }
QLineEdit {
  padding: 5px 8px; border: 1px solid #c5ccd6; border-radius: 6px; background: #ffffff;
  selection-background-color: #2f6fdb;
}
QLineEdit:focus { border-color: #2f6fdb; }
QLineEdit[readOnly="true"] { background: #f3f5f8; color: #33404d; }
MainView {
  border: 2px dashed #9db5df; border-radius: 10px; background: #f4f8ff;
}
MainView[dropSign="true"] { border: 2px solid #2f6fdb; background: #e2ecff; }
QPlainTextEdit {
  border: 1px solid #c5ccd6; border-radius: 6px; background: #fafbfc; padding: 4px;
}
)";
}

// Outside any namespace, as the resource macro requires; the resources live
// in a static library, whose registration nothing else would pull in.
static void registerResources() {
  Q_INIT_RESOURCE(resources);
}

void ensureResources() {
  static const bool registered = (registerResources(), true);
  (void)registered;
}

QIcon applicationIcon() {
  ensureResources();
  return QIcon(QStringLiteral(":/icons/vcard-converter.svg"));
}

void applyAppearance(QApplication& app) {
  QApplication::setWindowIcon(applicationIcon());
  const QStringList available = QFontDatabase::families();
  for (const QString& family : kJapaneseFamilies) {
    if (available.contains(family)) {
      QFont font(family);
      font.setPointSize(10);
      app.setFont(font);
      break;
    }
  }
  app.setStyleSheet(QString::fromUtf8(appStyleSheet()));
}
