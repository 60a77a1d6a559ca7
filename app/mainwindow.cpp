#include "mainwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <mutex>
#include <optional>
#include <utility>

#include "logview.h"
#include "mainview.h"
#include "pages.h"
#include "platform.h"
#include "regex_additions.h"
#include "result_texts.h"
#include "source_check.h"
#include "style.h"
#include "ui_mainwindow.h"
#include "vcard.h"
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

// "102,448", as the command line's progress line writes a count.
QString grouped(std::uint64_t n) {
  return QLocale(QLocale::English, QLocale::UnitedStates).toString(static_cast<qulonglong>(n));
}

// A stopped run wrote nothing: its report would tell of photos scaled and
// files split for output that no longer exists.
bool isStoppedLog(const std::string& log) {
  return log == vcard::kStoppedLog || log == vcard::kStoppedKeptLog;
}

}  // namespace

const QString MainWindow::kQuitQuestion = QStringLiteral("終了します。よろしいですか？");
const QString MainWindow::kQuitWhileConvertingQuestion =
    QStringLiteral("変換中です。変換を中止して終了します。よろしいですか？");
const QStringList MainWindow::kHintPhrases = {
    QStringLiteral("変換元のファイル名を入力するか、"), QStringLiteral("「参照…」で選ぶか、"),
    QStringLiteral("下の枠にドロップしてから"), QStringLiteral("「変換開始」を押してください。")};
const QString MainWindow::kOverwriteQuestion =
    QStringLiteral("添付用ファイルが既に存在します。\n上書きで保存しますか？");
const QString MainWindow::kConvertingLine = QStringLiteral("変換処理中・・・\n");

struct MainWindow::Run {
  std::atomic<bool> stopRequested{false};
  std::mutex mutex;
  std::optional<vcard::Progress> latest;  // guarded by mutex
  // Written by the worker; read once its thread has finished.
  ConversionOutcome outcome;
};

MainWindow::MainWindow(const ShellServices& services, QObject* parent)
    : QObject(parent), m_services(services), m_progressTimer(new QTimer(this)) {
  m_progressTimer->setInterval(kProgressRefresh);
  connect(m_progressTimer, &QTimer::timeout, this, &MainWindow::refreshProgress);
}

// A run still going holds the source and output files: it is stopped, and
// its thread finished, before the window goes.
MainWindow::~MainWindow() {
  stopAndWait();
}

QProgressBar* MainWindow::progressBar() const {
  return m_ui ? m_ui->progressBar : nullptr;
}

QPushButton* MainWindow::stopButton() const {
  return m_ui ? m_ui->stopButton : nullptr;
}

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
  connect(m_ui->stopButton, &QPushButton::clicked, this, &MainWindow::pushStop);
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
  // The progress row shows only during a run; idle it takes no room, and
  // during a run it takes its height from the log.
  m_ui->progressBar->hide();
  m_ui->stopButton->hide();
  m_ui->hintLabel->setText(keptWhole(kHintPhrases));
  // The scrolled content shows the window's white, not the viewport's own
  // background.
  m_ui->contentArea->viewport()->setAutoFillBackground(false);
  m_ui->content->setAutoFillBackground(false);
  fitToScreen();
  placeAtStartWindow();
  m_window->activateWindow();
  m_messageField->setReadOnly(true);
  connect(m_textField, &QLineEdit::textEdited, this, [this] { controlTextDidChange(m_textField); });
  m_window->installEventFilter(this);
  g_textFiled = m_textField;
  g_outField = m_outField;
  g_targetChoice = m_ui->targetChoice;
}

QMargins MainWindow::frameMargins() const {
  // A frame the window manager has not drawn yet is taken to be the start
  // window's.
  const QRect frame = m_window->frameGeometry();
  const QRect inner = m_window->geometry();
  const QMargins known(inner.left() - frame.left(), inner.top() - frame.top(),
                       frame.right() - inner.right(), frame.bottom() - inner.bottom());
  return QMargins(std::max(known.left(), m_frameMargins.left()),
                  std::max(known.top(), m_frameMargins.top()),
                  std::max(known.right(), m_frameMargins.right()),
                  std::max(known.bottom(), m_frameMargins.bottom()));
}

const QScreen* MainWindow::screenToOpenOn() const {
  const QScreen* screen = QGuiApplication::screenAt(m_myRect.center().toPoint());
  return screen != nullptr ? screen : QGuiApplication::primaryScreen();
}

