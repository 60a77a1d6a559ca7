#include "mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QTextCursor>

#include <algorithm>
#include <array>
#include <iterator>

#include "mainview.h"
#include "pages.h"
#include "platform.h"
#include "regex_additions.h"
#include "source_check.h"
#include "style.h"
#include "ui_mainwindow.h"
#include "vcard.h"
#include "convert.h"
#include "vcard_report.h"

namespace {

// The source and output fields of the main window that loaded last. The
// class-level setFileName has no instance and reaches the window through
// these; they clear themselves when the window goes away.
QPointer<QLineEdit> g_textFiled;
QPointer<QLineEdit> g_outField;
// The target chosen in that window; it lasts as long as the window (the
// program keeps no settings).
QPointer<QComboBox> g_targetChoice;

vcard::Target chosenTarget() {
  return g_targetChoice && g_targetChoice->currentIndex() == 1 ? vcard::Target::ICloud
                                                               : vcard::Target::IPhone;
}

icu::UnicodeString toUnicode(const QString& text) {
  return icu::UnicodeString(reinterpret_cast<const char16_t*>(text.utf16()),
                            static_cast<int32_t>(text.size()));
}

// The carrier choices in the order of the window's list: 自動, ドコモ, au,
// ソフトバンク, 変換しない.
constexpr vcard::CarrierChoice kCarrierChoices[] = {
    vcard::CarrierChoice::Auto, vcard::CarrierChoice::Docomo, vcard::CarrierChoice::AU,
    vcard::CarrierChoice::SoftBank, vcard::CarrierChoice::None};

vcard::CarrierChoice carrierChoiceAt(int index) {
  if (index < 0 || index >= static_cast<int>(std::size(kCarrierChoices)))
    return vcard::CarrierChoice::Auto;
  return kCarrierChoices[index];
}

QString outputPathFor(const QString& source) {
  return QString::fromStdString(vcard::outputPathForSource(source.toStdString(), chosenTarget()));
}

}  // namespace

const QString MainWindow::kQuitQuestion = QStringLiteral("終了します。よろしいですか？");
const QString MainWindow::kOverwriteQuestion =
    QStringLiteral("添付用ファイルが既に存在します。\n上書きで保存しますか？");
const QString MainWindow::kConvertingLine = QStringLiteral("変換処理中・・・\n");

MainWindow::MainWindow(const ShellServices& services, QObject* parent)
    : QObject(parent), m_services(services) {}

MainWindow::~MainWindow() = default;

void MainWindow::showWindow() {
  if (!m_window) loadWindow();
  m_window->show();
  // The frame is known once the window is shown; place it again by it.
  placeAtStartWindow();
  m_window->raise();
  m_window->activateWindow();
}

void MainWindow::loadWindow() {
  m_window = std::make_unique<QWidget>();
  m_ui = std::make_unique<Ui::MainWindow>();
  m_ui->setupUi(m_window.get());
  m_mainView = m_ui->mainView;
  m_textField = m_ui->textField;
  m_outField = m_ui->outField;
  m_messageField = m_ui->messageField;
  m_carrierChoice = m_ui->carrierChoice;
  m_myWindow = m_window.get();

  connect(m_ui->startButton, &QPushButton::clicked, this, &MainWindow::pushStart);
  connect(m_ui->fileRefButton, &QPushButton::clicked, this, &MainWindow::pushFileRef);
  connect(m_ui->endButton, &QPushButton::clicked, this, &MainWindow::pushEndApp);
  connect(m_ui->hpButton, &QPushButton::clicked, this, &MainWindow::pushHP);
  connect(m_ui->kiyakuButton, &QPushButton::clicked, this, &MainWindow::pushKiyaku);
  // Enter in the source field starts the conversion, like the start button.
  connect(m_ui->textField, &QLineEdit::returnPressed, this, &MainWindow::pushStart);
  // The output field follows the source as it is typed, by the same rule as
  // at the start.
  // (The field's current text, not the signal's: a carriage return cut off
  // while this signal was pending has changed it since.)
  connect(m_ui->textField, &QLineEdit::textChanged, this, [this] {
    const QString text = m_textField->text();
    m_outField->setText(text.isEmpty() ? QString() : outputPathFor(text));
  });
  // The chosen target names the output file; the field follows it at once.
  connect(m_ui->targetChoice, &QComboBox::currentIndexChanged, this, [this] {
    const QString text = m_textField->text();
    m_outField->setText(text.isEmpty() ? QString() : outputPathFor(text));
    m_outField->setPlaceholderText(QStringLiteral("変換元と同じフォルダの「") +
                                   QString::fromUtf8(vcard::outputFileName(chosenTarget())) +
                                   QStringLiteral("」"));
  });
  // A file dropped on the source field is a drop on the source area.
  m_ui->textField->installEventFilter(this);
  m_ui->sourceLabel->setAcceptDrops(true);
  m_ui->sourceLabel->installEventFilter(this);
  windowDidLoad();
}

