#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "fakeservices.h"
#include "mainview.h"
#include "mainwindow.h"
#include "pages.h"
#include "source_check.h"

namespace {

const QString kEmptyAlert = QStringLiteral("変換元ファイル名が入力（選択）されていません。");
const QString kMissingAlert = QStringLiteral("変換元ファイルがありません。");
const QString kNotVCardAlert = QStringLiteral("変換元ファイルはvCardファイルではありません。");
const QString kTooLongAlert =
    QStringLiteral("変換元ファイルのフォルダ名およびファイル名が長すぎます。");
const QString kSameFileAlert = QStringLiteral("変換元ファイルと出力ファイルが同じです。");
const QString kUnreadableAlert = QStringLiteral(
    "変換元ファイルが読み込めません。\n他で使用中もしくは破損している可能性があります。");
const QString kUnsupportedAlert = QStringLiteral("変換元ファイルの文字コードに対応していません。");
const QString kConverting = QStringLiteral("変換処理中・・・\n");
const QString kOneCardLog =
    QStringLiteral("変換が完了しました。\n入力データ：1件、　出力データ：1件\n\n");
const QString kNoCardLog = QStringLiteral("出力対象データが1件もありませんでした。\n\n");
const QString kFailedLog = QStringLiteral("変換処理に失敗しました。\n\n");
const QString kOutputName = QStringLiteral("PC→iPhone.vcf");

// One card in UTF-8.
const QByteArray kUtf8Card =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:\xE5\xB1\xB1\xE7\x94\xB0;\xE5\xA4\xAA\xE9\x83\x8E;;;\r\n"
    "TEL;CELL:090-1234-5678\r\nEND:VCARD\r\n";

// A feature phone's card in Shift_JIS: N 山田;太郎 and SOUND ﾔﾏﾀﾞ;ﾀﾛｳ.
const QByteArray kShiftJisCard =
    "BEGIN:VCARD\r\nVERSION:2.1\r\n"
    "N;CHARSET=SHIFT_JIS:\x8E\x52\x93\x63;\x91\xBE\x98\x59;;;\r\n"
    "SOUND;CHARSET=SHIFT_JIS:\xD4\xCF\xC0\xDE;\xC0\xDB\xB3;;;\r\n"
    "TEL;CELL:090-1234-5678\r\nEMAIL;INTERNET:taro@example.jp\r\n"
    "FN:\x8E\x52\x93\x63\x91\xBE\x98\x59\r\nEND:VCARD\r\n";

// The output path the window derives from a source path.
QString outputFor(const QString& source) {
  return QString::fromStdString(vcard::outputPathForSource(source.toStdString()));
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Creates an existing vCard file whose path is exactly `units` UTF-16 code
// units long, padding with folders; the name starts with `stem`.
QString makeFileOfLength(const QString& root, qsizetype units, const QString& stem) {
  QString folder = root;
  qsizetype remaining = units - folder.size() - 1 - stem.size() - 4;
  while (remaining > 120) {
    folder += QLatin1Char('/') + QString(100, QLatin1Char('d'));
    remaining -= 101;
  }
  if (remaining < 0 || !QDir().mkpath(folder)) return QString();
  const QString path = folder + QLatin1Char('/') + stem + QString(remaining, QLatin1Char('n')) +
                       QStringLiteral(".vcf");
  return writeFile(path, kUtf8Card) ? path : QString();
}

struct Harness {
  FakeShell shell;
  MainWindow window{shell.services()};

  Harness() { window.showWindow(); }
  QString log() const { return window.messageField()->toPlainText(); }
  void start(const QString& source) {
    window.textField()->setText(source);
    window.pushStart();
  }
};

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

 private slots:
  void cleanup();

  void shouldCheckTheSourceInOrder_data();
  void shouldCheckTheSourceInOrder();
  void shouldMeasureThePathInUtf16Units_data();
  void shouldMeasureThePathInUtf16Units();
  void shouldDeriveTheOutputPath_data();
  void shouldDeriveTheOutputPath();
  void shouldConvertARelativePathInTheCurrentFolder();
  void shouldAskBeforeOverwriting_data();
  void shouldAskBeforeOverwriting();
  void shouldRefuseWhenTheOutputIsTheSource_data();
  void shouldRefuseWhenTheOutputIsTheSource();
  void shouldConvertARealFile();
  void shouldSurviveHostileFiles_data();
  void shouldSurviveHostileFiles();
  void shouldCutTheSourceAtACarriageReturn_data();
  void shouldCutTheSourceAtACarriageReturn();
  void shouldKeepTheCaretWhenNothingIsCut();
  void shouldAppendToTheLogAndFollowIt();
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
  void shouldPlaceTheFrameAtTheStartWindowsCorner();
};

void TestMainWindow::cleanup() {
  QVERIFY2(QApplication::topLevelWidgets().isEmpty(), "a top-level window leaked");
}

void TestMainWindow::shouldCheckTheSourceInOrder_data() {
  QTest::addColumn<QString>("source");  // {root} stands for the temporary folder
  QTest::addColumn<QStringList>("files");
  QTest::addColumn<QStringList>("folders");
  QTest::addColumn<QStringList>("alerts");
  QTest::addColumn<bool>("converts");

  const QString tooLongName = QString(300, QLatin1Char('x')) + QStringLiteral(".vcf");
  QTest::newRow("empty") << "" << QStringList{} << QStringList{} << QStringList{kEmptyAlert}
                         << false;
  QTest::newRow("missing") << "{root}/none.vcf" << QStringList{} << QStringList{}
                           << QStringList{kMissingAlert} << false;
  QTest::newRow("missing source, output exists")
      << "{root}/none.vcf" << QStringList{kOutputName} << QStringList{}
      << QStringList{kMissingAlert} << false;
  QTest::newRow("too long and missing: existence first")
      << "{root}/" + tooLongName << QStringList{} << QStringList{} << QStringList{kMissingAlert}
      << false;
  QTest::newRow("other extension after vcf")
      << "{root}/contacts.vcf.txt" << QStringList{"contacts.vcf.txt"} << QStringList{}
      << QStringList{kNotVCardAlert} << false;
  QTest::newRow("no extension") << "{root}/contacts" << QStringList{"contacts"} << QStringList{}
                                << QStringList{kNotVCardAlert} << false;
  QTest::newRow("name ends in a dot") << "{root}/contacts." << QStringList{"contacts."}
                                      << QStringList{} << QStringList{kNotVCardAlert} << false;
  QTest::newRow("dot only in the folder")
      << "{root}/a.vcf/contacts" << QStringList{"a.vcf/contacts"} << QStringList{"a.vcf"}
      << QStringList{kNotVCardAlert} << false;
  QTest::newRow("upper-case extension") << "{root}/contacts.VCF" << QStringList{"contacts.VCF"}
                                        << QStringList{} << QStringList{} << true;
  QTest::newRow("mixed-case extension") << "{root}/contacts.Vcf" << QStringList{"contacts.Vcf"}
                                        << QStringList{} << QStringList{} << true;
  // Existence counts folders, so the folder reaches the engine, which cannot
  // read it.
  QTest::newRow("folder named like a vCard file")
      << "{root}/folder.vcf" << QStringList{} << QStringList{"folder.vcf"}
      << QStringList{kUnreadableAlert} << true;
}

void TestMainWindow::shouldCheckTheSourceInOrder() {
  QFETCH(QString, source);
  QFETCH(QStringList, files);
  QFETCH(QStringList, folders);
  QFETCH(QStringList, alerts);
  QFETCH(bool, converts);

  QTemporaryDir root;
  QVERIFY(root.isValid());
  for (const QString& folder : folders)
    QVERIFY(QDir(root.path()).mkpath(folder));
  for (const QString& file : files)
    QVERIFY(writeFile(root.filePath(file), kUtf8Card));
  source.replace(QStringLiteral("{root}"), root.path());

  Harness h;
  h.start(source);

  QCOMPARE(h.shell.alerts.informations(), alerts);
  QVERIFY(h.shell.alerts.questions().isEmpty());
  QCOMPARE(h.log().startsWith(MainWindow::runHeading(source) + kConverting), converts);
  if (!converts) QVERIFY(h.log().isEmpty());
  if (source.isEmpty()) QVERIFY(h.window.outField()->text().isEmpty());
}

void TestMainWindow::shouldMeasureThePathInUtf16Units_data() {
  QTest::addColumn<qsizetype>("units");
  QTest::addColumn<QString>("stem");
  QTest::addColumn<bool>("tooLong");

  // U+1F600 takes two UTF-16 units: a path of 255 code points holding it is
  // 256 units long.
  const QString outsideBmp = QString::fromUcs4(U"\U0001F600");
  QTest::newRow("255 units with a non-BMP character") << qsizetype{255} << outsideBmp << false;
  QTest::newRow("256 units with a non-BMP character") << qsizetype{256} << outsideBmp << true;
  QTest::newRow("255 units, kana") << qsizetype{255} << QStringLiteral("カード") << false;
  QTest::newRow("256 units, kana") << qsizetype{256} << QStringLiteral("カード") << true;
}

void TestMainWindow::shouldMeasureThePathInUtf16Units() {
  QFETCH(qsizetype, units);
  QFETCH(QString, stem);
  QFETCH(bool, tooLong);

  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = makeFileOfLength(root.path(), units, stem);
  QCOMPARE(source.size(), units);

  Harness h;
  h.start(source);
  if (tooLong) {
    QCOMPARE(h.shell.alerts.informations(), QStringList{kTooLongAlert});
    QVERIFY(h.log().isEmpty());
  } else {
    QVERIFY(h.shell.alerts.informations().isEmpty());
    QCOMPARE(h.log(), MainWindow::runHeading(source) + kConverting + kOneCardLog);
  }
}

void TestMainWindow::shouldDeriveTheOutputPath_data() {
  QTest::addColumn<QString>("source");
  QTest::addColumn<QString>("output");

  QTest::newRow("absolute") << "/nonexistent-7d1/a/Desktop/list.vcf"
                            << "/nonexistent-7d1/a/Desktop/PC→iPhone.vcf";
  QTest::newRow("at the root") << "/list-7d1.vcf"
                               << "/PC→iPhone.vcf";
  QTest::newRow("no slash") << "list-7d1.vcf" << kOutputName;
  QTest::newRow("trailing slash") << "/nonexistent-7d1/folder/" << kOutputName;
  QTest::newRow("Japanese folder") << "/nonexistent-7d1/連絡先 一覧/カード.vcf"
                                   << "/nonexistent-7d1/連絡先 一覧/PC→iPhone.vcf";
}

void TestMainWindow::shouldDeriveTheOutputPath() {
  QFETCH(QString, source);
  QFETCH(QString, output);

  Harness h;
  MainWindow::setFileName(source);
  QCOMPARE(h.window.textField()->text(), source);
  QCOMPARE(h.window.outField()->text(), output);
  QVERIFY(h.shell.alerts.shown.isEmpty());
  QVERIFY(h.log().isEmpty());

  // The start derives it again before its checks, so the field shows it
  // even though the missing source is then refused.
  h.window.outField()->clear();
  h.start(source);
  QCOMPARE(h.window.outField()->text(), output);
  QCOMPARE(h.shell.alerts.informations(), QStringList{kMissingAlert});
  QCOMPARE(QString::fromStdString(h.window.org()), source);
  QCOMPARE(QString::fromStdString(h.window.dst()), output);
}

void TestMainWindow::shouldConvertARelativePathInTheCurrentFolder() {
  QTemporaryDir root;
  QVERIFY(root.isValid());
  QVERIFY(writeFile(root.filePath(QStringLiteral("list.vcf")), kUtf8Card));
  const QString previous = QDir::currentPath();
  QVERIFY(QDir::setCurrent(root.path()));

  Harness h;
  h.start(QStringLiteral("list.vcf"));
  QDir::setCurrent(previous);

  QCOMPARE(h.window.outField()->text(), kOutputName);
  QVERIFY(h.shell.alerts.shown.isEmpty());
  QCOMPARE(h.log(), MainWindow::runHeading(QStringLiteral("list.vcf")) + kConverting + kOneCardLog);
  QVERIFY(QFile::exists(root.filePath(kOutputName)));
}

void TestMainWindow::shouldAskBeforeOverwriting_data() {
  QTest::addColumn<AlertAnswer>("answer");
  QTest::addColumn<bool>("converts");
  QTest::newRow("OK overwrites") << AlertAnswer::Default << true;
  QTest::newRow("キャンセル leaves everything") << AlertAnswer::Alternate << false;
}

void TestMainWindow::shouldAskBeforeOverwriting() {
  QFETCH(AlertAnswer, answer);
  QFETCH(bool, converts);

  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = root.filePath(QStringLiteral("cards.vcf"));
  const QString output = root.filePath(kOutputName);
  QVERIFY(writeFile(source, kUtf8Card));
  QVERIFY(writeFile(output, "old"));

  Harness h;
  h.shell.alerts.answers = {answer};
  h.start(source);

  QCOMPARE(h.shell.alerts.questions(),
           QStringList{QStringLiteral("添付用ファイルが既に存在します。\n上書きで保存しますか？")});
  QVERIFY(h.shell.alerts.informations().isEmpty());
  if (converts) {
    QCOMPARE(h.log(), MainWindow::runHeading(source) + kConverting + kOneCardLog);
    QVERIFY(readFile(output).startsWith("\xFF\xFE"));
  } else {
    QVERIFY(h.log().isEmpty());
    QCOMPARE(readFile(output), QByteArray("old"));
  }
}

void TestMainWindow::shouldRefuseWhenTheOutputIsTheSource_data() {
  QTest::addColumn<QString>("kind");
  QTest::newRow("source named like the output") << "same name";
  QTest::newRow("source is a link to the output") << "symlink";
  QTest::newRow("source is a hard link of the output") << "hard link";
}

void TestMainWindow::shouldRefuseWhenTheOutputIsTheSource() {
  QFETCH(QString, kind);

  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString output = root.filePath(kOutputName);
  QVERIFY(writeFile(output, kUtf8Card));
  QString source = output;
  if (kind == QStringLiteral("symlink")) {
    source = root.filePath(QStringLiteral("link.vcf"));
    QVERIFY(QFile::link(output, source));
  } else if (kind == QStringLiteral("hard link")) {
    source = root.filePath(QStringLiteral("hard.vcf"));
    QCOMPARE(::link(output.toLocal8Bit().constData(), source.toLocal8Bit().constData()), 0);
  }

  Harness h;
  h.shell.alerts.answers = {AlertAnswer::Default};
  h.start(source);

  QCOMPARE(h.shell.alerts.informations(), QStringList{kSameFileAlert});
  QVERIFY(h.shell.alerts.questions().isEmpty());
  QVERIFY(h.log().isEmpty());
  QCOMPARE(readFile(output), kUtf8Card);
}

void TestMainWindow::shouldConvertARealFile() {
  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = root.filePath(QStringLiteral("携帯.vcf"));
  QVERIFY(writeFile(source, kShiftJisCard));

  Harness h;
  MainWindow::setFileName(source);
  h.window.pushStart();

  QVERIFY(h.shell.alerts.shown.isEmpty());
  QCOMPARE(h.log(), MainWindow::runHeading(source) + kConverting + kOneCardLog);
  const QByteArray bytes = readFile(root.filePath(kOutputName));
  QVERIFY(bytes.startsWith("\xFF\xFE"));
  QCOMPARE(bytes.size() % 2, 0);
  const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                          (bytes.size() - 2) / 2);
  QVERIFY(text.startsWith(QStringLiteral("BEGIN:VCARD\r\n")));
  QVERIFY(text.contains(QStringLiteral("N:山田;太郎;;;\r\n")));
  QVERIFY(text.contains(QStringLiteral("X-PHONETIC-LAST-NAME:ヤマダ\r\n")));
  QVERIFY(text.contains(QStringLiteral("X-PHONETIC-FIRST-NAME:タロウ\r\n")));
  QVERIFY(!text.contains(QStringLiteral("FN:")));
  QVERIFY(text.endsWith(QStringLiteral("END:VCARD\r\n")));
}

