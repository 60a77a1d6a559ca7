#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <functional>

#include "pages.h"
#include "services.h"

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

  void shouldShowAnInformationWithItsTextAsInformativeText_data();
  void shouldShowAnInformationWithItsTextAsInformativeText();
  void shouldAnswerAQuestionByTheButtonPressed_data();
  void shouldAnswerAQuestionByTheButtonPressed();
  void shouldFilterTheExtensionInAnyCase_data();
  void shouldFilterTheExtensionInAnyCase();
  void shouldFindBothPages();
};

void TestServices::cleanup() {
  QVERIFY2(QApplication::topLevelWidgets().isEmpty(), "a top-level window leaked");
}

void TestServices::shouldShowAnInformationWithItsTextAsInformativeText_data() {
  QTest::addColumn<QString>("text");
  QTest::newRow("engine alert with a line feed") << QStringLiteral(
      "変換元ファイルが読み込めません。\n他で使用中もしくは破損している可能性があります。");
  QTest::newRow("percent signs and markup kept") << QStringLiteral("100% <b>完了</b> & %@ %d");
}

void TestServices::shouldShowAnInformationWithItsTextAsInformativeText() {
  QFETCH(QString, text);
  QString message = QStringLiteral("unset");
  QString informative;
  Qt::TextFormat format = Qt::AutoText;
  QStringList buttons;
  ModalWatcher watcher([&](QMessageBox* box) {
    message = box->text();
    informative = box->informativeText();
    format = box->textFormat();
    buttons = buttonTexts(box);
    buttonNamed(box, QStringLiteral("OK"))->click();
  });
  MessageBoxAlerts alerts;
  alerts.showInformation(nullptr, text);

  QCOMPARE(message, QString());
  QCOMPARE(informative, text);
  QCOMPARE(format, Qt::PlainText);
  QCOMPARE(buttons, QStringList{QStringLiteral("OK")});
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

void TestServices::shouldFilterTheExtensionInAnyCase_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<bool>("shown");
  QTest::newRow("lower") << "cards.vcf" << true;
  QTest::newRow("upper") << "cards.VCF" << true;
  QTest::newRow("mixed") << "cards.vCf" << true;
  QTest::newRow("other") << "cards.txt" << false;
  QTest::newRow("longer") << "cards.vcf.txt" << false;
}

void TestServices::shouldFilterTheExtensionInAnyCase() {
  QFETCH(QString, name);
  QFETCH(bool, shown);
  const QString filter = nameFilterForExtensions({QStringLiteral("vcf")});
  const QRegularExpression inParentheses(QStringLiteral("\\(([^)]*)\\)"));
  const QRegularExpressionMatch match = inParentheses.match(filter);
  QVERIFY(match.hasMatch());
  bool matched = false;
  for (const QString& pattern : match.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    matched = matched ||
              QRegularExpression::fromWildcard(pattern, Qt::CaseSensitive).match(name).hasMatch();
  }
  QCOMPARE(matched, shown);
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
