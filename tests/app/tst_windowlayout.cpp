// The main window around the checks: quitting, the chooser, the pages, its
// setup, drops on the source field, the output field, the log's run
// headings, its minimum size and where it opens.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QUrl>
#include <QtTest>

#include <algorithm>
#include <utility>

#include "appdelegate.h"
#include "fakeservices.h"
#include "logview.h"
#include "mainview.h"
#include "mainwindow.h"
#include "pages.h"
#include "style.h"
#include "vcard_report.h"
#include "windowtest.h"

using namespace windowtest;

namespace {

// The width the window opens with (its form's geometry; the height is
// the layout's at that width when larger).
constexpr int kDefaultWidth = 720;

}  // namespace

class TestWindowLayout : public QObject {
  Q_OBJECT

 private slots:
  void cleanup();

  void shouldAskBeforeQuitting_data();
  void shouldAskBeforeQuitting();
  void shouldFillBothFieldsFromTheChooser_data();
  void shouldFillBothFieldsFromTheChooser();
  void shouldOpenTheTwoPages();
  void shouldSetUpTheWindowWhenItLoads();
  void shouldTakeADropOnTheSourceField_data();
  void shouldTakeADropOnTheSourceField();
  void shouldFollowTheSourceInTheOutputField();
  void shouldNameTheSourceInTheLog();
  void shouldNotOverlapAtTheMinimumSize_data();
  void shouldNotOverlapAtTheMinimumSize();
  void shouldShowTheChoicesBesideTheStartButton();
  void shouldShowAWholePathInBothFields_data();
  void shouldShowAWholePathInBothFields();
  void shouldPlaceTheFrameAtTheStartWindowsCorner();
  void shouldWrapTheReportOnlyBetweenItsEntries_data();
  void shouldWrapTheReportOnlyBetweenItsEntries();
  void shouldWrapTheHintBetweenPhrases();
  void shouldFitEveryScreenAtEveryScale_data();
  void shouldFitEveryScreenAtEveryScale();
  void shouldFitThisScreen();
};

void TestWindowLayout::cleanup() {
  QVERIFY2(QApplication::topLevelWidgets().isEmpty(), "a top-level window leaked");
}

void TestWindowLayout::shouldAskBeforeQuitting_data() {
  addQuitQuestionRows();
}

void TestWindowLayout::shouldAskBeforeQuitting() {
  QFETCH(bool, byClosing);
  QFETCH(AlertAnswer, answer);

  Harness h;
  h.shell.alerts.answers = {answer};
  if (byClosing) {
    QVERIFY(!h.window.myWindow()->close());
  } else {
    auto* endButton = h.window.myWindow()->findChild<QPushButton*>(QStringLiteral("endButton"));
    QVERIFY(endButton != nullptr);
    QCOMPARE(endButton->text(), QStringLiteral("終了"));
    endButton->click();
  }
  QCOMPARE(h.shell.alerts.questions(), QStringList{QStringLiteral("終了します。よろしいですか？")});
  QCOMPARE(h.shell.terminator.calls, answer == AlertAnswer::Default ? 1 : 0);
  // The window never closes by itself; only the termination ends it.
  QVERIFY(h.window.myWindow()->isVisible());
}

void TestWindowLayout::shouldFillBothFieldsFromTheChooser_data() {
  QTest::addColumn<bool>("chosen");
  QTest::addColumn<QString>("typed");    // {root} stands for a temporary folder
  QTest::addColumn<QString>("opensIn");  // {home} for the home folder
  QTest::newRow("file chosen") << true << "{root}/sub/typed.vcf"
                               << "{root}/sub";
  QTest::newRow("cancelled") << false << "{root}/sub/typed.vcf"
                             << "{root}/sub";
  QTest::newRow("folder typed") << true << "{root}/sub"
                                << "{root}/sub";
  QTest::newRow("folder missing") << true << "{root}/none/typed.vcf"
                                  << "{home}";
  QTest::newRow("nothing typed") << true << ""
                                 << "{home}";
  QTest::newRow("pasted with a line break") << true << "{root}/sub/typed.vcf \n"
                                            << "{root}/sub";
}

