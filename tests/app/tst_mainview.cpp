#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QtTest>

#include "fakeservices.h"
#include "mainview.h"
#include "mainwindow.h"

namespace {

QMimeData* mimeFor(const QList<QUrl>& urls) {
  auto* data = new QMimeData;
  data->setUrls(urls);
  return data;
}

}  // namespace

class TestMainView : public QObject {
  Q_OBJECT

 private slots:
  void cleanup();

  void shouldTakeThePathExtension_data();
  void shouldTakeThePathExtension();
  void shouldDecideOnTheDroppedPaths_data();
  void shouldDecideOnTheDroppedPaths();
  void shouldAnswerEachStepOfADrag_data();
  void shouldAnswerEachStepOfADrag();
  void shouldJudgeEveryDragAfresh();
  void shouldReadOnlyLocalFilesFromTheDrag();
  void shouldFillBothFieldsOnDropAndStartNothing();
  void shouldIgnoreARefusedDrop();
};

void TestMainView::cleanup() {
  QVERIFY2(QApplication::topLevelWidgets().isEmpty(), "a top-level window leaked");
}

void TestMainView::shouldTakeThePathExtension_data() {
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("extension");
  QTest::newRow("plain") << "/a/cards.vcf"
                         << "vcf";
  QTest::newRow("upper case kept") << "/a/cards.VCF"
                                   << "VCF";
  QTest::newRow("last dot wins") << "/a/cards.vcf.txt"
                                 << "txt";
  QTest::newRow("no dot") << "/a/cards"
                          << "";
  QTest::newRow("dot only in a folder") << "/a.vcf/cards"
                                        << "";
  QTest::newRow("ends in a dot") << "/a/cards."
                                 << "";
  QTest::newRow("trailing slash ignored") << "/a/cards.vcf/"
                                          << "vcf";
  QTest::newRow("bare name") << "cards.vcf"
                             << "vcf";
  QTest::newRow("empty") << ""
                         << "";
}

void TestMainView::shouldTakeThePathExtension() {
  QFETCH(QString, path);
  QFETCH(QString, extension);
  QCOMPARE(pathExtension(path), extension);
}

void TestMainView::shouldDecideOnTheDroppedPaths_data() {
  QTest::addColumn<QStringList>("paths");
  QTest::addColumn<bool>("accepted");
  QTest::newRow("one .vcf") << QStringList{"/home/a/cards.vcf"} << true;
  QTest::newRow("one .VCF") << QStringList{"/home/a/cards.VCF"} << true;
  QTest::newRow("one .Vcf") << QStringList{"/home/a/cards.Vcf"} << true;
  QTest::newRow("Japanese name") << QStringList{"/home/a/連絡先.vcf"} << true;
  QTest::newRow("empty list") << QStringList{} << false;
  QTest::newRow("two vCard files") << QStringList{"/a/one.vcf", "/a/two.vcf"} << false;
  QTest::newRow("three files") << QStringList{"/a/one.vcf", "/a/x.txt", "/a/two.vcf"} << false;
  QTest::newRow("other extension") << QStringList{"/a/cards.txt"} << false;
  QTest::newRow("vcf then another") << QStringList{"/a/cards.vcf.bak"} << false;
  QTest::newRow("no extension") << QStringList{"/a/cards"} << false;
  QTest::newRow("near miss") << QStringList{"/a/cards.vcfx"} << false;
  QTest::newRow("not a local file") << QStringList{""} << false;
}

void TestMainView::shouldDecideOnTheDroppedPaths() {
  QFETCH(QStringList, paths);
  QFETCH(bool, accepted);
  QCOMPARE(acceptsDroppedPaths(paths), accepted);

  MainView view;
  QCOMPARE(view.draggingEntered(paths), accepted ? DragOperation::Generic : DragOperation::None);
  QCOMPARE(view.draggingUpdated(), accepted ? DragOperation::Copy : DragOperation::None);
  QCOMPARE(view.dropSign(), accepted);
}

void TestMainView::shouldAnswerEachStepOfADrag_data() {
  QTest::addColumn<bool>("dropped");
  QTest::newRow("dropped") << true;
  QTest::newRow("left without dropping") << false;
}

