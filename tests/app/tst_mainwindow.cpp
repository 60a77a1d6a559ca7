#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QUrl>
#include <QtTest>

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "convert.h"
#include "fakeservices.h"
#include "mainview.h"
#include "mainwindow.h"
#include "pages.h"
#include "source_check.h"
#include "vcard_report.h"
#include "windowtest.h"

using namespace windowtest;

Q_DECLARE_METATYPE(vcard::ProgressStep)

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
  void shouldWriteForTheChosenTarget_data();
  void shouldWriteForTheChosenTarget();
  void shouldRefuseWhenTheOutputIsTheSource_data();
  void shouldRefuseWhenTheOutputIsTheSource();
  void shouldConvertARealFile();
  void shouldSurviveHostileFiles_data();
  void shouldSurviveHostileFiles();
  void shouldCutTheSourceAtACarriageReturn_data();
  void shouldCutTheSourceAtACarriageReturn();
  void shouldKeepTheCaretWhenNothingIsCut();
  void shouldConvertAPastedPathWithBlanksAtItsEnd();
  void shouldAppendToTheLogAndFollowIt();
  void shouldAppendTheReportAfterTheResult();
  void shouldOfferTheCarrierChoices();
  void shouldConvertPictogramsAsChosen_data();
  void shouldConvertPictogramsAsChosen();
  void shouldShowTheEnginesTextsInOrder_data();
  void shouldShowTheEnginesTextsInOrder();
  void shouldShowProgressOnlyAfterHalfASecond();
  void shouldShowTheSplitPartsInTheOutputField();
  void shouldKeepTheEarlierOutputWhenARunIsStopped();
  void shouldNameWhatTheRunIsDoing_data();
  void shouldNameWhatTheRunIsDoing();
  void shouldStopTheRunWhenAsked();
  void shouldShowTheRunFromItsHeading();
  void shouldStopTheRunBeforeQuitting_data();
  void shouldStopTheRunBeforeQuitting();
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

void TestMainWindow::shouldWriteForTheChosenTarget_data() {
  QTest::addColumn<int>("choice");
  QTest::addColumn<QString>("existing");  // a file already there
  QTest::addColumn<QString>("written");
  QTest::addColumn<bool>("asked");
  QTest::addColumn<QByteArray>("start");
  const QString iphone = QStringLiteral("PC→iPhone.vcf");
  const QString icloud = QStringLiteral("PC→iCloud.vcf");
  QTest::newRow("iPhone beside an iCloud file")
      << 0 << icloud << iphone << false << QByteArray("\xFF\xFE");
  QTest::newRow("iCloud beside an iPhone file")
      << 1 << iphone << icloud << false << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:");
  QTest::newRow("iCloud over its own file")
      << 1 << icloud << icloud << true << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:");
  // A run replaces the numbered files of an earlier split one, and removes
  // those it did not write: asked as well.
  const QString icloudFirstPart = QStringLiteral("PC→iCloud-1.vcf");
  QTest::newRow("iCloud beside an earlier split")
      << 1 << icloudFirstPart << icloud << true << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:");
  QTest::newRow("iCloud beside an earlier split's later part")
      << 1 << QStringLiteral("PC→iCloud-3.vcf") << icloud << true
      << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:");
  QTest::newRow("iPhone beside an earlier iCloud split")
      << 0 << icloudFirstPart << iphone << false << QByteArray("\xFF\xFE");
}