// The chooser opens in the folder of the path in the source field, where
// the user is likely to look again; in the home folder when there is none.
void TestWindowLayout::shouldFillBothFieldsFromTheChooser() {
  QFETCH(bool, chosen);
  QFETCH(QString, typed);
  QFETCH(QString, opensIn);
  QTemporaryDir root;
  QVERIFY(root.isValid());
  QVERIFY(QDir(root.path()).mkdir(QStringLiteral("sub")));
  const QString source = root.filePath(QStringLiteral("cards.vcf"));
  QVERIFY(writeFile(source, kUtf8Card));
  typed.replace(QStringLiteral("{root}"), root.path());
  opensIn.replace(QStringLiteral("{root}"), root.path());
  opensIn.replace(QStringLiteral("{home}"), QDir::homePath());

  Harness h;
  h.window.textField()->setText(typed);
  if (chosen) h.shell.files.answer = source;
  auto* button = h.window.myWindow()->findChild<QPushButton*>(QStringLiteral("fileRefButton"));
  QVERIFY(button != nullptr);
  button->click();

  QCOMPARE(h.shell.files.calls, 1);
  QCOMPARE(h.shell.files.folder, opensIn);
  QCOMPARE(h.shell.files.extensions, QStringList{QStringLiteral("vcf")});
  QCOMPARE(h.window.textField()->text(), chosen ? source : typed);
  QCOMPARE(h.window.outField()->text(), chosen ? root.filePath(kOutputName) : outputFor(typed));
  // Choosing starts nothing.
  QVERIFY(h.log().isEmpty());
  QVERIFY(h.shell.alerts.shown.isEmpty());
  QVERIFY(!QFile::exists(root.filePath(kOutputName)));
}

void TestWindowLayout::shouldOpenTheTwoPages() {
  Harness h;
  h.window.myWindow()->findChild<QPushButton*>(QStringLiteral("hpButton"))->click();
  h.window.myWindow()->findChild<QPushButton*>(QStringLiteral("kiyakuButton"))->click();
  QCOMPARE(h.shell.urls.opened, (QList<QUrl>{pageUrl(WebPage::Home), pageUrl(WebPage::Terms)}));
  for (const QUrl& url : h.shell.urls.opened) {
    QVERIFY(url.isLocalFile());
    QVERIFY2(QFile::exists(url.toLocalFile()), qPrintable(url.toString()));
  }
  QVERIFY(h.shell.alerts.shown.isEmpty());
}

void TestWindowLayout::shouldSetUpTheWindowWhenItLoads() {
  // The program's own look, which tells a read-only field by its colour.
  qApp->setStyleSheet(QString::fromUtf8(appStyleSheet()));
  const auto plainLook = qScopeGuard([] { qApp->setStyleSheet(QString()); });
  FakeShell shell;
  MainWindow window(shell.services());
  QVERIFY(window.myWindow() == nullptr);
  MainWindow::setFileName(QStringLiteral("/x/y.vcf"));  // no window yet: nothing to fill
  window.showWindow();
  QVERIFY(window.outField()->isReadOnly());
  // It looks read-only (the style's grey, not the white of a field to type
  // in) and Tab passes it by.
  QVERIFY(QTest::qWaitForWindowExposed(window.myWindow()));
  const QImage source = window.textField()->grab().toImage();
  const QImage output = window.outField()->grab().toImage();
  const QPoint inside(output.width() / 2, output.height() - 4);
  QCOMPARE(source.pixelColor(inside), QColor(Qt::white));
  QCOMPARE(output.pixelColor(inside), QColor(0xf3, 0xf5, 0xf8));
  QVERIFY(QTest::qWaitForWindowActive(window.myWindow()));
  window.textField()->setFocus();
  for (int i = 0; i < 12; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY2(QApplication::focusWidget() != window.outField(),
             "the output field takes focus by Tab");
  }
  QVERIFY(window.messageField()->isReadOnly());
  QVERIFY(!window.textField()->isReadOnly());
  QVERIFY(window.textField()->text().isEmpty());
  QCOMPARE(window.myWindow()->palette().color(QPalette::Window), QColor(Qt::white));
  // The class-level operation reaches the window that loaded last.
  MainWindow::setFileName(QStringLiteral("/x/y.vcf"));
  QCOMPARE(window.textField()->text(), QStringLiteral("/x/y.vcf"));
}

namespace {

// Sends the steps of a drag of urls onto widget: entry, then the drop.
// Returns whether the entry and the drop were accepted.
std::pair<bool, bool> dragOnto(QWidget* widget, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  data.setText(urls.isEmpty() ? QString() : urls.first().toString());
  const QPoint at = widget->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &enter);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &drop);
  return {enter.isAccepted(), drop.isAccepted()};
}

}  // namespace

