// What the main window's tests share: the texts the window shows, sample
// cards, file helpers and a window on a fake desktop.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>
#include <QTest>
#include <QTextLayout>

#include <algorithm>

#include "fakeservices.h"
#include "logview.h"
#include "mainwindow.h"
#include "source_check.h"

namespace windowtest {

inline const QString kEmptyAlert = QStringLiteral("変換元ファイル名が入力（選択）されていません。");
inline const QString kMissingAlert = QStringLiteral("変換元ファイルがありません。");
inline const QString kNotVCardAlert =
    QStringLiteral("変換元ファイルはvCardファイルではありません。");
inline const QString kTooLongAlert =
    QStringLiteral("変換元ファイルのフォルダ名およびファイル名が長すぎます。");
inline const QString kSameFileAlert = QStringLiteral("変換元ファイルと出力ファイルが同じです。");
inline const QString kUnreadableAlert = QStringLiteral(
    "変換元ファイルが読み込めません。\n他で使用中もしくは破損している可能性があります。");
inline const QString kUnsupportedAlert =
    QStringLiteral("変換元ファイルの文字コードに対応していません。");
inline const QString kConverting = QStringLiteral("変換処理中・・・\n");
inline const QString kOneCardLog =
    QStringLiteral("変換が完了しました。\n入力データ：1件、　出力データ：1件\n\n");
inline const QString kNoCardLog = QStringLiteral("出力対象データが1件もありませんでした。\n\n");
inline const QString kFailedLog = QStringLiteral("変換処理に失敗しました。\n\n");
inline const QString kOutputName = QStringLiteral("PC→iPhone.vcf");

// One card in UTF-8.
inline const QByteArray kUtf8Card =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:\xE5\xB1\xB1\xE7\x94\xB0;\xE5\xA4\xAA\xE9\x83\x8E;;;\r\n"
    "TEL;CELL:090-1234-5678\r\nEND:VCARD\r\n";

// A feature phone's card in Shift_JIS: N 山田;太郎 and SOUND ﾔﾏﾀﾞ;ﾀﾛｳ.
inline const QByteArray kShiftJisCard =
    "BEGIN:VCARD\r\nVERSION:2.1\r\n"
    "N;CHARSET=SHIFT_JIS:\x8E\x52\x93\x63;\x91\xBE\x98\x59;;;\r\n"
    "SOUND;CHARSET=SHIFT_JIS:\xD4\xCF\xC0\xDE;\xC0\xDB\xB3;;;\r\n"
    "TEL;CELL:090-1234-5678\r\nEMAIL;INTERNET:taro@example.jp\r\n"
    "FN:\x8E\x52\x93\x63\x91\xBE\x98\x59\r\nEND:VCARD\r\n";

// The output path the window derives from a source path.
inline QString outputFor(const QString& source) {
  return QString::fromStdString(vcard::outputPathForSource(source.toStdString()));
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Creates an existing vCard file whose path is exactly `units` UTF-16 code
// units long, padding with folders; the name starts with `stem`.
inline QString makeFileOfLength(const QString& root, qsizetype units, const QString& stem) {
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

// Lays the label's text out at every width from its widest phrase up to
// the whole paragraph and returns where a line began inside a phrase
// ("width 120: …くださ|い。"); empty when every line begins between two
// phrases. Each paragraph of the label is one list of phrases.
inline QString breakInsideAPhrase(const QLabel* label, const QList<QStringList>& paragraphs) {
  const QStringList texts = label->text().split(QLatin1Char('\n'));
  if (texts.size() != paragraphs.size()) return QStringLiteral("paragraphs differ");
  const QFontMetricsF metrics(label->font());
  for (qsizetype p = 0; p < texts.size(); ++p) {
    const QString& text = texts[p];
    if (withoutLayoutMarks(text) != paragraphs[p].join(QString()))
      return QStringLiteral("text differs");
    QList<qsizetype> boundaries;
    qsizetype at = 0;
    qreal widest = 0;
    for (const QString& phrase : paragraphs[p]) {
      boundaries.append(at += phrase.size());
      widest = std::max(widest, metrics.horizontalAdvance(phrase));
    }
    for (qreal width = widest + 1; width < metrics.horizontalAdvance(text) + 20;
         width += metrics.averageCharWidth() * 2) {
      QTextLayout layout(text, label->font());
      QTextOption option;
      option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
      layout.setTextOption(option);
      layout.beginLayout();
      for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (line.textStart() == 0) continue;
        const QString before = withoutLayoutMarks(text.left(line.textStart()));
        if (!boundaries.contains(before.size())) {
          layout.endLayout();
          return QStringLiteral("width %1: …%2|%3…")
              .arg(width)
              .arg(before.right(6))
              .arg(withoutLayoutMarks(text.mid(line.textStart())).left(6));
        }
      }
      layout.endLayout();
    }
  }
  return QString();
}

struct Harness {
  FakeShell shell;
  MainWindow window;

  explicit Harness(Converter* converter = nullptr) : window(shell.services(converter)) {
    window.showWindow();
  }
  // The log as appended, without what its layout adds.
  QString log() const { return withoutLayoutMarks(window.messageField()->toPlainText()); }
  // Starts a run and returns while it goes on.
  void begin(const QString& source) {
    window.textField()->setText(source);
    window.pushStart();
  }
  [[nodiscard]] bool waitForRun(int timeoutMs = 30'000) {
    return QTest::qWaitFor([this] { return !window.isConverting(); }, timeoutMs);
  }
  // A whole run, as the user sees it end.
  void start(const QString& source) {
    begin(source);
    QVERIFY(waitForRun());
  }
};

}  // namespace windowtest
