// The main window around the checks: quitting, the chooser, the pages, its
// setup, drops on the source field, the output field, the log's run
// headings, its minimum size and where it opens.
#include <QApplication>
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
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QUrl>
#include <QtTest>

#include <algorithm>
#include <utility>

#include "fakeservices.h"
#include "mainview.h"
#include "mainwindow.h"
#include "pages.h"
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
  QTest::newRow("file chosen") << true;
  QTest::newRow("cancelled") << false;
}

void TestWindowLayout::shouldFillBothFieldsFromTheChooser() {
  QFETCH(bool, chosen);
  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = root.filePath(QStringLiteral("cards.vcf"));
  QVERIFY(writeFile(source, kUtf8Card));

  Harness h;
  h.window.textField()->setText(QStringLiteral("typed.vcf"));
  if (chosen) h.shell.files.answer = source;
  auto* button = h.window.myWindow()->findChild<QPushButton*>(QStringLiteral("fileRefButton"));
  QVERIFY(button != nullptr);
  button->click();

  QCOMPARE(h.shell.files.calls, 1);
  QCOMPARE(h.shell.files.folder, QDir::homePath());
  QCOMPARE(h.shell.files.extensions, QStringList{QStringLiteral("vcf")});
  QCOMPARE(h.window.textField()->text(), chosen ? source : QStringLiteral("typed.vcf"));
  QCOMPARE(h.window.outField()->text(),
           chosen ? root.filePath(kOutputName) : outputFor(QStringLiteral("typed.vcf")));
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
  FakeShell shell;
  MainWindow window(shell.services());
  QVERIFY(window.myWindow() == nullptr);
  MainWindow::setFileName(QStringLiteral("/x/y.vcf"));  // no window yet: nothing to fill
  window.showWindow();
  QVERIFY(window.outField()->isReadOnly());
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
  // The window's own widgets (not those inside the drop area) in window
  // coordinates; no two may intersect, and each lies inside the window.
  QList<QWidget*> widgets;
  for (QWidget* child : window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (child->isVisible() && !child->isWindow()) widgets.append(child);
  }
  QVERIFY(widgets.size() >= (running ? 14 : 12));
  for (qsizetype i = 0; i < widgets.size(); ++i) {
    QVERIFY2(window->rect().contains(widgets[i]->geometry()), qPrintable(widgets[i]->objectName()));
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
  const QString text = QString::fromStdString(vcard::reportText(report));
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
}

QTEST_MAIN(TestWindowLayout)
#include "tst_windowlayout.moc"