void MainWindow::windowDidLoad() {
  m_window->setAutoFillBackground(true);
  QPalette palette = m_window->palette();
  palette.setColor(QPalette::Window, Qt::white);
  m_window->setPalette(palette);

  m_window->setWindowIcon(applicationIcon());
  fitMinimumSize();
  placeAtStartWindow();
  m_outField->setReadOnly(true);
  m_window->activateWindow();
  m_messageField->setReadOnly(true);
  connect(m_textField, &QLineEdit::textEdited, this, [this] { controlTextDidChange(m_textField); });
  m_window->installEventFilter(this);
  g_textFiled = m_textField;
  g_outField = m_outField;
  g_targetChoice = m_ui->targetChoice;
}

void MainWindow::fitMinimumSize() {
  // The layout's own minimum, with the wrapped hint at that width: smaller,
  // and widgets would be drawn over each other.
  QLayout* layout = m_window->layout();
  if (layout == nullptr) return;
  layout->activate();
  const int width = std::max(m_window->minimumWidth(), layout->minimumSize().width());
  const int height =
      layout->hasHeightForWidth() ? layout->heightForWidth(width) : layout->minimumSize().height();
  m_window->setMinimumSize(width, std::max(m_window->minimumHeight(), height));
}

void MainWindow::placeAtStartWindow() {
  // The frame's lower-left corner goes where the start window's was, kept
  // inside the screen when this window is taller than the start window.
  // move() places the frame of a top-level window; a frame the window
  // manager has not drawn yet is taken to be the start window's.
  const QRect frame = m_window->frameGeometry();
  const QRect inner = m_window->geometry();
  const QMargins known(inner.left() - frame.left(), inner.top() - frame.top(),
                       frame.right() - inner.right(), frame.bottom() - inner.bottom());
  const QMargins margins(std::max(known.left(), m_frameMargins.left()),
                         std::max(known.top(), m_frameMargins.top()),
                         std::max(known.right(), m_frameMargins.right()),
                         std::max(known.bottom(), m_frameMargins.bottom()));
  const QSize size = inner.size().grownBy(margins);
  QPoint origin(qRound(m_myRect.left()),
                qRound(m_myRect.top() + m_myRect.height()) - size.height());
  const QScreen* screen = QGuiApplication::screenAt(m_myRect.center().toPoint());
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    const QRect area = screen->availableGeometry();
    origin.setX(qMax(area.left(), qMin(origin.x(), area.right() + 1 - size.width())));
    origin.setY(qMax(area.top(), qMin(origin.y(), area.bottom() + 1 - size.height())));
  }
  m_window->move(origin);
}

void MainWindow::setFileName(const QString& path) {
  if (g_textFiled) g_textFiled->setText(path);
  if (g_outField) g_outField->setText(outputPathFor(path));
}

QString MainWindow::runHeading(const QString& source) {
  return QStringLiteral("■ ") + QFileInfo(source).fileName() + QStringLiteral("（") + source +
         QStringLiteral("）\n");
}

void MainWindow::pushStart() {
  if (!m_window || !m_window->isEnabled()) return;
  const QString source = m_textField->text();
  if (source.isEmpty()) {
    showAlert(this, QString::fromUtf8(vcard::kEmptySourceAlert));
    return;
  }
  m_textField->setText(source);
  // The output field shows the derived path even when a check below fails.
  m_outField->setText(outputPathFor(source));
  m_outField->repaint();
  const QString output = m_outField->text();

  m_org = source.toStdString();
  m_dst = output.toStdString();

  const bool sourceError = isFileError(source);
  // For iCloud.com a split run replaces the numbered files of an earlier
  // one, so the question is asked for them too.
  const bool outputExists =
      isFileExist(output) || (chosenTarget() == vcard::Target::ICloud &&
                              !vcard::existingOutput(m_dst, vcard::Target::ICloud).empty());
  if (sourceError) return;

  // A source named like the output file would be overwritten by the output
  // before it is read: refuse before anything is written.
  if (platform::isSameFile(m_org, m_dst)) {
    showAlert(this, QString::fromUtf8(vcard::kSameFileAlert));
    return;
  }
  if (outputExists &&
      m_services.alerts->askQuestion(m_window.get(), kOverwriteQuestion) != AlertAnswer::Default) {
    return;
  }
  execAnalysis(m_org.c_str(), m_dst.c_str());
}

