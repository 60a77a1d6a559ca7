#include "services.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

const QString kOkButton = QStringLiteral("OK");
const QString kCancelButton = QStringLiteral("キャンセル");

// All spellings of ext with each letter in lower or upper case.
QStringList caseVariants(const QString& ext) {
  QStringList variants{QString()};
  for (const QChar c : ext) {
    QStringList next;
    const QChar lower = c.toLower();
    const QChar upper = c.toUpper();
    for (const QString& prefix : variants) {
      next.append(prefix + lower);
      if (upper != lower) next.append(prefix + upper);
    }
    variants = next;
  }
  return variants;
}

}  // namespace

void MessageBoxAlerts::showInformation(QWidget* parent, const QString& text) {
  QMessageBox box(parent);
  box.setIcon(QMessageBox::Information);
  box.setWindowTitle(QCoreApplication::applicationName());
  // Plain text, so that "%", "<" and "&" in a file name are shown as they are.
  box.setTextFormat(Qt::PlainText);
  box.setText(QString());
  box.setInformativeText(text);
  box.addButton(kOkButton, QMessageBox::AcceptRole);
  box.exec();
}

AlertAnswer MessageBoxAlerts::askQuestion(QWidget* parent, const QString& question) {
  QMessageBox box(parent);
  box.setIcon(QMessageBox::Question);
  box.setWindowTitle(QCoreApplication::applicationName());
  box.setTextFormat(Qt::PlainText);
  box.setText(question);
  QPushButton* ok = box.addButton(kOkButton, QMessageBox::AcceptRole);
  box.addButton(kCancelButton, QMessageBox::RejectRole);
  box.setDefaultButton(ok);
  box.exec();
  return box.clickedButton() == ok ? AlertAnswer::Default : AlertAnswer::Alternate;
}

std::optional<QString> DialogFileChooser::chooseFile(QWidget* parent, const QString& folder,
                                                     const QStringList& extensions) {
  QFileDialog dialog(parent, QString(), folder, nameFilterForExtensions(extensions));
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.first();
}

void DesktopUrlOpener::openUrl(const QUrl& url) {
  QDesktopServices::openUrl(url);
}

void ApplicationTerminator::terminate() {
  QCoreApplication::exit(0);
}

ShellServices productionServices() {
  static MessageBoxAlerts alerts;
  static DialogFileChooser files;
  static DesktopUrlOpener urls;
  static ApplicationTerminator terminator;
  return ShellServices{&alerts, &files, &urls, &terminator};
}

QString nameFilterForExtensions(const QStringList& extensions) {
  QStringList patterns;
  for (const QString& ext : extensions) {
    for (const QString& variant : caseVariants(ext))
      patterns.append(QStringLiteral("*.") + variant);
  }
  return QStringLiteral("vCard (%1)").arg(patterns.join(QLatin1Char(' ')));
}