void TestMainWindow::shouldWriteForTheChosenTarget() {
  QFETCH(int, choice);
  QFETCH(QString, existing);
  QFETCH(QString, written);
  QFETCH(bool, asked);
  QFETCH(QByteArray, start);

  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = root.filePath(QStringLiteral("cards.vcf"));
  QVERIFY(writeFile(source, kUtf8Card));
  QVERIFY(writeFile(root.filePath(existing), "old"));

  Harness h;
  auto* target = h.window.outField()->window()->findChild<QComboBox*>("targetChoice");
  QVERIFY(target != nullptr);
  QCOMPARE(target->count(), 2);
  QCOMPARE(target->itemText(0), QStringLiteral("iPhone で開く"));
  QCOMPARE(target->itemText(1), QStringLiteral("iCloud.com に読み込む"));
  QCOMPARE(target->currentIndex(), 0);
  h.window.textField()->setText(source);
  target->setCurrentIndex(choice);
  QCOMPARE(h.window.outField()->text(), root.filePath(written));
  h.shell.alerts.answers = {AlertAnswer::Default};
  h.window.pushStart();
  QVERIFY(h.waitForRun());

  QCOMPARE(h.shell.alerts.questions().size(), asked ? 1 : 0);
  // An earlier split's part this run did not write is removed, and told.
  const bool removed = asked && existing != written;
  const QString removal =
      QStringLiteral(
          "【変換レポート】\n"
          "前回の変換で書き出した次のファイルは、今回の出力ではないため削除しました：\n  ") +
      existing + QStringLiteral("\n\n");
  QCOMPARE(h.log(), MainWindow::runHeading(source) + kConverting + kOneCardLog +
                        (removed ? removal : QString()));
  QVERIFY(readFile(root.filePath(written)).startsWith(start));
  // An iPhone run leaves iCloud.com's files alone.
  if (existing != written) QCOMPARE(QFile::exists(root.filePath(existing)), !removed);
  if (existing != written && !removed)
    QCOMPARE(readFile(root.filePath(existing)), QByteArray("old"));
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
  QVERIFY(h.waitForRun());

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

  // A file without a card is told so, whatever its bytes were read as.
  const QString noCardReport = QStringLiteral(
      "【変換レポート】vCard のカードが見つかりません（BEGIN:VCARD の行がありません）。"
      "変換元ファイルが vCard ファイルか確かめてください。\n\n");
  QTest::newRow("zero bytes") << QByteArray() << QStringList{} << kNoCardLog + noCardReport;
  // FE FF: a UTF-16 big-endian mark, read like little-endian; "BE" is no card.
  QTest::newRow("UTF-16BE mark") << QByteArray("\xFE\xFF\x00\x42\x00\x45", 6) << QStringList{}
                                 << kNoCardLog + noCardReport;
  QByteArray noise;
  for (int i = 0; i < 4096; ++i)
    noise.append(static_cast<char>((i * 131 + 7) & 0xFF));
  QTest::newRow("binary noise") << noise << QStringList{} << QString();
  QTest::newRow("card without its end")
      << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN:a;b\r\n") << QStringList{}
      << kNoCardLog + QStringLiteral(
                          "【変換レポート】途中で切れたカード 1件（入力データに数えていません）\n"
                          "途中で切れたカード：\n"
                          "  1件目「a b」　カードの途中でファイルが終わっています\n\n");
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
  QTest::newRow("line feed inside untouched") << "/a\n/b.vcf"
                                              << "/a\n/b.vcf";
  QTest::newRow("line feed at the end") << "/a/b.vcf\n"
                                        << "/a/b.vcf";
  QTest::newRow("line feeds at the end") << "/a/b.vcf\n\n"
                                         << "/a/b.vcf";
  // A blank may be the next character of a folder's name being typed.
  QTest::newRow("blank at the end kept while typing") << "/a/my "
                                                      << "/a/my ";
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

// A path copied from a text or a terminal brings a line break or blanks at
// its end; the start converts the file all the same.
void TestMainWindow::shouldConvertAPastedPathWithBlanksAtItsEnd() {
  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = root.filePath(QStringLiteral("cards.vcf"));
  QVERIFY(writeFile(source, kUtf8Card));
  for (const QString& tail : {QStringLiteral("\n"), QStringLiteral(" \n"), QStringLiteral("\t "),
                              QStringLiteral("\u3000\r\n")}) {
    Harness h;
    h.shell.alerts.answers = {AlertAnswer::Default};
    h.window.textField()->insert(source + tail);
    h.window.pushStart();
    QVERIFY(h.waitForRun());
    QVERIFY2(h.shell.alerts.informations().isEmpty(),
             qPrintable(h.shell.alerts.informations().join(QLatin1Char('|'))));
    QCOMPARE(h.log(), MainWindow::runHeading(source) + kConverting + kOneCardLog);
    QVERIFY(QFile::exists(root.filePath(kOutputName)));
    QVERIFY(QFile::remove(root.filePath(kOutputName)));
  }
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

// What was not carried over follows the result text: a summary line, the
// cards left out with their place and name, then the file's facts. A run
// that lost nothing adds nothing.
void TestMainWindow::shouldAppendTheReportAfterTheResult() {
  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString lossy = root.filePath(QStringLiteral("lossy.vcf"));
  QVERIFY(writeFile(lossy, kUtf8Card +
                               "BEGIN:VCARD\r\nVERSION:5.0\r\nN:\xE4\xBD\x90\xE8\x97\xA4;"
                               "\xE8\x8A\xB1\xE5\xAD\x90\r\nEND:VCARD\r\n"
                               "BEGIN:VCARD\r\nVERSION:3.0\r\nN:a;b\r\nX-GN:x\r\nEND:VCARD\r\n"));
  const QString good = root.filePath(QStringLiteral("good/cards.vcf"));
  QVERIFY(QDir(root.path()).mkpath(QStringLiteral("good")));
  QVERIFY(writeFile(good, kUtf8Card));

  Harness h;
  h.start(lossy);
  const QString expected =
      MainWindow::runHeading(lossy) + kConverting +
      QStringLiteral(
          "変換が完了しました。\n入力データ：3件、　出力データ：2件\n\n"
          "【変換レポート】書き出さなかったカード 1件／iPhone が取り込まない項目 1件\n"
          "書き出さなかったカード：\n"
          "  2件目「佐藤 花子」　対応していないバージョンです（VERSION:5.0）\n"
          "ファイル全体：\n"
          "  iPhone "
          "が取り込まない項目（書き出していません）：グループ名（X-GN）1件\n\n");
  QCOMPARE(h.log(), expected);

  h.start(good);
  QCOMPARE(h.log(), expected + MainWindow::runHeading(good) + kConverting + kOneCardLog);
}

void TestMainWindow::shouldOfferTheCarrierChoices() {
  Harness h;
  QComboBox* choice = h.window.carrierChoice();
  QVERIFY(choice != nullptr);
  QStringList items;
  for (int i = 0; i < choice->count(); ++i)
    items << choice->itemText(i);
  QCOMPARE(items,
           QStringList({QStringLiteral("自動"), QStringLiteral("ドコモ"), QStringLiteral("au"),
                        QStringLiteral("ソフトバンク"), QStringLiteral("変換しない")}));
  QCOMPARE(choice->currentIndex(), 0);
}

// A phone export whose pictogram F941 is docomo's waxing moon or SoftBank's
// boy; only the choice tells which.
void TestMainWindow::shouldConvertPictogramsAsChosen_data() {
  QTest::addColumn<QString>("choice");
  QTest::addColumn<QString>("nameLine");
  QTest::addColumn<QString>("reportLine");
  QTest::newRow("automatic") << QStringLiteral("自動") << QStringLiteral("N:山\uE69D;\r\n")
                             << QStringLiteral("（どの携帯会社の絵文字か判別できないため）");
  QTest::newRow("docomo") << QStringLiteral("ドコモ") << QStringLiteral("N:山\U0001F314;\r\n")
                          << QStringLiteral("ドコモの絵文字として変換（指定による）");
  QTest::newRow("softbank") << QStringLiteral("ソフトバンク")
                            << QStringLiteral("N:山\U0001F466;\r\n")
                            << QStringLiteral("ソフトバンクの絵文字として変換（指定による）");
  QTest::newRow("none") << QStringLiteral("変換しない") << QStringLiteral("N:山\uE69D;\r\n")
                        << QStringLiteral("変換していません（指定による）");
}

void TestMainWindow::shouldConvertPictogramsAsChosen() {
  QFETCH(QString, choice);
  QFETCH(QString, nameLine);
  QFETCH(QString, reportLine);
  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = root.filePath(QStringLiteral("phone.vcf"));
  QVERIFY(writeFile(source, QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\n"
                                       "N;CHARSET=SHIFT_JIS:\x8E\x52\xF9\x41;\r\n"
                                       "SOUND;X-IRMC-N;CHARSET=SHIFT_JIS:\xD4\xCF;\r\n"
                                       "END:VCARD\r\n")));

  Harness h;
  QComboBox* box = h.window.carrierChoice();
  QVERIFY(box != nullptr);
  box->setCurrentIndex(box->findText(choice));
  QCOMPARE(box->currentText(), choice);
  h.start(source);

  QVERIFY(h.shell.alerts.shown.isEmpty());
  const QByteArray bytes = readFile(root.filePath(kOutputName));
  QVERIFY(bytes.startsWith("\xFF\xFE"));
  const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                          (bytes.size() - 2) / 2);
  QVERIFY2(text.contains(nameLine), qPrintable(text));
  QVERIFY2(h.log().contains(reportLine), qPrintable(h.log()));
}

