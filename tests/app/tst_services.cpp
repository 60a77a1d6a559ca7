#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

#include "pages.h"
#include "services.h"
#include "translations.h"

namespace {

// Runs `inspect` on the modal message box as soon as it is up, while the
// test waits in its modal loop.
class ModalWatcher {
 public:
  explicit ModalWatcher(std::function<void(QMessageBox*)> inspect) {
    QObject::connect(&m_timer, &QTimer::timeout, [this, inspect] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        m_timer.stop();
        inspect(box);
      }
    });
    m_timer.start(10);
  }

 private:
  QTimer m_timer;
};

QStringList buttonTexts(const QMessageBox* box) {
  QStringList texts;
  for (const QAbstractButton* b : box->buttons())
    texts.append(b->text());
  texts.sort();
  return texts;
}

QAbstractButton* buttonNamed(const QMessageBox* box, const QString& text) {
  for (QAbstractButton* b : box->buttons()) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

}  // namespace

class TestServices : public QObject {
  Q_OBJECT

 private slots:
  void cleanup();

  void shouldShowAnInformationWithItsTextAsMessage_data();
  void shouldShowAnInformationWithItsTextAsMessage();
  void shouldKeepShortLinesWholeAndTheTitleUncut_data();
  void shouldKeepShortLinesWholeAndTheTitleUncut();
  void shouldAnswerAQuestionByTheButtonPressed_data();
  void shouldAnswerAQuestionByTheButtonPressed();
  void shouldFilterTheExtensionInAnyCase();
  void shouldSpeakJapaneseInTheToolkitsOwnTexts();
  void shouldNameTheChoosersTypesInJapanese();
  void shouldFindBothPages();
};

void TestServices::cleanup() {
  QVERIFY2(QApplication::topLevelWidgets().isEmpty(), "a top-level window leaked");
}

void TestServices::shouldShowAnInformationWithItsTextAsMessage_data() {
  QTest::addColumn<QString>("text");
  QTest::newRow("engine alert with a line feed") << QStringLiteral(
      "変換元ファイルが読み込めません。\n他で使用中もしくは破損している可能性があります。");
  QTest::newRow("percent signs and markup kept") << QStringLiteral("100% <b>完了</b> & %@ %d");
}

void TestServices::shouldShowAnInformationWithItsTextAsMessage() {
  QFETCH(QString, text);
  QString message = QStringLiteral("unset");
  QString informative = QStringLiteral("unset");
  Qt::TextFormat format = Qt::AutoText;
  QStringList buttons;
  bool hasIcon = false;
  ModalWatcher watcher([&](QMessageBox* box) {
    message = box->text();
    informative = box->informativeText();
    format = box->textFormat();
    buttons = buttonTexts(box);
    hasIcon = !box->iconPixmap().isNull();
    buttonNamed(box, QStringLiteral("OK"))->click();
  });
  MessageBoxAlerts alerts;
  alerts.showInformation(nullptr, text);

  QCOMPARE(message, text);
  QCOMPARE(informative, QString());
  QCOMPARE(format, Qt::PlainText);
  QCOMPARE(buttons, QStringList{QStringLiteral("OK")});
  QVERIFY(hasIcon);
}

void TestServices::shouldKeepShortLinesWholeAndTheTitleUncut_data() {
  QTest::addColumn<int>("kind");
  QTest::addColumn<QString>("text");
  QTest::newRow("short") << int(AlertKind::Information)
                         << QStringLiteral("変換元ファイルがありません。");
  QTest::newRow("two lines") << int(AlertKind::Information)
                             << QStringLiteral(
                                    "変換元ファイルが読み込めません。\n"
                                    "他で使用中もしくは破損している可能性があります。");
  QTest::newRow("question") << int(AlertKind::Question)
                            << QStringLiteral("終了します。よろしいですか？");
}

void TestServices::shouldKeepShortLinesWholeAndTheTitleUncut() {
  QFETCH(int, kind);
  QFETCH(QString, text);
  QCoreApplication::setApplicationName(QStringLiteral("PC→iPhone vCard 変換"));
  const std::unique_ptr<QMessageBox> box =
      makeAlertBox(nullptr, static_cast<AlertKind>(kind), text);
  box->show();
  QVERIFY(QTest::qWaitForWindowExposed(box.get()));
  auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  QVERIFY(label != nullptr);
  // Every line fits on one line of the label: no line is broken inside.
  const QFontMetrics metrics(label->font());
  for (const QString& line : text.split(QLatin1Char('\n'))) {
    QVERIFY2(metrics.horizontalAdvance(line) <= label->contentsRect().width(), qPrintable(line));
  }
  QCOMPARE(label->height() >= metrics.height() * int(text.count(QLatin1Char('\n')) + 1), true);
  QVERIFY(!label->wordWrap());
  // The box is wider than its title, so the frame does not cut it.
  QVERIFY(box->width() > QFontMetrics(box->font()).horizontalAdvance(box->windowTitle()));
  QVERIFY(!box->iconPixmap().isNull());
  box->hide();
}

