#include "appdelegate.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "logview.h"
#include "mainwindow.h"
#include "pages.h"
#include "style.h"
#include "ui_appdelegate.h"

const QList<QStringList> AppDelegate::kLeadPhrases = {
    {QStringLiteral("PC のアドレス帳や"), QStringLiteral("携帯電話から書き出した "),
     QStringLiteral("vCard ファイルを、"), QStringLiteral("iPhone に"),
     QStringLiteral("そのまま取り込める"), QStringLiteral("形式に変換します。")},
    {QStringLiteral("変換したファイルは、"), QStringLiteral("元のファイルと"),
     QStringLiteral("同じフォルダに"), QStringLiteral("「PC→iPhone.vcf」の"),
     QStringLiteral("名前で保存されます。")},
};

AppDelegate::AppDelegate(const ShellServices& services, QObject* parent)
    : QObject(parent),
      m_services(services),
      m_ui(std::make_unique<Ui::StartWindow>()),
      m_window(std::make_unique<QWidget>()) {
  m_ui->setupUi(m_window.get());
  m_window->setWindowIcon(applicationIcon());
  // Japanese wraps between any two characters ("…iPhone にそ|のまま");
  // the introduction wraps between its phrases only.
  QStringList lines;
  for (const QStringList& phrases : kLeadPhrases)
    lines.append(keptWhole(phrases));
  m_ui->leadLabel->setText(lines.join(QLatin1Char('\n')));
  connect(m_ui->nextButton, &QPushButton::clicked, this, &AppDelegate::pushNext);
  connect(m_ui->endButton, &QPushButton::clicked, this, &AppDelegate::pushEnd);
  connect(m_ui->hpButton, &QPushButton::clicked, this, &AppDelegate::pushHP);
  connect(m_ui->kiyakuButton, &QPushButton::clicked, this, &AppDelegate::pushKiyaku);
  m_window->installEventFilter(this);
  m_ui->nextButton->setFocus();
}

// The main window goes first: its window may hold the focus handed over
// from the start window.
AppDelegate::~AppDelegate() {
  m_mainWindowController.reset();
}

namespace {

// Centres the window's frame on the screen's free area, made smaller first
// where the screen is (2x on 1024x768 leaves 512 pixels of width): its text
// wraps and its buttons stay on the screen.
void centre(QWidget* window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QSize frameExtra = window->frameGeometry().size() - window->size();
  const QSize fitting = window->size()
                            .boundedTo(screen->availableGeometry().size() - frameExtra)
                            .expandedTo(window->minimumSizeHint());
  if (fitting != window->size()) window->resize(fitting);
  QRect frame(QPoint(), window->frameGeometry().size());
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());
}

}  // namespace

void AppDelegate::applicationDidFinishLaunching() {
  m_window->setAutoFillBackground(true);
  QPalette palette = m_window->palette();
  palette.setColor(QPalette::Window, Qt::white);
  m_window->setPalette(palette);
  centre(m_window.get());
  m_window->show();
  // The frame is known once the window is shown; centre it again by it.
  centre(m_window.get());
  m_window->raise();
  m_window->activateWindow();
}

void AppDelegate::pushNext() {
  if (m_isDialog) return;
  m_window->hide();
  m_mainWindowController = std::make_unique<MainWindow>(m_services);
  // The frame must be in place before the main window loads.
  const QRect frame = m_window->frameGeometry();
  const QRect inner = m_window->geometry();
  m_mainWindowController->setRect(QRectF(frame));
  m_mainWindowController->setFrameMargins(
      QMargins(inner.left() - frame.left(), inner.top() - frame.top(),
               frame.right() - inner.right(), frame.bottom() - inner.bottom()));
  m_mainWindowController->showWindow();
}

void AppDelegate::pushEnd() {
  endApp();
}

void AppDelegate::pushHP() {
  if (m_isDialog) return;
  m_services.urls->openUrl(pageUrl(WebPage::Home));
}

void AppDelegate::pushKiyaku() {
  if (m_isDialog) return;
  m_services.urls->openUrl(pageUrl(WebPage::Terms));
}

void AppDelegate::endApp() {
  m_isDialog = true;
  if (m_services.alerts->askQuestion(m_window.get(), MainWindow::kQuitQuestion) ==
      AlertAnswer::Default) {
    m_services.terminator->terminate();
    return;
  }
  m_isDialog = false;
}

bool AppDelegate::windowShouldClose(QWidget* /*window*/) {
  endApp();
  return false;
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_window.get() && event->type() == QEvent::Close) {
    if (!windowShouldClose(m_window.get())) {
      event->ignore();
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}