void TestMainWindow::shouldShowTheEnginesTextsInOrder_data() {
  QTest::addColumn<QByteArray>("content");  // empty: a folder named like a vCard file
  QTest::newRow("one card") << kUtf8Card;
  QTest::newRow("a card left out")
      << kUtf8Card + "BEGIN:VCARD\r\nVERSION:5.0\r\nN:a;b\r\nEND:VCARD\r\n";
  QTest::newRow("unreadable: an alert") << QByteArray();
}

// The run off the main thread shows what the engine called directly
// returns: the alert before anything else, then the log text, then the
// report, and writes the same file.
void TestMainWindow::shouldShowTheEnginesTextsInOrder() {
  QFETCH(QByteArray, content);
  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = root.filePath(QStringLiteral("cards.vcf"));
  const QString output = root.filePath(kOutputName);
  QVERIFY(content.isEmpty() ? QDir(root.path()).mkdir(QStringLiteral("cards.vcf"))
                            : writeFile(source, content));

  vcard::ConversionReport report;
  const std::array<std::string, 2> direct =
      vCardConvert(source.toUtf8().constData(), output.toUtf8().constData(), {}, &report);
  const QByteArray directOutput = readFile(output);
  QFile::remove(output);

  Harness h;
  QStringList logWhileAlerted;
  h.shell.alerts.whileShown = [&] { logWhileAlerted.append(h.log()); };
  h.start(source);

  const QString heading = MainWindow::runHeading(source) + kConverting;
  const QStringList alerts =
      direct[0].empty() ? QStringList{} : QStringList{QString::fromStdString(direct[0])};
  QCOMPARE(h.shell.alerts.informations(), alerts);
  QCOMPARE(logWhileAlerted, QStringList(alerts.size(), heading));
  QCOMPARE(h.log(), heading + QString::fromStdString(direct[1]) +
                        QString::fromStdString(vcard::reportText(report)));
  QCOMPARE(readFile(output), directOutput);
}

