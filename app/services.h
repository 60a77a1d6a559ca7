// What the shell asks of the desktop beyond its own windows: modal alerts, the
// open-file chooser, opening a web page and ending the application, and the
// conversion itself. Windows reach these only through the interfaces here,
// so tests can answer them with a recording fake instead of a person and
// stand in for a long conversion.
#pragma once

#include <QFileIconProvider>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>
#include <string>

#include "convert_options.h"
#include "vcard_report.h"

class QFileDialog;
class QMessageBox;
class QWidget;

// The button that closed a question: "OK" is the default, "キャンセル" the
// alternate.
enum class AlertAnswer { Default, Alternate };

class AlertPresenter {
 public:
  virtual ~AlertPresenter() = default;
  // An informational alert: the text itself as the message (shown
  // literally) and a single "OK" button.
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

// What one conversion returned: the alert ("" = none), the log text and
// what was decided about the cards.
struct ConversionOutcome {
  std::string alert;
  std::string log;
  vcard::ConversionReport report;
};

class Converter {
 public:
  virtual ~Converter() = default;
  // Converts the file at org into dst (UTF-8 paths) as the options say.
  // Called on a worker thread, one conversion at a time; options.progress
  // is called on that thread too.
  virtual ConversionOutcome convert(const std::string& org, const std::string& dst,
                                    const vcard::ConvertOptions& options) = 0;
};

// The services a window uses; none is owned, all outlive the windows.
struct ShellServices {
  AlertPresenter* alerts = nullptr;
  FileChooser* files = nullptr;
  UrlOpener* urls = nullptr;
  Terminator* terminator = nullptr;
  Converter* converter = nullptr;
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

// The engine's vCardConvert.
class EngineConverter final : public Converter {
 public:
  ConversionOutcome convert(const std::string& org, const std::string& dst,
                            const vcard::ConvertOptions& options) override;
};

// The real services, alive for the whole process.
[[nodiscard]] ShellServices productionServices();

enum class AlertKind { Information, Question };

// The alert box as the user sees it, not yet shown: the text as the message
// in plain text, lines kept whole (a short Japanese message is not wrapped
// between its characters), wide enough for its longest line and for the
// application's name as its title, and the application's own icon for its
// kind. An information has the button "OK"; a question "OK" (the default)
// and "キャンセル".
[[nodiscard]] std::unique_ptr<QMessageBox> makeAlertBox(QWidget* parent, AlertKind kind,
                                                        const QString& text);

// The chooser's icons, with the type column in Japanese: "フォルダー",
// "vcf ファイル".
class JapaneseFileTypes final : public QFileIconProvider {
 public:
  [[nodiscard]] QString type(const QFileInfo& info) const override;
};

// The chooser as the user sees it, not yet shown: a Japanese title, one
// readable filter entry, starting in folder. The toolkit's own chooser,
// whose filters match any letter case, so "*.vcf" finds "A.VCF" too.
[[nodiscard]] std::unique_ptr<QFileDialog> makeFileDialog(QWidget* parent, const QString& folder,
                                                          const QStringList& extensions);

// The chooser's name filter for the extensions: "vCard ファイル (*.vcf)".
[[nodiscard]] QString nameFilterForExtensions(const QStringList& extensions);