void TestWindowLayout::shouldTakeADropOnTheSourceField_data() {
  QTest::addColumn<QList<QUrl>>("urls");
  QTest::addColumn<bool>("taken");
  QTest::newRow("one vCard file") << QList<QUrl>{QUrl::fromLocalFile("/data/携帯.vcf")} << true;
  QTest::newRow("upper-case extension")
      << QList<QUrl>{QUrl::fromLocalFile("/data/CARDS.VCF")} << true;
  QTest::newRow("two files") << QList<QUrl>{QUrl::fromLocalFile("/data/a.vcf"),
                                            QUrl::fromLocalFile("/data/b.vcf")}
                             << false;
  QTest::newRow("not a vCard file") << QList<QUrl>{QUrl::fromLocalFile("/data/a.txt")} << false;
  QTest::newRow("web address") << QList<QUrl>{QUrl("https://example.com/a.vcf")} << false;
}

// The source field takes a drop exactly as the drop area does, and never
// the drag's "file://" text.
void TestWindowLayout::shouldTakeADropOnTheSourceField() {
  QFETCH(QList<QUrl>, urls);
  QFETCH(bool, taken);
  Harness h;
  h.window.textField()->setText(QStringLiteral("/before.vcf"));
  for (QWidget* target :
       {static_cast<QWidget*>(h.window.textField()), static_cast<QWidget*>(h.window.mainView())}) {
    h.window.textField()->setText(QStringLiteral("/before.vcf"));
    const auto [entered, dropped] = dragOnto(target, urls);
    QCOMPARE(entered, taken);
    QCOMPARE(dropped, taken);
    const QString expected = taken ? urls.first().toLocalFile() : QStringLiteral("/before.vcf");
    QCOMPARE(h.window.textField()->text(), expected);
    QVERIFY(!h.window.textField()->text().contains(QStringLiteral("file:")));
    QCOMPARE(h.window.outField()->text(), QFileInfo(expected).dir().filePath(kOutputName));
  }
}

void TestWindowLayout::shouldFollowTheSourceInTheOutputField() {
  Harness h;
  QTest::keyClicks(h.window.textField(), QStringLiteral("/home/u/a.vcf"));
  QCOMPARE(h.window.outField()->text(), QStringLiteral("/home/u/") + kOutputName);
  h.window.textField()->clear();
  QTest::keyClicks(h.window.textField(), QStringLiteral("/media/card/b.vcf"));
  QCOMPARE(h.window.outField()->text(), QStringLiteral("/media/card/") + kOutputName);
  h.window.textField()->clear();
  QVERIFY(h.window.outField()->text().isEmpty());
}

void TestWindowLayout::shouldNameTheSourceInTheLog() {
  QCOMPARE(MainWindow::runHeading(QStringLiteral("/home/u/携帯.vcf")),
           QStringLiteral("■ 携帯.vcf（/home/u/携帯.vcf）\n"));
  // Two runs of different files can be told apart in the log.
  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString first = root.filePath(QStringLiteral("first.vcf"));
  const QString second = root.filePath(QStringLiteral("second.vcf"));
  QVERIFY(writeFile(first, kUtf8Card));
  QVERIFY(writeFile(second, kUtf8Card));
  Harness h;
  h.shell.alerts.answers = {AlertAnswer::Default};
  h.start(first);
  h.start(second);
  QCOMPARE(h.log(), MainWindow::runHeading(first) + kConverting + kOneCardLog +
                        MainWindow::runHeading(second) + kConverting + kOneCardLog);
}

void TestWindowLayout::shouldNotOverlapAtTheMinimumSize_data() {
  QTest::addColumn<bool>("minimum");
  QTest::addColumn<bool>("running");  // the progress row shown
  QTest::newRow("minimum size") << true << false;
  QTest::newRow("large") << false << false;
  QTest::newRow("minimum size during a run") << true << true;
  QTest::newRow("large during a run") << false << true;
}