// Cards split into numbered files are not in the file the field named: it
// shows the parts written, and the next start derives the name again.
void TestMainWindow::shouldShowTheSplitPartsInTheOutputField() {
  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = root.filePath(QStringLiteral("cards.vcf"));
  QVERIFY(writeFile(source, kUtf8Card));
  SlowConverter converter;
  converter.cards = 1;
  const std::string first = root.filePath(QStringLiteral("PC→iCloud-1.vcf")).toStdString();
  const std::string last = root.filePath(QStringLiteral("PC→iCloud-3.vcf")).toStdString();
  converter.outcome.report.icloud.parts = {{first, 50000}, {"-2", 50000}, {last, 10}};
  Harness h(&converter);
  h.start(source);
  QCOMPARE(h.window.outField()->text(), root.filePath(QStringLiteral("PC→iCloud-1.vcf")) +
                                            QStringLiteral(" 〜 PC→iCloud-3.vcf"));
  converter.outcome.report.icloud.parts.clear();
  h.start(source);
  QCOMPARE(h.window.outField()->text(), root.filePath(QStringLiteral("PC→iPhone.vcf")));
}

// The engine's own run over an earlier output, stopped after 上書き OK: the
// earlier output stays byte for byte, nothing of the run is left, and the
// log says so.
void TestMainWindow::shouldKeepTheEarlierOutputWhenARunIsStopped() {
  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = root.filePath(QStringLiteral("cards.vcf"));
  QByteArray cards;
  for (int i = 0; i < 20000; ++i)
    cards +=
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Card" + QByteArray::number(i) + ";;;;\r\nEND:VCARD\r\n";
  QVERIFY(writeFile(source, cards));
  const QString output = root.filePath(kOutputName);
  QVERIFY(writeFile(output, "earlier"));
  Harness h;
  h.shell.alerts.answers = {AlertAnswer::Default};
  h.begin(source);
  // Asked at once, the stop is seen at the engine's first look or, at the
  // latest, at its last, before anything is put in place.
  h.window.pushStop();
  QVERIFY(h.waitForRun());
  QCOMPARE(h.log(), MainWindow::runHeading(source) + kConverting +
                        QString::fromUtf8(vcard::kStoppedKeptLog));
  QCOMPARE(readFile(output), QByteArray("earlier"));
  QStringList left = QDir(root.path()).entryList(QDir::Files | QDir::Hidden);
  left.sort();
  QCOMPARE(left, QStringList({QStringLiteral("PC→iPhone.vcf"), QStringLiteral("cards.vcf")}));
}

