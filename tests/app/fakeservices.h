// Recording stand-ins for the desktop services, so that tests answer alerts
// and the file chooser instead of a person.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QUrl>

#include <functional>
#include <optional>

#include "services.h"

struct FakeAlerts final : AlertPresenter {
  enum class Kind { Information, Question };
  struct Shown {
    Kind kind;
    QString text;
  };

  QList<Shown> shown;
  // Answers to the coming questions, in order; "キャンセル" once they run out.
  QList<AlertAnswer> answers;
  // Runs while an alert is up, before it is answered.
  std::function<void()> whileShown;

  void showInformation(QWidget* /*parent*/, const QString& text) override {
    shown.append({Kind::Information, text});
    if (whileShown) whileShown();
  }
  AlertAnswer askQuestion(QWidget* /*parent*/, const QString& question) override {
    shown.append({Kind::Question, question});
    if (whileShown) whileShown();
    return answers.isEmpty() ? AlertAnswer::Alternate : answers.takeFirst();
  }

  QStringList texts(Kind kind) const {
    QStringList result;
    for (const Shown& s : shown) {
      if (s.kind == kind) result.append(s.text);
    }
    return result;
  }
  QStringList informations() const { return texts(Kind::Information); }
  QStringList questions() const { return texts(Kind::Question); }
};

struct FakeFiles final : FileChooser {
  std::optional<QString> answer;
  int calls = 0;
  QString folder;
  QStringList extensions;

  std::optional<QString> chooseFile(QWidget* /*parent*/, const QString& startFolder,
                                    const QStringList& allowed) override {
    ++calls;
    folder = startFolder;
    extensions = allowed;
    return answer;
  }
};

struct FakeUrls final : UrlOpener {
  QList<QUrl> opened;
  void openUrl(const QUrl& url) override { opened.append(url); }
};

struct FakeTerminator final : Terminator {
  int calls = 0;
  void terminate() override { ++calls; }
};

struct FakeShell {
  FakeAlerts alerts;
  FakeFiles files;
  FakeUrls urls;
  FakeTerminator terminator;

  ShellServices services() { return ShellServices{&alerts, &files, &urls, &terminator}; }
};

Q_DECLARE_METATYPE(AlertAnswer)

// The four ways a quit question can go, for the windows' data-driven tests:
// asked by a close request or by 終了, answered OK or キャンセル.
inline void addQuitQuestionRows() {
  QTest::addColumn<bool>("byClosing");
  QTest::addColumn<AlertAnswer>("answer");
  QTest::newRow("close, OK") << true << AlertAnswer::Default;
  QTest::newRow("close, キャンセル") << true << AlertAnswer::Alternate;
  QTest::newRow("終了, OK") << false << AlertAnswer::Default;
  QTest::newRow("終了, キャンセル") << false << AlertAnswer::Alternate;
}