bool MainWindow::isFileError(const QString& path) {
  const std::string alert = vcard::checkSourcePath(path.toStdString());
  if (alert.empty()) return false;
  showAlert(this, QString::fromStdString(alert));
  return true;
}

bool MainWindow::isFileExist(const QString& path) {
  return platform::fileExists(path.toStdString());
}

void MainWindow::showAlert(QObject* /*sender*/, const QString& text) {
  m_services.alerts->showInformation(m_window.get(), text);
}

void MainWindow::appendText(const QString& text) {
  if (!m_messageField) return;
  m_messageField->setReadOnly(false);
  QTextCursor cursor = m_messageField->textCursor();
  cursor.movePosition(QTextCursor::End);
  m_messageField->setTextCursor(cursor);
  m_messageField->insertPlainText(text);
  // Typing scrolls the caret into view; an insertion from code does not by
  // itself, so the log is made to follow its end the same way.
  m_messageField->ensureCursorVisible();
  m_messageField->repaint();
  m_messageField->setReadOnly(true);
}

void MainWindow::controlTextDidChange(QLineEdit* field) {
  if (field == nullptr || !m_textField) return;
  QString text = field->text();
  const rx::Range cr = rx::rangeOfRegex(toUnicode(text), icu::UnicodeString(u"\r"));
  if (cr.location != rx::NSNotFound) text.truncate(static_cast<qsizetype>(cr.location));
  // Setting an unchanged text back would move the caret to the end and drop
  // the undo history while the user types.
  if (text != m_textField->text()) m_textField->setText(text);
  m_textField->repaint();
}

void MainWindow::setBusy(bool busy) {
  if (!m_window) return;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_window->setEnabled(false);
    // Paint the busy state before the window stops answering.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return;
  }
  // Clicks and keys that arrived during the run reach the disabled window
  // now and are dropped, instead of firing once it is enabled again.
  QCoreApplication::processEvents();
  m_window->setEnabled(true);
  QApplication::restoreOverrideCursor();
}

void MainWindow::execAnalysis(const char* org, const char* dst) {
  appendText(runHeading(QString::fromUtf8(org)));
  appendText(kConvertingLine);
  setBusy(true);
  vcard::ConversionReport report;
  vcard::ConvertOptions options;
  options.target = chosenTarget();
  if (m_carrierChoice != nullptr)
    options.carrier = carrierChoiceAt(m_carrierChoice->currentIndex());
  const std::array<std::string, 2> result = vCardConvert(org, dst, options, &report);
  setBusy(false);
  if (!result[0].empty()) showAlert(this, QString::fromStdString(result[0]));
  appendText(QString::fromStdString(result[1]));
  // What was left out and why, after the result; nothing for a file that
  // lost nothing. It names cards, so it goes to the window only.
  const std::string reportText = vcard::reportText(report);
  if (!reportText.empty()) appendText(QString::fromStdString(reportText));
}

void MainWindow::endApp() {
  if (m_services.alerts->askQuestion(m_window.get(), kQuitQuestion) == AlertAnswer::Default) {
    m_services.terminator->terminate();
  }
}

bool MainWindow::windowShouldClose(QWidget* /*window*/) {
  endApp();
  return false;
}

void MainWindow::pushFileRef() {
  const std::optional<QString> chosen =
      m_services.files->chooseFile(m_window.get(), QDir::homePath(), {QStringLiteral("vcf")});
  if (chosen) setFileName(*chosen);
}

void MainWindow::pushEndApp() {
  endApp();
}

void MainWindow::pushHP() {
  m_services.urls->openUrl(pageUrl(WebPage::Home));
}

void MainWindow::pushKiyaku() {
  m_services.urls->openUrl(pageUrl(WebPage::Terms));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (m_ui && (watched == m_ui->textField || watched == m_ui->sourceLabel) &&
      m_mainView->handleDragEvent(event)) {
    return true;
  }
  if (watched == m_window.get() && event->type() == QEvent::Close) {
    if (!windowShouldClose(m_window.get())) {
      event->ignore();
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}
