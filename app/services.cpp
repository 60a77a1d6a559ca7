#include "services.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

#include <algorithm>
#include <array>
#include <utility>

#include "convert.h"
#include "style.h"

namespace {

const QString kOkButton = QStringLiteral("OK");
const QString kCancelButton = QStringLiteral("キャンセル");
const QString kChooserTitle = QStringLiteral("変換元の vCard ファイルを選択");

// Room the window frame takes beside the title text (the close button and
// the margins), and the widest a box may grow for a long line.
constexpr int kTitleChrome = 96;
constexpr int kMaxTextWidth = 720;

int longestLineWidth(const QFontMetrics& metrics, const QString& text) {
  int widest = 0;
  for (const QString& line : text.split(QLatin1Char('\n')))
    widest = std::max(widest, metrics.horizontalAdvance(line));
  return widest;
}

QIcon alertIcon(AlertKind kind) {
  ensureResources();
  return QIcon(kind == AlertKind::Question ? QStringLiteral(":/icons/alert-question.svg")
                                           : QStringLiteral(":/icons/alert-information.svg"));
}

}  // namespace

QString JapaneseFileTypes::type(const QFileInfo& info) const {
  if (info.isDir()) return QStringLiteral("フォルダー");
  const QString suffix = info.suffix();
  return suffix.isEmpty() ? QStringLiteral("ファイル") : suffix + QStringLiteral(" ファイル");
}

std::unique_ptr<QMessageBox> makeAlertBox(QWidget* parent, AlertKind kind, const QString& text) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setWindowTitle(QCoreApplication::applicationName());
  const QIcon icon = alertIcon(kind);
  if (icon.isNull()) {
    box->setIcon(kind == AlertKind::Question ? QMessageBox::Question : QMessageBox::Information);
  } else {
    box->setIconPixmap(icon.pixmap(48, 48));
  }
  // Plain text, so that "%", "<" and "&" in a file name are shown as they are.
  box->setTextFormat(Qt::PlainText);
  box->setText(text);
  if (kind == AlertKind::Question) {
    QPushButton* ok = box->addButton(kOkButton, QMessageBox::AcceptRole);
    box->addButton(kCancelButton, QMessageBox::RejectRole);
    box->setDefaultButton(ok);
  } else {
    box->addButton(kOkButton, QMessageBox::AcceptRole);
  }

  // The box wraps its label to a narrow width by default, which breaks a
  // Japanese line between any two characters; short messages keep their
  // lines whole, long ones wrap at a generous width.
  auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  const QFontMetrics metrics(label != nullptr ? label->font() : box->font());
  const int textWidth = longestLineWidth(metrics, text);
  if (label != nullptr) {
    label->setWordWrap(textWidth > kMaxTextWidth);
    label->setMinimumWidth(std::min(textWidth, kMaxTextWidth));
  }
  // The title is not cut either: the box is at least as wide as it needs.
  const int titleWidth =
      QFontMetrics(box->font()).horizontalAdvance(box->windowTitle()) + kTitleChrome;
  if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
    grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  return box;
}

void MessageBoxAlerts::showInformation(QWidget* parent, const QString& text) {
  makeAlertBox(parent, AlertKind::Information, text)->exec();
}

AlertAnswer MessageBoxAlerts::askQuestion(QWidget* parent, const QString& question) {
  const std::unique_ptr<QMessageBox> box = makeAlertBox(parent, AlertKind::Question, question);
  box->exec();
  return box->clickedButton() == box->defaultButton() ? AlertAnswer::Default
                                                      : AlertAnswer::Alternate;
}

std::unique_ptr<QFileDialog> makeFileDialog(QWidget* parent, const QString& folder,
                                            const QStringList& extensions) {
  auto dialog = std::make_unique<QFileDialog>(parent, kChooserTitle, folder,
                                              nameFilterForExtensions(extensions));
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  // The toolkit's catalogue leaves the type column ("Folder", "vcf File")
  // in English. The provider outlives every chooser.
  static JapaneseFileTypes types;
  dialog->setIconProvider(&types);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  return dialog;
}

std::optional<QString> DialogFileChooser::chooseFile(QWidget* parent, const QString& folder,
                                                     const QStringList& extensions) {
  const std::unique_ptr<QFileDialog> dialog = makeFileDialog(parent, folder, extensions);
  if (dialog->exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog->selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.first();
}

void DesktopUrlOpener::openUrl(const QUrl& url) {
  QDesktopServices::openUrl(url);
}

void ApplicationTerminator::terminate() {
  QCoreApplication::exit(0);
}

ConversionOutcome EngineConverter::convert(const std::string& org, const std::string& dst,
                                           const vcard::ConvertOptions& options) {
  ConversionOutcome outcome;
  std::array<std::string, 2> result =
      vCardConvert(org.c_str(), dst.c_str(), options, &outcome.report);
  outcome.alert = std::move(result[0]);
  outcome.log = std::move(result[1]);
  return outcome;
}

ShellServices productionServices() {
  static MessageBoxAlerts alerts;
  static DialogFileChooser files;
  static DesktopUrlOpener urls;
  static ApplicationTerminator terminator;
  static EngineConverter converter;
  return ShellServices{&alerts, &files, &urls, &terminator, &converter};
}

QString nameFilterForExtensions(const QStringList& extensions) {
  QStringList patterns;
  for (const QString& ext : extensions)
    patterns.append(QStringLiteral("*.") + ext.toLower());
  return QStringLiteral("vCard ファイル (%1)").arg(patterns.join(QLatin1Char(' ')));
}