void TestWindowLayout::shouldNotOverlapAtTheMinimumSize() {
  QFETCH(bool, minimum);
  QFETCH(bool, running);
  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = root.filePath(QStringLiteral("cards.vcf"));
  QVERIFY(writeFile(source, kUtf8Card));
  SlowConverter converter;
  converter.cards = 1000;
  Harness h(&converter);
  QWidget* window = h.window.myWindow();
  if (running) {
    h.begin(source);
    QTRY_VERIFY_WITH_TIMEOUT(h.window.progressBar()->isVisible(), 2000);
    QVERIFY(h.window.stopButton()->isVisible());
  }
  window->resize(minimum ? window->minimumSize() : QSize(1400, 1000));
  QCOMPARE(window->size(), minimum ? window->minimumSize() : QSize(1400, 1000));
  window->layout()->activate();
  QCoreApplication::processEvents();
  // The content's own widgets (not those inside the drop area) in the
  // content's coordinates, which scroll when the window is smaller than
  // they need; no two may intersect, and each lies inside the content. The
  // footer's buttons lie inside the window, below the content.
  auto* content = window->findChild<QWidget*>(QStringLiteral("content"));
  QVERIFY(content != nullptr);
  QList<QWidget*> widgets;
  for (QWidget* child : content->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (child->isVisible() && !child->isWindow()) widgets.append(child);
  }
  QVERIFY(widgets.size() >= (running ? 16 : 14));
  auto* area = window->findChild<QScrollArea*>(QStringLiteral("contentArea"));
  QVERIFY(area != nullptr);
  for (const char* name : {"hpButton", "kiyakuButton", "endButton"}) {
    auto* button = window->findChild<QPushButton*>(QLatin1String(name));
    QVERIFY(button != nullptr);
    QVERIFY2(window->rect().contains(button->geometry()), name);
    QVERIFY2(button->geometry().top() > area->geometry().bottom(), name);
  }
  for (qsizetype i = 0; i < widgets.size(); ++i) {
    QVERIFY2(content->rect().contains(widgets[i]->geometry()),
             qPrintable(widgets[i]->objectName()));
    QVERIFY2(widgets[i]->height() >= widgets[i]->minimumSizeHint().height() ||
                 widgets[i]->minimumSizeHint().height() <= 0,
             qPrintable(widgets[i]->objectName()));
    QVERIFY2(widgets[i]->height() >= widgets[i]->minimumHeight(),
             qPrintable(widgets[i]->objectName()));
    for (qsizetype j = i + 1; j < widgets.size(); ++j) {
      QVERIFY2(
          !widgets[i]->geometry().intersects(widgets[j]->geometry()),
          qPrintable(widgets[i]->objectName() + QStringLiteral(" / ") + widgets[j]->objectName()));
    }
  }
}

// The carrier and target choices sit on the start button's row, before the
// button, so that the two path fields keep the window's whole width; each
// has room for its longest item even at the minimum size.
void TestWindowLayout::shouldShowTheChoicesBesideTheStartButton() {
  Harness h;
  QWidget* window = h.window.myWindow();
  window->resize(window->minimumSize());
  window->layout()->activate();
  QCoreApplication::processEvents();
  auto* choice = window->findChild<QComboBox*>(QStringLiteral("carrierChoice"));
  auto* label = window->findChild<QLabel*>(QStringLiteral("carrierLabel"));
  auto* target = window->findChild<QComboBox*>(QStringLiteral("targetChoice"));
  auto* start = window->findChild<QPushButton*>(QStringLiteral("startButton"));
  auto* button = window->findChild<QPushButton*>(QStringLiteral("fileRefButton"));
  QVERIFY(choice != nullptr && label != nullptr && target != nullptr && start != nullptr &&
          button != nullptr);
  QCOMPARE(label->text(), QStringLiteral("絵文字"));
  QCOMPARE(label->buddy(), choice);
  const QRect row = start->geometry();
  for (const QWidget* widget :
       {static_cast<const QWidget*>(label), static_cast<const QWidget*>(choice),
        static_cast<const QWidget*>(target)}) {
    QVERIFY2(widget->geometry().top() < row.bottom() && widget->geometry().bottom() > row.top(),
             qPrintable(widget->objectName()));
    QVERIFY2(widget->geometry().right() < row.left(), qPrintable(widget->objectName()));
  }
  QVERIFY(label->geometry().right() < choice->geometry().left());
  QVERIFY(choice->geometry().right() < target->geometry().left());
  QVERIFY(choice->width() >= choice->minimumSizeHint().width());
  QVERIFY(target->width() >= target->minimumSizeHint().width());
  // The source field runs up to its chooser button, and the output field
  // under both to the same right edge.
  const QRect source = h.window.textField()->geometry();
  const QRect output = h.window.outField()->geometry();
  QCOMPARE(source.left(), output.left());
  QVERIFY(source.right() < button->geometry().left());
  QCOMPARE(output.right(), button->geometry().right());
}

void TestWindowLayout::shouldShowAWholePathInBothFields_data() {
  QTest::addColumn<int>("target");
  QTest::newRow("iPhone") << 0;
  QTest::newRow("iCloud.com") << 1;
}

