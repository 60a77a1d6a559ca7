// What the shell asks of the desktop beyond its own windows: modal alerts, the
// open-file chooser, opening a web page and ending the application. Windows
// reach these only through the interfaces here, so tests can answer them with
// a recording fake instead of a person.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class QWidget;

// The button that closed a question: "OK" is the default, "キャンセル" the
// alternate.
enum class AlertAnswer { Default, Alternate };

class AlertPresenter {
 public:
  virtual ~AlertPresenter() = default;
  // An informational alert: empty message text, the text itself as the
  // informative text (shown literally) and a single "OK" button.
  virtual void showInformation(QWidget* parent, const QString& text) = 0;
  // A question as the message text, with the buttons "OK" and "キャンセル".
  virtual AlertAnswer askQuestion(QWidget* parent, const QString& question) = 0;
};

class FileChooser {
 public:
  virtual ~FileChooser() = default;
  // A modal chooser for one existing file with one of the extensions (any
  // letter case), starting in folder. No answer when the user cancels.
  virtual std::optional<QString> chooseFile(QWidget* parent, const QString& folder,
                                            const QStringList& extensions) = 0;
};

class UrlOpener {
 public:
  virtual ~UrlOpener() = default;
  // Opens the address in the desktop's browser; a failure is not reported.
  virtual void openUrl(const QUrl& url) = 0;
};

class Terminator {
 public:
  virtual ~Terminator() = default;
  // Ends the application.
  virtual void terminate() = 0;
};

// The services a window uses; none is owned, all outlive the windows.
struct ShellServices {
  AlertPresenter* alerts = nullptr;
  FileChooser* files = nullptr;
  UrlOpener* urls = nullptr;
  Terminator* terminator = nullptr;
};

// QMessageBox, run modally.
class MessageBoxAlerts final : public AlertPresenter {
 public:
  void showInformation(QWidget* parent, const QString& text) override;
  AlertAnswer askQuestion(QWidget* parent, const QString& question) override;
};

// QFileDialog, run modally.
class DialogFileChooser final : public FileChooser {
 public:
  std::optional<QString> chooseFile(QWidget* parent, const QString& folder,
                                    const QStringList& extensions) override;
};

// QDesktopServices: the desktop's default browser.
class DesktopUrlOpener final : public UrlOpener {
 public:
  void openUrl(const QUrl& url) override;
};

// Leaves the event loop directly, without close requests to the windows
// (they would ask the quit question again).
class ApplicationTerminator final : public Terminator {
 public:
  void terminate() override;
};

// The real services, alive for the whole process.
[[nodiscard]] ShellServices productionServices();

// The chooser's name filter for the extensions: every letter-case spelling of
// each, since the file system's names are case-sensitive here.
[[nodiscard]] QString nameFilterForExtensions(const QStringList& extensions);
