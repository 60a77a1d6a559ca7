// Recording stand-ins for the desktop services, so that tests answer alerts
// and the file chooser instead of a person, and a conversion slow enough to
// watch.
#pragma once

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

#include "result_texts.h"
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

// A conversion that takes cards × perCard: it writes part of its output
// first, then tells each card as the engine tells its progress. Stopped, it
// removes the output and returns the engine's stopped text, as the engine
// does; otherwise it returns `outcome`.
struct SlowConverter final : Converter {
  std::atomic<std::uint64_t> cards{20};  // read at each card: a test may cut a run short
  std::chrono::milliseconds perCard{40};
  vcard::ProgressStep step = vcard::ProgressStep::Converting;
  ConversionOutcome outcome{"", "変換が完了しました。\n\n", {}};

  std::atomic<int> calls{0};
  std::atomic<bool> wrote{false};    // the partial output was on disk
  std::atomic<bool> stopped{false};  // the callback said stop
  std::atomic<bool> done{false};     // convert() has returned

  ConversionOutcome convert(const std::string& /*org*/, const std::string& dst,
                            const vcard::ConvertOptions& options) override {
    ++calls;
    const QString output = QString::fromStdString(dst);
    QFile file(output);
    wrote = file.open(QIODevice::WriteOnly) && file.write("BEGIN:VCARD\r\n") > 0;
    file.close();
    ConversionOutcome result = outcome;
    for (std::uint64_t card = 1; card <= cards; ++card) {
      QThread::msleep(static_cast<unsigned long>(perCard.count()));
      const vcard::Progress progress{step, cards * 100, card * 100, card, card - 1};
      if (options.progress && !options.progress(progress)) {
        QFile::remove(output);
        stopped = true;
        // The engine's report keeps what it had collected when it stopped.
        result = ConversionOutcome{"", vcard::kStoppedLog, outcome.report};
        break;
      }
    }
    done = true;
    return result;
  }
};

struct FakeShell {
  FakeAlerts alerts;
  FakeFiles files;
  FakeUrls urls;
  FakeTerminator terminator;
  EngineConverter engine;

  // The engine converts unless a test brings its own converter.
  ShellServices services(Converter* converter = nullptr) {
    return ShellServices{&alerts, &files, &urls, &terminator,
                         converter != nullptr ? converter : &engine};
  }
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