void MainWindow::fitToScreen() {
  // Everything above the footer scrolls, so the window may be made as small
  // as the footer and a few lines of the content: at 2x on a small screen
  // the content's own minimum is taller than the screen, and a minimum
  // taller than the screen would put the footer out of reach.
  m_window->layout()->activate();
  QLayout* content = m_ui->contentLayout;
  const QSize footer = m_ui->footerLayout->minimumSize();
  m_window->setMinimumSize(std::max(footer.width(), kSmallestSize.width()),
                           footer.height() + kSmallestSize.height());

  // It opens as wide as its form, or wider when the content needs it, and
  // as tall as the content at that width, so that nothing scrolls where the
  // screen has room; never larger than the screen, frame included.
  const int scrollBar = m_ui->contentArea->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr,
                                                                m_ui->contentArea);
  const int width = std::max(m_window->width(), content->minimumSize().width() + scrollBar);
  const int contentHeight =
      content->hasHeightForWidth() ? content->heightForWidth(width) : content->sizeHint().height();
  QSize size(width,
             std::max(m_window->height(), contentHeight + m_ui->footerLayout->sizeHint().height()));
  if (const QScreen* screen = screenToOpenOn(); screen != nullptr)
    size = size.boundedTo(screen->availableGeometry().size().shrunkBy(frameMargins()));
  m_window->resize(size.expandedTo(m_window->minimumSize()));
}

void MainWindow::placeAtStartWindow() {
  // The frame's lower-left corner goes where the start window's was, kept
  // inside the screen when this window is taller than the start window.
  // move() places the frame of a top-level window.
  const QSize size = m_window->geometry().size().grownBy(frameMargins());
  QPoint origin(qRound(m_myRect.left()),
                qRound(m_myRect.top() + m_myRect.height()) - size.height());
  const QScreen* screen = screenToOpenOn();
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
  if (!m_window || isConverting()) return;
  const QString source = trimmedPath(m_textField->text());
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
  // A run replaces every output of its target there, the numbered files of
  // an earlier split run too, so the question is asked for any of them.
  const bool outputExists =
      isFileExist(output) || !vcard::existingOutput(m_dst, chosenTarget()).empty();
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
  // A pasted line brings its line feed; blanks are kept while typing (a
  // folder name may have one) and dropped at the start.
  while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
    text.chop(1);
  // Setting an unchanged text back would move the caret to the end and drop
  // the undo history while the user types.
  if (text != m_textField->text()) m_textField->setText(text);
  m_textField->repaint();
}

void MainWindow::setBusy(bool busy) {
  if (!m_window) return;
  // Every control but 中止 ignores input during a run; the read-only log
  // may still be scrolled, and the progress keeps its colours.
  QList<QWidget*> controls =
      m_ui->content->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  controls << m_ui->hpButton << m_ui->kiyakuButton << m_ui->endButton;
  for (QWidget* control : controls) {
    if (control != m_messageField && control != m_ui->stopButton && control != m_ui->progressBar)
      control->setEnabled(!busy);
  }
  if (busy) {
    // The busy pointer still takes clicks, on 中止.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    return;
  }
  m_ui->progressBar->hide();
  m_ui->stopButton->hide();
  QApplication::restoreOverrideCursor();
}

QString MainWindow::trimmedPath(const QString& path) {
  qsizetype end = path.size();
  while (end > 0 && path.at(end - 1).isSpace())
    --end;
  return path.left(end);
}

QString MainWindow::chooserFolder(const QString& enteredPath) {
  const QString path = trimmedPath(enteredPath);
  if (!path.isEmpty()) {
    const QFileInfo entered(path);
    const QFileInfo folder(entered.isDir() ? entered.absoluteFilePath() : entered.absolutePath());
    if (folder.isDir()) return folder.absoluteFilePath();
  }
  return QDir::homePath();
}

QString MainWindow::progressText(const vcard::Progress* progress) {
  if (progress == nullptr ||
      (progress->currentCard == 0 && progress->step != vcard::ProgressStep::ScalingPhotos)) {
    return QStringLiteral("読み込み中…");
  }
  if (progress->step == vcard::ProgressStep::ScalingPhotos) return QStringLiteral("写真を縮小中…");
  return QStringLiteral("%1件目を変換中…").arg(grouped(progress->currentCard));
}

void MainWindow::execAnalysis(const char* org, const char* dst) {
  if (!m_window || isConverting() || m_services.converter == nullptr) return;
  // The heading goes on the log's last line, empty after the previous run.
  m_runFirstBlock = m_messageField->document()->blockCount() - 1;
  appendText(runHeading(QString::fromUtf8(org)));
  appendText(kConvertingLine);

  auto run = std::make_shared<Run>();
  vcard::ConvertOptions options;
  options.target = chosenTarget();
  if (m_carrierChoice != nullptr)
    options.carrier = carrierChoiceAt(m_carrierChoice->currentIndex());
  // The worker leaves the latest progress for the window's timer to pick
  // up, and learns of 中止 at its next call.
  options.progress = [run](const vcard::Progress& progress) {
    {
      const std::lock_guard lock(run->mutex);
      run->latest = progress;
    }
    return !run->stopRequested.load();
  };
  Converter* converter = m_services.converter;
  m_thread = QThread::create([run, converter, options = std::move(options), org = std::string(org),
                              dst = std::string(dst)] {
    try {
      run->outcome = converter->convert(org, dst, options);
    } catch (...) {
      // An exception must not end the program from a worker thread.
      run->outcome = ConversionOutcome{"", vcard::kFailedLog, {}};
    }
  });
  m_thread->setParent(this);
  m_run = std::move(run);
  connect(m_thread, &QThread::finished, this, &MainWindow::conversionDidEnd);
  setBusy(true);
  m_ui->progressBar->setValue(0);
  m_ui->stopButton->setEnabled(true);
  m_runClock.start();
  m_progressTimer->start();
  m_thread->start();
}

