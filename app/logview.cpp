#include "logview.h"

#include <QMimeData>
#include <QTextCursor>
#include <QTextDocumentFragment>

namespace {

// Invisible to the eye, it forbids a line break between its neighbours.
constexpr QChar kWordJoiner(0x2060);
constexpr QChar kNoBreakSpace(0x00A0);

bool isAsciiWordChar(QChar c) {
  return c.unicode() < 0x80 && (c.isLetterOrNumber() || c == QLatin1Char('_'));
}

// The units the report puts after a count.
bool isCountUnit(QChar c) {
  return c == QChar(0x4EF6) /* 件 */ || c == QChar(0x500B) /* 個 */;
}

}  // namespace

QString keptWhole(const QStringList& phrases) {
  QString text;
  for (const QString& phrase : phrases) {
    for (qsizetype i = 0; i < phrase.size(); ++i) {
      // Never between the halves of a surrogate pair.
      if (i > 0 && !phrase.at(i).isLowSurrogate()) text += kWordJoiner;
      // The layout breaks after a blank whatever joins it; a blank that
      // ends the phrase is where the next one may begin a line.
      const bool inner = phrase.at(i) == QLatin1Char(' ') && i + 1 < phrase.size();
      text += inner ? kNoBreakSpace : phrase.at(i);
    }
  }
  return text;
}

QString withEntriesKeptWhole(const QString& report) {
  QString text;
  text.reserve(report.size() + report.size() / 4);
  for (qsizetype i = 0; i < report.size(); ++i) {
    const QChar c = report.at(i);
    const QChar before = i > 0 ? report.at(i - 1) : QChar();
    const QChar after = i + 1 < report.size() ? report.at(i + 1) : QChar();
    // "X-FOO 12件": the blank between a name and its count.
    if (c == QLatin1Char(' ') && (isAsciiWordChar(before) || before == QLatin1Char(')')) &&
        after.isDigit()) {
      text += kNoBreakSpace;
      continue;
    }
    if (i > 0) {
      const bool hyphenInName = (before == QLatin1Char('-') || before == QLatin1Char('/')) &&
                                i > 1 && isAsciiWordChar(report.at(i - 2)) && isAsciiWordChar(c);
      const bool countAndUnit = before.isDigit() && isCountUnit(c);
      const bool bracketAndCount = before == QChar(0xFF09) /* ） */ && c.isDigit();
      // "SOUND(音声)": the name of a sound property.
      const bool insideName = before == QChar(0x97F3) /* 音 */ && c == QChar(0x58F0) /* 声 */ &&
                              i > 1 && report.at(i - 2) == QLatin1Char('(');
      if (hyphenInName || countAndUnit || bracketAndCount || insideName) text += kWordJoiner;
    }
    text += c;
  }
  return text;
}

QString withoutLayoutMarks(const QString& text) {
  QString plain = text;
  plain.remove(kWordJoiner);
  plain.replace(kNoBreakSpace, QLatin1Char(' '));
  return plain;
}

LogView::LogView(QWidget* parent) : QPlainTextEdit(parent) {}

QString LogView::text() const {
  return withoutLayoutMarks(toPlainText());
}

QMimeData* LogView::createMimeDataFromSelection() const {
  auto* mime = new QMimeData;
  // The selection's text with its paragraph separators as line feeds.
  const QString selected = textCursor().selection().toPlainText();
  mime->setText(withoutLayoutMarks(selected));
  return mime;
}