void TestMainWindow::shouldSurviveHostileFiles_data() {
  QTest::addColumn<QByteArray>("content");
  QTest::addColumn<QStringList>("alerts");
  QTest::addColumn<QString>("logText");  // empty: any text

  QTest::newRow("zero bytes") << QByteArray() << QStringList{} << kNoCardLog;
  // FE FF: a UTF-16 big-endian mark, which is refused.
  QTest::newRow("UTF-16BE mark") << QByteArray("\xFE\xFF\x00\x42\x00\x45", 6)
                                 << QStringList{kUnsupportedAlert} << kFailedLog;
  QByteArray noise;
  for (int i = 0; i < 4096; ++i)
    noise.append(static_cast<char>((i * 131 + 7) & 0xFF));
  QTest::newRow("binary noise") << noise << QStringList{} << QString();
  QTest::newRow("card without its end")
      << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN:a;b\r\n") << QStringList{} << kNoCardLog;
}

void TestMainWindow::shouldSurviveHostileFiles() {
  QFETCH(QByteArray, content);
  QFETCH(QStringList, alerts);
  QFETCH(QString, logText);

  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString hostile = root.filePath(QStringLiteral("hostile.vcf"));
  QVERIFY(writeFile(hostile, content));

  Harness h;
  QStringList logWhileAlerted;
  h.shell.alerts.whileShown = [&] { logWhileAlerted.append(h.log()); };
  h.start(hostile);

  QCOMPARE(h.shell.alerts.informations(), alerts);
  // An alert comes after the progress line and before the engine's log text.
  const QString heading = MainWindow::runHeading(hostile) + kConverting;
  for (const QString& seen : logWhileAlerted)
    QCOMPARE(seen, heading);
  QVERIFY(h.log().startsWith(heading));
  if (!logText.isEmpty()) QCOMPARE(h.log(), heading + logText);

  // The window goes on working: a good file converts next.
  const QString logBefore = h.log();
  const QString good = QDir(root.path()).mkpath(QStringLiteral("good"))
                           ? root.filePath(QStringLiteral("good/cards.vcf"))
                           : QString();
  QVERIFY(writeFile(good, kUtf8Card));
  h.shell.alerts.shown.clear();
  h.start(good);
  QVERIFY(h.shell.alerts.shown.isEmpty());
  QCOMPARE(h.log(), logBefore + MainWindow::runHeading(good) + kConverting + kOneCardLog);
}

