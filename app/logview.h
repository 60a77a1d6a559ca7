// The window's log and the few texts the window wraps itself. The report's
// text is plain (a person can search and copy it); what keeps an entry of it
// whole when the log wraps is added here, only where the text is laid out,
// and taken out again when the text leaves the log.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QStringList>

// The phrases joined, each one whole: a line breaks only between two of
// them. Japanese breaks between any two characters otherwise
// ("…押してくださ|い。").
[[nodiscard]] QString keptWhole(const QStringList& phrases);

// The report's text as the log lays it out: no line breaks inside a
// property name ("X-|MS-|TEL"), between a name and its count or between a
// count and its unit ("12|件"); the text reads the same.
[[nodiscard]] QString withEntriesKeptWhole(const QString& report);

// The text without what the layout added: as it was before
// withEntriesKeptWhole or keptWhole.
[[nodiscard]] QString withoutLayoutMarks(const QString& text);

class LogView : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit LogView(QWidget* parent = nullptr);

  // The log's text as it was appended, without the layout's marks.
  [[nodiscard]] QString text() const;

 protected:
  // A copy or a drag out of the log carries the plain text.
  QMimeData* createMimeDataFromSelection() const override;
};