void TestServices::shouldAnswerAQuestionByTheButtonPressed_data() {
  QTest::addColumn<QString>("pressed");
  QTest::addColumn<AlertAnswer>("answer");
  QTest::newRow("OK") << QStringLiteral("OK") << AlertAnswer::Default;
  QTest::newRow("キャンセル") << QStringLiteral("キャンセル") << AlertAnswer::Alternate;
}

void TestServices::shouldAnswerAQuestionByTheButtonPressed() {
  QFETCH(QString, pressed);
  QFETCH(AlertAnswer, answer);
  const QString question =
      QStringLiteral("添付用ファイルが既に存在します。\n上書きで保存しますか？");
  QString message;
  QString informative = QStringLiteral("unset");
  QStringList buttons;
  QString defaultButton;
  ModalWatcher watcher([&](QMessageBox* box) {
    message = box->text();
    informative = box->informativeText();
    buttons = buttonTexts(box);
    defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
    buttonNamed(box, pressed)->click();
  });
  MessageBoxAlerts alerts;
  QCOMPARE(alerts.askQuestion(nullptr, question), answer);

  QCOMPARE(message, question);
  QCOMPARE(informative, QString());
  QCOMPARE(buttons, (QStringList{QStringLiteral("OK"), QStringLiteral("キャンセル")}));
  QCOMPARE(defaultButton, QStringLiteral("OK"));
}

// The chooser's own model, judged by what it lists: one filter entry, and
// every letter case of the extension.
void TestServices::shouldFilterTheExtensionInAnyCase() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  for (const char* name : {"lower.vcf", "upper.VCF", "mixed.vCf", "other.txt", "longer.vcf.txt"}) {
    QFile file(dir.filePath(QString::fromLatin1(name)));
    QVERIFY(file.open(QIODevice::WriteOnly));
  }
  const std::unique_ptr<QFileDialog> dialog =
      makeFileDialog(nullptr, dir.path(), {QStringLiteral("vcf")});
  QCOMPARE(dialog->windowTitle(), QStringLiteral("変換元の vCard ファイルを選択"));
  QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("vCard ファイル (*.vcf)")});
  auto* model = dialog->findChild<QFileSystemModel*>();
  QVERIFY(model != nullptr);
  dialog->show();
  // The model fills in the background, one folder after another (the root and
  // its parents may come first): wait for the listing itself, not a signal.
  const auto enabledNames = [&] {
    const QModelIndex root = model->index(dir.path());
    QStringList listed;
    for (int row = 0; row < model->rowCount(root); ++row) {
      const QModelIndex index = model->index(row, 0, root);
      if (model->flags(index) & Qt::ItemIsEnabled) listed.append(model->fileName(index));
    }
    listed.sort();
    return listed;
  };
  QTRY_COMPARE_WITH_TIMEOUT(enabledNames(),
                            (QStringList{QStringLiteral("lower.vcf"), QStringLiteral("mixed.vCf"),
                                         QStringLiteral("upper.VCF")}),
                            20000);
  dialog->hide();
}

void TestServices::shouldSpeakJapaneseInTheToolkitsOwnTexts() {
  QVERIFY2(installJapaneseTranslations(*QCoreApplication::instance()),
           "Qt's Japanese translations are not installed");
  QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Open);
  QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
  QCOMPARE(buttons.button(QDialogButtonBox::Open)->text(), QStringLiteral("開く"));
}

// The type column of the chooser's list, as its model gives it, with Qt's
// Japanese catalogue installed as the program installs it.
void TestServices::shouldNameTheChoosersTypesInJapanese() {
  QVERIFY(installJapaneseTranslations(*QCoreApplication::instance()));
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("連絡先")));
  QFile file(dir.filePath(QStringLiteral("cards.vcf")));
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.close();
  const std::unique_ptr<QFileDialog> dialog =
      makeFileDialog(nullptr, dir.path(), {QStringLiteral("vcf")});
  auto* model = dialog->findChild<QFileSystemModel*>();
  QVERIFY(model != nullptr);
  dialog->show();
  const auto typeOf = [&](const QString& name) {
    return model->type(model->index(dir.filePath(name)));
  };
  QTRY_COMPARE_WITH_TIMEOUT(typeOf(QStringLiteral("連絡先")), QStringLiteral("フォルダー"), 20000);
  QTRY_COMPARE_WITH_TIMEOUT(typeOf(QStringLiteral("cards.vcf")), QStringLiteral("vcf ファイル"),
                            20000);
  dialog->hide();
}

void TestServices::shouldFindBothPages() {
  for (const WebPage page : {WebPage::Home, WebPage::Terms}) {
    const QUrl url = pageUrl(page);
    QVERIFY(url.isLocalFile());
    QFile file(url.toLocalFile());
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(url.toString()));
    const QString html = QString::fromUtf8(file.readAll());
    QVERIFY(html.contains(QStringLiteral("lang=\"ja\"")));
    QVERIFY(html.contains(QStringLiteral("PC→iPhone.vcf")));
  }
  QVERIFY(pageUrl(WebPage::Home) != pageUrl(WebPage::Terms));
}

QTEST_MAIN(TestServices)
#include "tst_services.moc"