void TestMainView::shouldAnswerEachStepOfADrag() {
  QFETCH(bool, dropped);
  FakeShell shell;
  MainWindow window(shell.services());
  window.showWindow();
  MainView* view = window.mainView();
  QVERIFY(view != nullptr);
  QVERIFY(view->acceptDrops());

  QCOMPARE(view->draggingEntered({"/a/cards.vcf"}), DragOperation::Generic);
  QVERIFY(view->pbd().has_value());
  QCOMPARE(view->draggingUpdated(), DragOperation::Copy);
  if (dropped) {
    QVERIFY(view->prepareForDragOperation());
    QVERIFY(view->performDragOperation());
    view->concludeDragOperation();
  } else {
    view->draggingExited();
  }
  // Back to idle either way: nothing held, nothing acceptable.
  QVERIFY(!view->dropSign());
  QVERIFY(!view->pbd().has_value());
  QCOMPARE(view->draggingUpdated(), DragOperation::None);
  QCOMPARE(window.textField()->text(), dropped ? QStringLiteral("/a/cards.vcf") : QString());
  QCOMPARE(window.outField()->text(), dropped ? QStringLiteral("/a/PC→iPhone.vcf") : QString());
}

void TestMainView::shouldJudgeEveryDragAfresh() {
  MainView view;
  QCOMPARE(view.draggingEntered({"/a/cards.vcf"}), DragOperation::Generic);
  // A second drag enters without the first having left: two files are
  // refused and must not inherit the earlier acceptance.
  QCOMPARE(view.draggingEntered({"/a/one.vcf", "/a/two.vcf"}), DragOperation::None);
  QCOMPARE(view.draggingUpdated(), DragOperation::None);
  view.draggingExited();
  QCOMPARE(view.draggingEntered({"/a/again.VCF"}), DragOperation::Generic);
  QCOMPARE(view.draggingUpdated(), DragOperation::Copy);
}

void TestMainView::shouldReadOnlyLocalFilesFromTheDrag() {
  std::unique_ptr<QMimeData> none(new QMimeData);
  none->setText(QStringLiteral("/a/cards.vcf"));
  QVERIFY(pathsFromMimeData(none.get()).isEmpty());
  QVERIFY(pathsFromMimeData(nullptr).isEmpty());

  std::unique_ptr<QMimeData> mixed(
      mimeFor({QUrl::fromLocalFile(QStringLiteral("/a/カード.vcf")),
               QUrl(QStringLiteral("https://example.com/cards.vcf"))}));
  QCOMPARE(pathsFromMimeData(mixed.get()),
           (QStringList{QStringLiteral("/a/カード.vcf"), QString()}));

  std::unique_ptr<QMimeData> remote(mimeFor({QUrl(QStringLiteral("https://example.com/c.vcf"))}));
  QVERIFY(!acceptsDroppedPaths(pathsFromMimeData(remote.get())));
}

void TestMainView::shouldFillBothFieldsOnDropAndStartNothing() {
  FakeShell shell;
  MainWindow window(shell.services());
  window.showWindow();
  MainView* view = window.mainView();
  window.appendText(QStringLiteral("前の記録\n"));

  const QString dropped = QStringLiteral("/home/a/書類/cards.Vcf");
  std::unique_ptr<QMimeData> data(mimeFor({QUrl::fromLocalFile(dropped)}));
  const QPoint at = view->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, data.get(),
                        Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view, &enter);
  QVERIFY(enter.isAccepted());
  QCOMPARE(enter.dropAction(), Qt::CopyAction);
  QVERIFY(view->dropSign());

  QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                      Qt::NoModifier);
  QApplication::sendEvent(view, &move);
  QVERIFY(move.isAccepted());

  QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                  Qt::NoModifier);
  QApplication::sendEvent(view, &drop);
  QVERIFY(drop.isAccepted());

  QCOMPARE(window.textField()->text(), dropped);
  QCOMPARE(window.outField()->text(), QStringLiteral("/home/a/書類/PC→iPhone.vcf"));
  QCOMPARE(window.messageField()->toPlainText(), QStringLiteral("前の記録\n"));
  QVERIFY(shell.alerts.shown.isEmpty());
  QVERIFY(!view->dropSign());
  QVERIFY(!view->pbd().has_value());
}

void TestMainView::shouldIgnoreARefusedDrop() {
  FakeShell shell;
  MainWindow window(shell.services());
  window.showWindow();
  MainView* view = window.mainView();

  std::unique_ptr<QMimeData> data(mimeFor({QUrl::fromLocalFile(QStringLiteral("/a/one.vcf")),
                                           QUrl::fromLocalFile(QStringLiteral("/a/two.vcf"))}));
  const QPoint at = view->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view, &enter);
  QVERIFY(!enter.isAccepted());

  QDropEvent drop(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view, &drop);
  QVERIFY(!drop.isAccepted());
  QVERIFY(window.textField()->text().isEmpty());
  QVERIFY(window.outField()->text().isEmpty());
  QVERIFY(!view->pbd().has_value());
}

QTEST_MAIN(TestMainView)
#include "tst_mainview.moc"