void TestMainWindow::shouldCutTheSourceAtACarriageReturn_data() {
  QTest::addColumn<QString>("pasted");
  QTest::addColumn<QString>("kept");
  QTest::newRow("carriage return in the middle") << "/a/b.vcf\rrest"
                                                 << "/a/b.vcf";
  QTest::newRow("CR LF at the end") << "/a/b.vcf\r\n"
                                    << "/a/b.vcf";
  QTest::newRow("carriage return first") << "\r/a/b.vcf"
                                         << "";
  QTest::newRow("two carriage returns") << "x\ry\rz"
                                        << "x";
  QTest::newRow("line feed untouched") << "/a\n/b.vcf"
                                       << "/a\n/b.vcf";
  QTest::newRow("no carriage return") << "/a/カード.vcf"
                                      << "/a/カード.vcf";
}

void TestMainWindow::shouldCutTheSourceAtACarriageReturn() {
  QFETCH(QString, pasted);
  QFETCH(QString, kept);

  Harness h;
  // insert() is the path a paste takes: it reports a user edit.
  h.window.textField()->insert(pasted);
  QCOMPARE(h.window.textField()->text(), kept);
  // The output field follows what the field keeps.
  QCOMPARE(h.window.outField()->text(), kept.isEmpty() ? QString() : outputFor(kept));
  QVERIFY(h.shell.alerts.shown.isEmpty());
}

