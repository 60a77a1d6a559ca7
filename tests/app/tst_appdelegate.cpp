#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

#include "appdelegate.h"
#include "fakeservices.h"
#include "mainwindow.h"
#include "pages.h"
#include "windowtest.h"

namespace {

const QString kQuitQuestion = QStringLiteral("終了します。よろしいですか？");

QPushButton* button(const AppDelegate& delegate, const char* name) {
  return delegate.window()->findChild<QPushButton*>(QString::fromLatin1(name));
}

}  // namespace

class TestAppDelegate : public QObject {
  Q_OBJECT

 private slots:
  void cleanup();

  void shouldShowTheStartWindowCentredAndWhite();
  void shouldWrapTheIntroductionBetweenPhrases();
  void shouldOpenTheMainWindowWhereTheStartWindowStood_data();
  void shouldOpenTheMainWindowWhereTheStartWindowStood();
  void shouldAskBeforeQuitting_data();
  void shouldAskBeforeQuitting();
  void shouldIgnoreItsActionsWhileTheQuestionIsUp();
  void shouldOpenTheTwoPages();
};

void TestAppDelegate::cleanup() {
  QVERIFY2(QApplication::topLevelWidgets().isEmpty(), "a top-level window leaked");
}

void TestAppDelegate::shouldShowTheStartWindowCentredAndWhite() {
  FakeShell shell;
  AppDelegate delegate(shell.services());
  QVERIFY(delegate.mainWindowController() == nullptr);
  QVERIFY(!delegate.isDialog());
  delegate.applicationDidFinishLaunching();
  QWidget* window = delegate.window();
  QVERIFY(QTest::qWaitForWindowExposed(window));

  const QPoint screenCentre = window->screen()->availableGeometry().center();
  const QPoint windowCentre = window->frameGeometry().center();
  QVERIFY2((screenCentre - windowCentre).manhattanLength() <= 2,
           qPrintable(
               QStringLiteral("window centre %1,%2").arg(windowCentre.x()).arg(windowCentre.y())));
  QCOMPARE(window->palette().color(QPalette::Window), QColor(Qt::white));
  for (const char* name : {"nextButton", "endButton", "hpButton", "kiyakuButton"}) {
    QVERIFY2(button(delegate, name) != nullptr, name);
  }
}