// At the size the window opens with, a path of 60 characters, Japanese
// folder names among them, shows whole in both fields, and so does each
// field's placeholder.
void TestWindowLayout::shouldShowAWholePathInBothFields() {
  QFETCH(int, target);
  Harness h;
  QWidget* window = h.window.myWindow();
  window->findChild<QComboBox*>(QStringLiteral("targetChoice"))->setCurrentIndex(target);
  window->layout()->activate();
  QCoreApplication::processEvents();
  QCOMPARE(window->width(), kDefaultWidth);
  QString path = QStringLiteral("/home/user/ドキュメント/連絡先/2024年/docomo-export-backup.vcf");
  path.insert(path.lastIndexOf(QLatin1Char('/')), QString(60 - path.size(), QLatin1Char('x')));
  QCOMPARE(path.size(), 60);
  for (QLineEdit* field : {h.window.textField(), h.window.outField()}) {
    // The frame, the line edit's own inner margin of 2 on each side, any
    // text margins, and the clear button where the field has one.
    const int frame = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, field);
    const QMargins margins = field->textMargins();
    const int around = 2 * frame + 2 * 2 + margins.left() + margins.right() +
                       (field->isClearButtonEnabled() ? field->height() : 0);
    const QFontMetrics metrics(field->font());
    QVERIFY2(metrics.horizontalAdvance(path) + around <= field->width(),
             qPrintable(QStringLiteral("%1: %2 + %3 > %4")
                            .arg(field->objectName())
                            .arg(metrics.horizontalAdvance(path))
                            .arg(around)
                            .arg(field->width())));
    QVERIFY2(metrics.horizontalAdvance(field->placeholderText()) + around <= field->width(),
             qPrintable(field->placeholderText()));
  }
}

// The lower-left corner of the frame lands on the start window's, with the
// frame taken as large as the start window's while it is not yet drawn.
void TestWindowLayout::shouldPlaceTheFrameAtTheStartWindowsCorner() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  QVERIFY(screen != nullptr);
  const QRect area = screen->availableGeometry();
  // A start window in the lower-left part of the screen, so that the taller
  // main window fits above its corner.
  const QRect start(area.left() + 12, area.bottom() - 330, 480, 320);
  const QMargins margins(1, 25, 1, 1);
  FakeShell shell;
  MainWindow window(shell.services());
  window.setRect(QRectF(start));
  window.setFrameMargins(margins);
  window.showWindow();
  QWidget* w = window.myWindow();
  // The platform's own frame, where it has one, or else the handed-over
  // margins stand in for the frame not drawn yet.
  const int top = std::max(w->geometry().top() - w->frameGeometry().top(), margins.top());
  const int bottom =
      std::max(w->frameGeometry().bottom() - w->geometry().bottom(), margins.bottom());
  const int frameHeight = w->height() + top + bottom;
  QVERIFY2(frameHeight <= start.top() + start.height() - area.top(), "screen too small");
  QCOMPARE(w->pos().x(), start.left());
  QCOMPARE(w->pos().y() + frameHeight, start.top() + start.height());
  QVERIFY(!w->windowIcon().isNull());
}

void TestWindowLayout::shouldWrapTheReportOnlyBetweenItsEntries_data() {
  QTest::addColumn<QStringList>("names");
  // The left-out properties of a docomo phone's and an Outlook export, and
  // names no table knows.
  QTest::newRow("docomo") << QStringList{"X-CLASS", "X-GNO", "X-GN", "X-REDUCTION"};
  QTest::newRow("Outlook") << QStringList{"X-MS-TEL",
                                          "LABEL",
                                          "X-MS-OL-DEFAULT-POSTAL-ADDRESS",
                                          "ROLE",
                                          "X-MS-ANNIVERSARY",
                                          "KEY",
                                          "X-MS-IMADDRESS",
                                          "X-MS-OL-DESIGN",
                                          "REV"};
  QTest::newRow("unknown") << QStringList{"X-FOO-BAR-BAZ", "X-MESSAGING/AIM-ALL", "SOUND(音声)",
                                          "X-A-B-C-D-E-F"};
}