void TestMainWindow::shouldShowProgressOnlyAfterHalfASecond() {
  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = root.filePath(QStringLiteral("cards.vcf"));
  QVERIFY(writeFile(source, kUtf8Card));
  SlowConverter converter;  // 20 cards of 40 ms
  Harness h(&converter);
  QProgressBar* bar = h.window.progressBar();
  auto* start = h.window.myWindow()->findChild<QPushButton*>(QStringLiteral("startButton"));
  QVERIFY(bar != nullptr && start != nullptr);

  // The event loop runs during the run: a timer set at its start fires.
  bool timerFired = false;
  bool firedDuringRun = false;
  QTimer::singleShot(100, [&] {
    timerFired = true;
    firedDuringRun = h.window.isConverting();
  });
  QElapsedTimer clock;
  clock.start();
  h.begin(source);
  QVERIFY(h.window.isConverting());
  QVERIFY(!start->isEnabled());
  QVERIFY(!h.window.textField()->isEnabled());
  QVERIFY(bar->isHidden());
  QVERIFY(h.window.stopButton()->isHidden());
  // A second start is refused while the first runs, and so is a drop that
  // would change the source under it.
  h.window.pushStart();
  QMimeData dropped;
  dropped.setUrls({QUrl::fromLocalFile(root.filePath(QStringLiteral("other.vcf")))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(h.window.textField(), &enter);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(h.window.textField(), &drop);
  QCOMPARE(h.window.textField()->text(), source);
  QTRY_VERIFY(timerFired);
  QVERIFY(firedDuringRun);

  QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible(), 2000);
  QVERIFY2(clock.elapsed() >= 500, qPrintable(QString::number(clock.elapsed())));
  QVERIFY(h.window.isConverting());
  QVERIFY(h.window.stopButton()->isVisible() && h.window.stopButton()->isEnabled());
  QTRY_VERIFY(bar->value() > 0);
  QVERIFY(bar->value() < bar->maximum());
  QVERIFY2(bar->text().contains(QStringLiteral("件目を変換中…")), qPrintable(bar->text()));

  QVERIFY(h.waitForRun());
  QCOMPARE(converter.calls.load(), 1);
  QVERIFY(!converter.stopped);
  QCOMPARE(h.log(), MainWindow::runHeading(source) + kConverting +
                        QStringLiteral("変換が完了しました。\n\n"));
  QVERIFY(h.shell.alerts.shown.isEmpty());
  QVERIFY(bar->isHidden());
  QVERIFY(h.window.stopButton()->isHidden());
  QVERIFY(start->isEnabled());
  QVERIFY(h.window.textField()->isEnabled());
}

void TestMainWindow::shouldNameWhatTheRunIsDoing_data() {
  QTest::addColumn<bool>("told");
  QTest::addColumn<vcard::ProgressStep>("step");
  QTest::addColumn<quint64>("card");
  QTest::addColumn<QString>("text");
  using vcard::ProgressStep;
  QTest::newRow("nothing told yet")
      << false << ProgressStep::Reading << quint64{0} << QStringLiteral("読み込み中…");
  QTest::newRow("reading") << true << ProgressStep::Reading << quint64{0}
                           << QStringLiteral("読み込み中…");
  QTest::newRow("first card") << true << ProgressStep::Converting << quint64{1}
                              << QStringLiteral("1件目を変換中…");
  QTest::newRow("many cards") << true << ProgressStep::Converting << quint64{123456}
                              << QStringLiteral("123,456件目を変換中…");
  QTest::newRow("a thousand") << true << ProgressStep::Converting << quint64{1000}
                              << QStringLiteral("1,000件目を変換中…");
  QTest::newRow("below a thousand")
      << true << ProgressStep::Converting << quint64{999} << QStringLiteral("999件目を変換中…");
  QTest::newRow("photos") << true << ProgressStep::ScalingPhotos << quint64{7}
                          << QStringLiteral("写真を縮小中…");
}

void TestMainWindow::shouldNameWhatTheRunIsDoing() {
  QFETCH(bool, told);
  QFETCH(vcard::ProgressStep, step);
  QFETCH(quint64, card);
  QFETCH(QString, text);
  vcard::Progress progress;
  progress.step = step;
  progress.currentCard = card;
  QCOMPARE(MainWindow::progressText(told ? &progress : nullptr), text);
}

void TestMainWindow::shouldStopTheRunWhenAsked() {
  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = root.filePath(QStringLiteral("cards.vcf"));
  QVERIFY(writeFile(source, kUtf8Card));
  SlowConverter converter;
  converter.cards = 1000;  // 40 s unless stopped
  // What the engine had collected when it stopped: photos scaled for a
  // file that is no longer there.
  converter.outcome.report.loaded = true;
  converter.outcome.report.target = vcard::Target::ICloud;
  converter.outcome.report.icloud.photosScaled = {{3, "山田 太郎", 400'000, 200'000, "JPEG"}};
  converter.outcome.report.icloud.parts = {{root.filePath("PC→iCloud-1.vcf").toStdString(), 5}};
  Harness h(&converter);
  // As small as the window may be made: 中止 is brought into view.
  h.window.myWindow()->resize(h.window.myWindow()->minimumSize());
  h.begin(source);
  QTRY_VERIFY_WITH_TIMEOUT(h.window.stopButton()->isVisible(), 2000);
  QCoreApplication::processEvents();
  auto* area = h.window.myWindow()->findChild<QScrollArea*>(QStringLiteral("contentArea"));
  QVERIFY(area != nullptr);
  QPushButton* stop = h.window.stopButton();
  QVERIFY(area->viewport()->rect().contains(
      QRect(stop->mapTo(area->viewport(), QPoint(0, 0)), stop->size())));
  QVERIFY(converter.wrote);
  QVERIFY(QFile::exists(root.filePath(kOutputName)));

  QTest::mouseClick(h.window.stopButton(), Qt::LeftButton);
  QVERIFY(h.waitForRun(2000));
  QVERIFY(converter.stopped);
  QVERIFY(!QFile::exists(root.filePath(kOutputName)));
  QVERIFY(h.shell.alerts.shown.isEmpty());
  QCOMPARE(h.log(),
           MainWindow::runHeading(source) + kConverting +
               QStringLiteral("変換を中止しました。書き出し途中の出力ファイルは削除しました。"
                              "\n\n"));
  QVERIFY(h.window.progressBar()->isHidden());
  QVERIFY(h.window.stopButton()->isHidden());
  // The output field names no split files that were never kept.
  QVERIFY(!h.window.outField()->text().contains(QStringLiteral("〜")));
  // The stop text is in view.
  const QPlainTextEdit* log = h.window.messageField();
  const QTextBlock stopLine = log->document()->findBlockByNumber(2);
  QVERIFY(stopLine.text().startsWith(QStringLiteral("変換を中止しました")));
  QVERIFY(log->viewport()->rect().contains(log->cursorRect(QTextCursor(stopLine))));
}

// After a run the log shows the run from its heading, with the result
// under it, however long the report below is; a later run's heading comes
// to the top in the same way.
void TestMainWindow::shouldShowTheRunFromItsHeading() {
  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = root.filePath(QStringLiteral("cards.vcf"));
  QVERIFY(writeFile(source, kUtf8Card));
  SlowConverter converter;
  converter.cards = 1;
  converter.perCard = std::chrono::milliseconds(1);
  converter.outcome.log = "変換が完了しました。\n入力データ：300件、　出力データ：300件\n\n";
  vcard::ConversionReport& report = converter.outcome.report;
  report.loaded = true;
  report.target = vcard::Target::ICloud;
  for (std::uint64_t card = 1; card <= 100; ++card)
    report.icloud.photosScaled.push_back({card, "名前", 400'000, 200'000, "JPEG"});
  Harness h(&converter);
  h.shell.alerts.answers = {AlertAnswer::Default};  // the second run replaces the first's output
  QVERIFY(QTest::qWaitForWindowExposed(h.window.myWindow()));
  const QPlainTextEdit* log = h.window.messageField();
  // As large as the window opens, then as small as it may be made.
  for (int run = 0; run < 2; ++run) {
    h.window.myWindow()->resize(run == 0 ? QSize(720, 600) : h.window.myWindow()->minimumSize());
    QCoreApplication::processEvents();
    const int headingLine = log->document()->blockCount() - 1;
    h.start(source);
    QCoreApplication::processEvents();
    const QTextBlock heading = log->document()->findBlockByNumber(headingLine);
    QCOMPARE(heading.text() + QLatin1Char('\n'), MainWindow::runHeading(source));
    const QTextBlock result = heading.next().next();
    QCOMPARE(result.text(), QStringLiteral("変換が完了しました。"));
    QVERIFY2(log->verticalScrollBar()->value() < log->verticalScrollBar()->maximum(),
             "the log is at its end");
    const QRect view = log->viewport()->rect();
    for (const QTextBlock& line : {heading, result, result.next()}) {
      const QRect at = log->cursorRect(QTextCursor(line));
      QVERIFY2(view.contains(at), qPrintable(QStringLiteral("run %1: 「%2」 at %3,%4 not in view")
                                                 .arg(run)
                                                 .arg(line.text())
                                                 .arg(at.top())
                                                 .arg(at.bottom())));
    }
    // In a window too small for its content, the log is scrolled into view.
    QWidget* window = h.window.myWindow();
    auto* area = window->findChild<QScrollArea*>(QStringLiteral("contentArea"));
    QVERIFY(area != nullptr);
    const QRect headingInArea(
        log->viewport()->mapTo(area->viewport(), log->cursorRect(QTextCursor(heading)).topLeft()),
        log->cursorRect(QTextCursor(heading)).size());
    QVERIFY2(
        area->viewport()->rect().contains(headingInArea),
        qPrintable(QStringLiteral("run %1: the heading is scrolled out of the window").arg(run)));
    // The heading is the first line in view: the run's lines fill the log.
    QVERIFY(!view.contains(log->cursorRect(QTextCursor(heading.previous()))) || headingLine == 0);
  }
}

void TestMainWindow::shouldStopTheRunBeforeQuitting_data() {
  QTest::addColumn<AlertAnswer>("answer");
  QTest::addColumn<bool>("endsWhileAsked");
  QTest::newRow("OK: stopped, then ended") << AlertAnswer::Default << false;
  QTest::newRow("キャンセル: the run goes on") << AlertAnswer::Alternate << false;
  QTest::newRow("キャンセル after the run ended") << AlertAnswer::Alternate << true;
}

// A close request during a run asks as always. OK stops the run and waits
// for it before the application ends, so no half-written output is left;
// キャンセル lets the run go on, and a run that ended while the question was
// up shows its result after it.
void TestMainWindow::shouldStopTheRunBeforeQuitting() {
  QFETCH(AlertAnswer, answer);
  QFETCH(bool, endsWhileAsked);
  QTemporaryDir root;
  QVERIFY(root.isValid());
  const QString source = root.filePath(QStringLiteral("cards.vcf"));
  QVERIFY(writeFile(source, kUtf8Card));
  SlowConverter converter;
  converter.cards = endsWhileAsked ? 5 : 1000;
  Harness h(&converter);
  h.shell.alerts.answers = {answer};
  QString logWhileAsked;
  h.shell.alerts.whileShown = [&] {
    if (endsWhileAsked) QVERIFY(QTest::qWaitFor([&] { return converter.done.load(); }, 5000));
    QTest::qWait(50);
    logWhileAsked = h.log();
  };
  h.begin(source);
  QTRY_VERIFY(converter.wrote);

  QVERIFY(!h.window.myWindow()->close());
  // The question says that a conversion is running and that quitting stops
  // it.
  QCOMPARE(h.shell.alerts.questions(), QStringList{MainWindow::kQuitWhileConvertingQuestion});
  QCOMPARE(MainWindow::kQuitWhileConvertingQuestion,
           QStringLiteral("変換中です。変換を中止して終了します。よろしいですか？"));
  const QString heading = MainWindow::runHeading(source) + kConverting;
  QCOMPARE(logWhileAsked, heading);
  if (answer == AlertAnswer::Default) {
    QCOMPARE(h.shell.terminator.calls, 1);
    QVERIFY(converter.stopped);
    QVERIFY(converter.done);
    QVERIFY(!QFile::exists(root.filePath(kOutputName)));
    return;
  }
  QCOMPARE(h.shell.terminator.calls, 0);
  QCOMPARE(h.window.isConverting(), !endsWhileAsked);
  converter.cards = 0;  // the run ends at its next card
  QVERIFY(h.waitForRun(60'000));
  QVERIFY(!converter.stopped);
  QCOMPARE(h.log(), heading + QString::fromStdString(converter.outcome.log));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