void TestMainWindow::shouldKeepTheCaretWhenNothingIsCut() {
  Harness h;
  QLineEdit* field = h.window.textField();
  QTest::keyClicks(field, QStringLiteral("/a/c.vcf"));
  field->setCursorPosition(3);
  QTest::keyClicks(field, QStringLiteral("b/"));
  QCOMPARE(field->text(), QStringLiteral("/a/b/c.vcf"));
  QCOMPARE(field->cursorPosition(), 5);
}

void TestMainWindow::shouldAppendToTheLogAndFollowIt() {
  Harness h;
  h.window.myWindow()->resize(600, 480);
  QVERIFY(QTest::qWaitForWindowExposed(h.window.myWindow()));
  h.window.appendText(QStringLiteral("a"));
  h.window.appendText(QStringLiteral("b\n"));
  QCOMPARE(h.log(), QStringLiteral("ab\n"));

  // The caret may have been moved by the user; appends still go to the end.
  QTextCursor cursor = h.window.messageField()->textCursor();
  cursor.setPosition(0);
  h.window.messageField()->setTextCursor(cursor);
  QString expected = h.log();
  for (int i = 0; i < 200; ++i) {
    const QString line = QStringLiteral("%1 行目\n").arg(i);
    h.window.appendText(line);
    expected += line;
  }
  QCOMPARE(h.log(), expected);
  QVERIFY(h.window.messageField()->isReadOnly());
  QCoreApplication::processEvents();
  const QScrollBar* bar = h.window.messageField()->verticalScrollBar();
  QVERIFY(bar->maximum() > 0);
  QCOMPARE(bar->value(), bar->maximum());
}