// The log wraps the report's long line of left-out properties where a line
// may break by the Unicode rules; those rules would split "X-|MS-|TEL" and
// "12|件". Whatever the width, a line of the log never begins inside a
// property name, between a name and its count or between a count and its
// unit.
void TestWindowLayout::shouldWrapTheReportOnlyBetweenItsEntries() {
  QFETCH(QStringList, names);
  vcard::ConversionReport report;
  report.loaded = true;
  std::uint64_t n = 1;
  for (const QString& name : names)
    report.dropped.push_back({name.toStdString(), n++ * 7});
  const QString plain = QString::fromStdString(vcard::reportText(report));
  // The report itself is plain text; what keeps its entries whole is the
  // window's, and leaves with nothing of it when the text is copied.
  for (const QChar c : plain)
    QVERIFY2(c != QChar(0x2060) && c != QChar(0x00A0), "an invisible character in the report");
  const QString text = withEntriesKeptWhole(plain);
  QCOMPARE(withoutLayoutMarks(text), plain);
  const qsizetype lineStart = text.indexOf(QStringLiteral("）：")) + 2;
  const QString line = text.mid(lineStart, text.indexOf(QLatin1Char('\n'), lineStart) - lineStart);
  QVERIFY(!line.isEmpty());

  Harness h;
  const QPlainTextEdit* log = h.window.messageField();
  const QFontMetricsF metrics(log->font());
  // The characters that belong together: a name's letters, digits, hyphens,
  // slashes and brackets, the joiners and no-break spaces, and the units.
  const auto tight = [](QChar c) {
    return (c.unicode() > 0x20 && c.unicode() < 0x7F) || c == QChar(0x2060) || c == QChar(0x00A0) ||
           c == QStringLiteral("件").front() || c == QStringLiteral("音").front() ||
           c == QStringLiteral("声").front();
  };
  // From the widest entry up to the whole line, in steps of a few letters.
  qreal widest = 0;
  for (const QString& entry : line.split(QStringLiteral("、")))
    widest = std::max(widest, metrics.horizontalAdvance(entry));
  int lines = 0;
  for (qreal width = widest; width < metrics.horizontalAdvance(line) + 40;
       width += metrics.averageCharWidth() * 3) {
    QTextLayout layout(line, log->font());
    QTextOption option = log->document()->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine()) {
      l.setLineWidth(width);
      const int at = l.textStart();
      ++lines;
      if (at == 0) continue;
      const bool countAfterName =
          line.at(at - 1) == QStringLiteral("）").front() && line.at(at).isDigit();
      QVERIFY2(!(tight(line.at(at - 1)) && tight(line.at(at))) && !countAfterName,
               qPrintable(QStringLiteral("width %1: …%2|%3…")
                              .arg(width)
                              .arg(line.mid(std::max(0, at - 12), std::min(at, 12)))
                              .arg(line.mid(at, 12))));
    }
    layout.endLayout();
  }
  QVERIFY(lines > 2);

  // In the log, as a run shows it: a copy of all of it is the plain text.
  h.window.appendText(text);
  auto* view = qobject_cast<LogView*>(h.window.messageField());
  QVERIFY(view != nullptr);
  QCOMPARE(view->text(), plain);
  view->selectAll();
  view->copy();
  QCOMPARE(QGuiApplication::clipboard()->text(), plain);
}

// The hint under the title wraps between its phrases only, never inside
// one ("…押してくださ|い。"), at every width the window can take.
void TestWindowLayout::shouldWrapTheHintBetweenPhrases() {
  Harness h;
  auto* hint = h.window.myWindow()->findChild<QLabel*>(QStringLiteral("hintLabel"));
  QVERIFY(hint != nullptr);
  QCOMPARE(withoutLayoutMarks(hint->text()), MainWindow::kHintPhrases.join(QString()));
  QCOMPARE(withoutLayoutMarks(hint->text()),
           QStringLiteral("変換元のファイル名を入力するか、「参照…」で選ぶか、"
                          "下の枠にドロップしてから「変換開始」を押してください。"));
  const QString fault = breakInsideAPhrase(hint, {MainWindow::kHintPhrases});
  QVERIFY2(fault.isEmpty(), qPrintable(fault));
  // Narrower than the whole hint, it does wrap.
  QVERIFY(QFontMetricsF(hint->font()).horizontalAdvance(hint->text()) > 300);
}

// The screens a window must fit, in device pixels, at the scales a desktop
// sets on them (125 % is 1.25). Each row runs shouldFitThisScreen in a
// process of its own: a scale is set for the whole process before the
// application starts.
void TestWindowLayout::shouldFitEveryScreenAtEveryScale_data() {
  QTest::addColumn<int>("width");
  QTest::addColumn<int>("height");
  QTest::addColumn<QString>("scale");
  for (const QSize screen : {QSize(1024, 768), QSize(1280, 900)}) {
    for (const char* scale : {"1", "1.25", "1.5", "2"}) {
      QTest::addRow("%dx%d at %s", screen.width(), screen.height(), scale)
          << screen.width() << screen.height() << QString::fromLatin1(scale);
    }
  }
}