void MainWindow::refreshProgress() {
  if (!m_run || m_runClock.elapsed() < kProgressDelay.count()) return;
  std::optional<vcard::Progress> latest;
  {
    const std::lock_guard lock(m_run->mutex);
    latest = m_run->latest;
  }
  QProgressBar* bar = m_ui->progressBar;
  const std::uint64_t total = latest ? latest->sourceBytes : 0;
  const std::uint64_t done = latest ? std::min(latest->bytesRead, total) : 0;
  // Permille of the bytes, so that a file of gigabytes fits the bar's int.
  bar->setValue(total == 0 ? 0 : static_cast<int>(done * 1000 / total));
  bar->setFormat(progressText(latest ? &*latest : nullptr) + QStringLiteral("　%p%"));
  if (bar->isHidden()) {
    bar->show();
    m_ui->stopButton->show();
    // The row takes its height from the log, whose end stays in view; in a
    // window too small for its content, 中止 is scrolled into view.
    m_window->layout()->activate();
    m_messageField->ensureCursorVisible();
    m_ui->contentArea->ensureWidgetVisible(m_ui->stopButton);
  }
}

void MainWindow::pushStop() {
  if (!m_run) return;
  m_run->stopRequested = true;
  m_ui->stopButton->setEnabled(false);
}

void MainWindow::stopAndWait() {
  if (m_run) m_run->stopRequested = true;
  if (m_thread != nullptr) m_thread->wait();
}

void MainWindow::conversionDidEnd() {
  if (m_thread == nullptr) return;
  if (m_askingToQuit) {
    m_endPending = true;
    return;
  }
  m_progressTimer->stop();
  m_thread->wait();
  m_thread->deleteLater();
  m_thread = nullptr;
  const std::shared_ptr<Run> run = std::move(m_run);
  setBusy(false);
  const ConversionOutcome& outcome = run->outcome;
  if (!outcome.alert.empty()) showAlert(this, QString::fromStdString(outcome.alert));
  appendText(QString::fromStdString(outcome.log));
  const bool stopped = isStoppedLog(outcome.log);
  // What was left out and why, after the result; nothing for a file that
  // lost nothing, nor for a stopped run. It names cards, so it goes to the
  // window only.
  const std::string reportText = stopped ? std::string() : vcard::reportText(outcome.report);
  if (!reportText.empty()) appendText(withEntriesKeptWhole(QString::fromStdString(reportText)));
  // Cards split into numbered files went to those files, not to the name
  // the field showed: it says where they are.
  const std::vector<vcard::OutputPart>& parts = outcome.report.icloud.parts;
  if (!parts.empty() && outcome.alert.empty() && !stopped) {
    m_outField->setText(QString::fromStdString(parts.front().path) + QStringLiteral(" 〜 ") +
                        QString::fromStdString(vcard::fileNameOf(parts.back().path)));
  }
  showRunFromItsHeading();
  emit conversionEnded();
}

void MainWindow::showRunFromItsHeading() {
  // The result and the report follow the heading; a long report (a hundred
  // photos) would otherwise leave only its tail in view. To the end first,
  // then back to the heading: the heading comes to the top when the run's
  // text is longer than the log, and the view stays at the end when it
  // all fits.
  const QTextBlock heading = m_messageField->document()->findBlockByNumber(m_runFirstBlock);
  if (!heading.isValid()) return;
  m_messageField->moveCursor(QTextCursor::End);
  m_messageField->ensureCursorVisible();
  m_messageField->setTextCursor(QTextCursor(heading));
  m_messageField->ensureCursorVisible();
  // A window too small for its content scrolls it; the log is brought into
  // view the same way: whole where it fits, else from its top.
  QScrollArea* area = m_ui->contentArea;
  const QPoint at = m_messageField->mapTo(area->widget(), QPoint(0, 0));
  area->ensureVisible(at.x(), at.y() + m_messageField->height(), 0, 0);
  area->ensureVisible(at.x(), at.y(), 0, 0);
}

void MainWindow::endApp() {
  m_askingToQuit = true;
  const AlertAnswer answer = m_services.alerts->askQuestion(
      m_window.get(), isConverting() ? kQuitWhileConvertingQuestion : kQuitQuestion);
  m_askingToQuit = false;
  if (answer == AlertAnswer::Default) {
    // The engine removes its unfinished files when it stops; the program
    // must not end before it has.
    stopAndWait();
    m_services.terminator->terminate();
    return;
  }
  if (m_endPending) {
    m_endPending = false;
    conversionDidEnd();
  }
}

bool MainWindow::windowShouldClose(QWidget* /*window*/) {
  endApp();
  return false;
}

void MainWindow::pushFileRef() {
  const std::optional<QString> chosen = m_services.files->chooseFile(
      m_window.get(), chooserFolder(m_textField->text()), {QStringLiteral("vcf")});
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