void TestMainWindow::shouldAskBeforeQuitting_data() {
  addQuitQuestionRows();
}

void TestMainWindow::shouldAskBeforeQuitting() {
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

void TestMainWindow::shouldFillBothFieldsFromTheChooser_data() {
  QTest::addColumn<bool>("chosen");
  QTest::newRow("file chosen") << true;
  QTest::newRow("cancelled") << false;
}

void TestMainWindow::shouldFillBothFieldsFromTheChooser() {
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

void TestMainWindow::shouldOpenTheTwoPages() {
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

void TestMainWindow::shouldSetUpTheWindowWhenItLoads() {
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

void TestMainWindow::shouldTakeADropOnTheSourceField_data() {
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
void TestMainWindow::shouldTakeADropOnTheSourceField() {
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

void TestMainWindow::shouldFollowTheSourceInTheOutputField() {
  Harness h;
  QTest::keyClicks(h.window.textField(), QStringLiteral("/home/u/a.vcf"));
  QCOMPARE(h.window.outField()->text(), QStringLiteral("/home/u/") + kOutputName);
  h.window.textField()->clear();
  QTest::keyClicks(h.window.textField(), QStringLiteral("/media/card/b.vcf"));
  QCOMPARE(h.window.outField()->text(), QStringLiteral("/media/card/") + kOutputName);
  h.window.textField()->clear();
  QVERIFY(h.window.outField()->text().isEmpty());
}

void TestMainWindow::shouldNameTheSourceInTheLog() {
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

void TestMainWindow::shouldNotOverlapAtTheMinimumSize_data() {
  QTest::addColumn<bool>("minimum");
  QTest::newRow("minimum size") << true;
  QTest::newRow("large") << false;
}

void TestMainWindow::shouldNotOverlapAtTheMinimumSize() {
  QFETCH(bool, minimum);
  Harness h;
  QWidget* window = h.window.myWindow();
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
  QVERIFY(widgets.size() >= 12);
  for (qsizetype i = 0; i < widgets.size(); ++i) {
    QVERIFY2(window->rect().contains(widgets[i]->geometry()), qPrintable(widgets[i]->objectName()));
    QVERIFY2(widgets[i]->height() >= widgets[i]->minimumSizeHint().height() ||
                 widgets[i]->minimumSizeHint().height() <= 0,
             qPrintable(widgets[i]->objectName()));
    for (qsizetype j = i + 1; j < widgets.size(); ++j) {
      QVERIFY2(
          !widgets[i]->geometry().intersects(widgets[j]->geometry()),
          qPrintable(widgets[i]->objectName() + QStringLiteral(" / ") + widgets[j]->objectName()));
    }
  }
}

// The lower-left corner of the frame lands on the start window's, with the
// frame taken as large as the start window's while it is not yet drawn.
void TestMainWindow::shouldPlaceTheFrameAtTheStartWindowsCorner() {
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

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