void TestWindowLayout::shouldFitEveryScreenAtEveryScale() {
  QFETCH(int, width);
  QFETCH(int, height);
  QFETCH(QString, scale);
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  // The offscreen platform's one screen, as large as the row says.
  QFile config(dir.filePath(QStringLiteral("screen.json")));
  QVERIFY(config.open(QIODevice::WriteOnly));
  config.write(QStringLiteral(R"({"screens": [{"name": "screen", "x": 0, "y": 0, "width": %1,)"
                              R"( "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96}]})")
                   .arg(width)
                   .arg(height)
                   .toUtf8());
  config.close();

  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                     QStringLiteral("offscreen:configfile=") + config.fileName());
  environment.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
  environment.remove(QStringLiteral("QT_SCREEN_SCALE_FACTORS"));
  environment.remove(QStringLiteral("QT_ENABLE_HIGHDPI_SCALING"));
  environment.insert(QStringLiteral("VCARD_LAYOUT_SCREEN"),
                     QStringLiteral("%1 %2 %3").arg(width).arg(height).arg(scale));
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("shouldFitThisScreen")});
  QVERIFY(child.waitForFinished(120'000));
  const QString output = QString::fromUtf8(child.readAll());
  QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(output));
  // Passed, not skipped.
  QVERIFY2(output.contains(QStringLiteral("PASS   : TestWindowLayout::shouldFitThisScreen()")),
           qPrintable(output));
}

namespace {

// A window manager's frame (title bar and borders) and a desktop panel, in
// the scaled pixels the window is laid out in: the title bars of the common
// desktops take 24 to 38 of them, panels 24 to 32.
constexpr QMargins kFrame(4, 38, 4, 4);
constexpr int kPanel = 32;

// Where the control shows once the content is scrolled to it: inside the
// window and, for the content's controls, inside the scrolled view.
bool reachable(QWidget* window, QScrollArea* area, QWidget* control) {
  if (area->widget()->isAncestorOf(control)) {
    // Scrolled to the whole control, or to its beginning when it is larger
    // than the view (ensureWidgetVisible would settle for a field's caret).
    const QPoint at = control->mapTo(area->widget(), QPoint(0, 0));
    const QSize room = area->viewport()->size();
    const auto scrollTo = [](QScrollBar* bar, int start, int length, int visible) {
      bar->setValue(length <= visible ? start + length - visible : start);
    };
    scrollTo(area->horizontalScrollBar(), at.x(), control->width(), room.width());
    scrollTo(area->verticalScrollBar(), at.y(), control->height(), room.height());
    QCoreApplication::processEvents();
    // A control larger than the view (a long field when the window is
    // narrow) is in reach when it fills the view that way.
    const QRect inView(control->mapTo(area->viewport(), QPoint(0, 0)), control->size());
    const QRect view = area->viewport()->rect();
    // The view itself lies in the window.
    return inView.intersected(view).size() == inView.size().boundedTo(view.size()) &&
           window->rect().contains(QRect(area->viewport()->mapTo(window, QPoint(0, 0)), room));
  }
  const QRect inWindow(control->mapTo(window, QPoint(0, 0)), control->size());
  return window->rect().contains(inWindow);
}

}  // namespace