// The introduction reads as written and wraps between its phrases only.
void TestAppDelegate::shouldWrapTheIntroductionBetweenPhrases() {
  FakeShell shell;
  AppDelegate delegate(shell.services());
  const auto* lead = delegate.window()->findChild<QLabel*>(QStringLiteral("leadLabel"));
  QVERIFY(lead != nullptr);
  QCOMPARE(withoutLayoutMarks(lead->text()),
           QStringLiteral("PC のアドレス帳や携帯電話から書き出した vCard ファイルを、iPhone "
                          "にそのまま取り込める形式に変換します。\n"
                          "変換したファイルは、元のファイルと同じフォルダに「PC→iPhone.vcf」の"
                          "名前で保存されます。"));
  const QString fault = windowtest::breakInsideAPhrase(lead, AppDelegate::kLeadPhrases);
  QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

void TestAppDelegate::shouldOpenTheMainWindowWhereTheStartWindowStood_data() {
  QTest::addColumn<QPoint>("startAt");
  QTest::addColumn<bool>("bottomsAlign");
  // Low enough on the screen, the main window's lower-left corner takes the
  // start window's; high up, the taller main window is kept on the screen.
  QTest::newRow("low on the screen") << QPoint(40, 380) << true;
  QTest::newRow("at the left edge") << QPoint(0, 300) << true;
  QTest::newRow("high up: kept on screen") << QPoint(60, 20) << false;
}

void TestAppDelegate::shouldOpenTheMainWindowWhereTheStartWindowStood() {
  QFETCH(QPoint, startAt);
  QFETCH(bool, bottomsAlign);
  FakeShell shell;
  AppDelegate delegate(shell.services());
  delegate.applicationDidFinishLaunching();
  QWidget* start = delegate.window();
  start->move(startAt);
  QVERIFY(QTest::qWaitForWindowExposed(start));
  const QRect startFrame = start->frameGeometry();

  button(delegate, "nextButton")->click();

  MainWindow* controller = delegate.mainWindowController();
  QVERIFY(controller != nullptr);
  QCOMPARE(controller->myRect(), QRectF(startFrame));
  QWidget* main = controller->myWindow();
  QVERIFY(main != nullptr);
  QVERIFY(main->isVisible());
  // Hidden, not closed: no quit question.
  QVERIFY(start->isHidden());
  QVERIFY(shell.alerts.shown.isEmpty());

  const QRect area = main->screen()->availableGeometry();
  const QRect frame = main->frameGeometry();
  QCOMPARE(frame.left(), startFrame.left());
  // Its own size, not the start window's.
  QVERIFY(frame.size() != startFrame.size());
  QVERIFY(area.contains(frame));
  if (bottomsAlign) {
    QCOMPARE(frame.bottom(), startFrame.bottom());
  } else {
    QCOMPARE(frame.top(), area.top());
  }
}

void TestAppDelegate::shouldAskBeforeQuitting_data() {
  addQuitQuestionRows();
}

void TestAppDelegate::shouldAskBeforeQuitting() {
  QFETCH(bool, byClosing);
  QFETCH(AlertAnswer, answer);
  FakeShell shell;
  AppDelegate delegate(shell.services());
  delegate.applicationDidFinishLaunching();
  bool dialogFlagWhileAsked = false;
  shell.alerts.whileShown = [&] { dialogFlagWhileAsked = delegate.isDialog(); };
  shell.alerts.answers = {answer};

  if (byClosing) {
    QVERIFY(!delegate.window()->close());
  } else {
    button(delegate, "endButton")->click();
  }
  QCOMPARE(shell.alerts.questions(), QStringList{kQuitQuestion});
  QVERIFY(dialogFlagWhileAsked);
  QVERIFY(delegate.window()->isVisible());
  if (answer == AlertAnswer::Default) {
    QCOMPARE(shell.terminator.calls, 1);
  } else {
    QCOMPARE(shell.terminator.calls, 0);
    QVERIFY(!delegate.isDialog());
    // Still usable: going on works afterwards.
    button(delegate, "nextButton")->click();
    QVERIFY(delegate.mainWindowController() != nullptr);
    QVERIFY(delegate.window()->isHidden());
  }
}

void TestAppDelegate::shouldIgnoreItsActionsWhileTheQuestionIsUp() {
  FakeShell shell;
  AppDelegate delegate(shell.services());
  delegate.applicationDidFinishLaunching();
  int endsWhileUp = 0;
  shell.alerts.whileShown = [&] {
    delegate.pushNext();
    delegate.pushHP();
    delegate.pushKiyaku();
    // Quitting is not guarded: a second question may come up.
    if (endsWhileUp++ == 0) delegate.pushEnd();
  };
  delegate.pushEnd();

  QVERIFY(delegate.mainWindowController() == nullptr);
  QVERIFY(shell.urls.opened.isEmpty());
  QCOMPARE(shell.alerts.questions(), (QStringList{kQuitQuestion, kQuitQuestion}));
  QVERIFY(delegate.window()->isVisible());
  QVERIFY(!delegate.isDialog());

  shell.alerts.whileShown = nullptr;
  delegate.pushHP();
  QCOMPARE(shell.urls.opened.size(), 1);
}

void TestAppDelegate::shouldOpenTheTwoPages() {
  FakeShell shell;
  AppDelegate delegate(shell.services());
  delegate.applicationDidFinishLaunching();
  button(delegate, "hpButton")->click();
  button(delegate, "kiyakuButton")->click();
  QCOMPARE(shell.urls.opened, (QList<QUrl>{pageUrl(WebPage::Home), pageUrl(WebPage::Terms)}));
  QVERIFY(shell.urls.opened.first() != shell.urls.opened.last());
  QVERIFY(shell.alerts.shown.isEmpty());
  QVERIFY(delegate.window()->isVisible());
}

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