// Run by shouldFitEveryScreenAtEveryScale in a process with the screen's
// size and scale set; skipped when run on its own.
void TestWindowLayout::shouldFitThisScreen() {
  const QStringList given =
      qEnvironmentVariable("VCARD_LAYOUT_SCREEN").split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (given.size() != 3) QSKIP("run by shouldFitEveryScreenAtEveryScale");
  const int width = given[0].toInt();
  const int height = given[1].toInt();
  const double scale = given[2].toDouble();
  const QScreen* screen = QGuiApplication::primaryScreen();
  QVERIFY(screen != nullptr);
  // The scale took effect: the window is laid out in the screen's scaled
  // pixels, 512 x 384 of them on 1024 x 768 at 2.
  QVERIFY(qAbs(screen->devicePixelRatio() - scale) < 0.01);
  QVERIFY(qAbs(screen->geometry().width() - width / scale) <= 1);
  QVERIFY(qAbs(screen->geometry().height() - height / scale) <= 1);
  // The platform knows of no panel; one is taken off the screen for the
  // minimum, which has to fit whatever the desktop around it takes.
  const QRect available = screen->availableGeometry();
  const QRect area = available.adjusted(0, kPanel, 0, 0);

  // The start window comes first: it fits the screen too, its buttons on it.
  {
    FakeShell shell;
    AppDelegate delegate(shell.services());
    delegate.applicationDidFinishLaunching();
    QWidget* start = delegate.window();
    QVERIFY(QTest::qWaitForWindowExposed(start));
    QVERIFY2(available.contains(start->frameGeometry()),
             qPrintable(QStringLiteral("start window %1 x %2")
                            .arg(start->frameGeometry().width())
                            .arg(start->frameGeometry().height())));
    const QList<QPushButton*> buttons = start->findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 4);
    for (const QPushButton* button : buttons) {
      QVERIFY2(start->rect().contains(QRect(button->mapTo(start, QPoint(0, 0)), button->size())),
               qPrintable(button->objectName()));
    }
  }

  // The start window sits in the area's upper-left corner, as small as it
  // can be.
  FakeShell shell;
  MainWindow controller(shell.services());
  controller.setRect(
      QRectF(area.left(), area.top(), std::min(area.width(), 420), std::min(area.height(), 300)));
  controller.setFrameMargins(kFrame);
  controller.showWindow();
  QWidget* window = controller.myWindow();
  QVERIFY(QTest::qWaitForWindowExposed(window));
  auto* scrolled = window->findChild<QScrollArea*>(QStringLiteral("contentArea"));
  QVERIFY(scrolled != nullptr);

  // The window can be made as small as the screen allows, and it opens
  // inside the screen with room for a frame of the size given.
  const QSize smallest = window->minimumSize().grownBy(kFrame);
  QVERIFY2(smallest.width() <= area.width() && smallest.height() <= area.height(),
           qPrintable(QStringLiteral("minimum %1 x %2 with its frame, screen %3 x %4")
                          .arg(smallest.width())
                          .arg(smallest.height())
                          .arg(area.width())
                          .arg(area.height())));
  QVERIFY(available.contains(window->frameGeometry()));
  const QRect opened(window->pos(), window->size().grownBy(kFrame));
  QVERIFY2(opened.width() <= available.width() && opened.height() <= available.height(),
           qPrintable(QStringLiteral("opened at %1,%2 %3 x %4 with its frame")
                          .arg(opened.x())
                          .arg(opened.y())
                          .arg(opened.width())
                          .arg(opened.height())));
  // Where the screen has room for the content, nothing scrolls.
  window->layout()->activate();
  QCoreApplication::processEvents();
  const QSize needed = window->findChild<QWidget*>(QStringLiteral("content"))->minimumSizeHint();
  if (needed.width() <= window->width() && opened.height() < available.height() - 20) {
    QVERIFY2(!scrolled->verticalScrollBar()->isVisible(), "scrolls with room to spare");
  }

  // Every control is in reach, at the size the window opens with and at
  // its minimum: the footer's buttons in the window itself, the rest once
  // the content is scrolled to them.
  const QList<QWidget*> controls = window->findChildren<QWidget*>();
  for (const QSize size : {window->size(), window->minimumSize()}) {
    window->resize(size);
    window->layout()->activate();
    QCoreApplication::processEvents();
    int checked = 0;
    for (QWidget* control : controls) {
      const bool isControl = qobject_cast<QAbstractButton*>(control) != nullptr ||
                             qobject_cast<QComboBox*>(control) != nullptr ||
                             qobject_cast<QLineEdit*>(control) != nullptr ||
                             qobject_cast<QPlainTextEdit*>(control) != nullptr;
      // The line edit's own clear button and the like are parts of a
      // control, not controls.
      if (!isControl || !control->isVisibleTo(window) || control->objectName().isEmpty() ||
          control->objectName().startsWith(QLatin1String("qt_")))
        continue;
      ++checked;
      QVERIFY2(reachable(window, scrolled, control),
               qPrintable(QStringLiteral("%1 out of reach at %2 x %3")
                              .arg(control->objectName())
                              .arg(size.width())
                              .arg(size.height())));
    }
    QCOMPARE(checked, 10);
    for (const char* name : {"hpButton", "kiyakuButton", "endButton"}) {
      const QWidget* button = window->findChild<QPushButton*>(QLatin1String(name));
      QVERIFY2(window->rect().contains(button->geometry()), name);
    }
  }
}

QTEST_MAIN(TestWindowLayout)
#include "tst_windowlayout.moc"
