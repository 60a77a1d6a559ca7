// The main conversion window: the user names the source vCard file (typed,
// chosen in the file chooser or dropped on the drop area), starts the
// conversion and reads the log. The conversion runs on a worker thread, so
// the window keeps painting; a long one shows its progress and can be
// stopped. The controller loads its window from the interface file
// "MainWindow" the first time it is shown.
#pragma once

#include <QElapsedTimer>
#include <QMargins>
#include <QObject>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <string>

#include "services.h"

class MainView;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QScreen;
class QPushButton;
class QThread;
class QTimer;
class QWidget;

namespace vcard {
struct Progress;
}

namespace Ui {
class MainWindow;
}

class MainWindow : public QObject {
  Q_OBJECT

 public:
  // The fixed texts of the window.
  static const QString kQuitQuestion;
  // The quit question while a conversion runs: quitting stops it.
  static const QString kQuitWhileConvertingQuestion;
  static const QString kOverwriteQuestion;
  static const QString kConvertingLine;
  // How long a run goes before its progress is shown, and how often the
  // shown progress is brought up to date.
  static constexpr std::chrono::milliseconds kProgressDelay{500};
  static constexpr std::chrono::milliseconds kProgressRefresh{100};
  // The least the window keeps of its content beside the footer when made
  // small; the rest scrolls.
  static constexpr QSize kSmallestSize{360, 120};
  // The hint under the title, in the phrases a line may break between.
  static const QStringList kHintPhrases;

  explicit MainWindow(const ShellServices& services, QObject* parent = nullptr);
  ~MainWindow() override;

  // Outlets; null until the window has loaded.
  [[nodiscard]] MainView* mainView() const { return m_mainView; }
  [[nodiscard]] QLineEdit* textField() const { return m_textField; }
  [[nodiscard]] QLineEdit* outField() const { return m_outField; }
  [[nodiscard]] QPlainTextEdit* messageField() const { return m_messageField; }
  [[nodiscard]] QComboBox* carrierChoice() const { return m_carrierChoice; }
  [[nodiscard]] QWidget* myWindow() const { return m_myWindow; }
  [[nodiscard]] QProgressBar* progressBar() const;
  [[nodiscard]] QPushButton* stopButton() const;

  // True from the start of a run until its results are in the log.
  [[nodiscard]] bool isConverting() const { return m_thread != nullptr; }

  // The paths handed to the engine at the last start (UTF-8).
  [[nodiscard]] const std::string& org() const { return m_org; }
  [[nodiscard]] const std::string& dst() const { return m_dst; }

  // The start window's frame, handed over before the window loads; the main
  // window opens with its frame's lower-left corner at this rectangle's.
  void setRect(const QRectF& rect) { m_myRect = rect; }
  [[nodiscard]] QRectF myRect() const { return m_myRect; }
  // The start window's frame margins (title bar and borders). The window
  // manager frames a new window only after it is shown, so until then its
  // frame is taken to be as large as the start window's.
  void setFrameMargins(const QMargins& margins) { m_frameMargins = margins; }

  // The name of the source file as the log names each run, before
  // "変換処理中・・・".
  static QString runHeading(const QString& source);
  // The progress bar's text for what the run last told, before the share
  // done; "読み込み中…" before it has told anything. Counts in groups of
  // three digits, as the command line prints them.
  static QString progressText(const vcard::Progress* progress);
  // The folder the file chooser opens in: that of the path in the source
  // field when it exists, else the home folder.
  [[nodiscard]] static QString chooserFolder(const QString& enteredPath);
  // The path as typed or pasted, without the line breaks and blanks a copy
  // from a text or a terminal leaves at its end.
  [[nodiscard]] static QString trimmedPath(const QString& path);

  // Loads the window on first use and shows it.
  void showWindow();

  // Fills the source field and the output field of the window that loaded
  // last; reached by the file chooser and the drop area. Starts nothing.
  static void setFileName(const QString& path);

  // True when the source path fails a check; the check's alert has then been
  // shown.
  bool isFileError(const QString& path);
  // True when a file or folder exists at the path.
  [[nodiscard]] static bool isFileExist(const QString& path);
  // The informational alert; the sender is not used.
  void showAlert(QObject* sender, const QString& text);
  // Appends to the log at its end, as typed text is inserted, so the view
  // follows the insertion point.
  void appendText(const QString& text);
  // Keeps the source field's text up to its first carriage return, without
  // line breaks at its end.
  void controlTextDidChange(QLineEdit* field);
  // Starts the conversion run over UTF-8 paths: the log line now; when the
  // converter returns, the alert, the log text and the report. Carrier
  // pictograms as the choice beside the source field says. Refused while a
  // run goes on.
  void execAnalysis(const char* org, const char* dst);
  // Asks the quit question; "OK" stops a run, waits for it and ends the
  // application.
  void endApp();
  // A close request asks the quit question; the window never closes by it.
  bool windowShouldClose(QWidget* window);

 public slots:
  void pushStart();
  void pushFileRef();
  void pushEndApp();
  void pushHP();
  void pushKiyaku();
  // Asks the run to stop at the converter's next progress call.
  void pushStop();

 signals:
  // A run's results are in the log.
  void conversionEnded();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void loadWindow();
  void windowDidLoad();
  void placeAtStartWindow();
  void fitToScreen();
  [[nodiscard]] QMargins frameMargins() const;
  [[nodiscard]] const QScreen* screenToOpenOn() const;
  void showRunFromItsHeading();
  void setBusy(bool busy);
  void refreshProgress();
  void conversionDidEnd();
  void stopAndWait();

  // What the window and the worker share during a run.
  struct Run;

  ShellServices m_services;
  std::unique_ptr<Ui::MainWindow> m_ui;
  std::unique_ptr<QWidget> m_window;

  // Outlets: children of m_window, which this controller owns.
  MainView* m_mainView = nullptr;
  QLineEdit* m_textField = nullptr;
  QLineEdit* m_outField = nullptr;
  QPlainTextEdit* m_messageField = nullptr;
  QComboBox* m_carrierChoice = nullptr;
  std::string m_org;
  std::string m_dst;
  QWidget* m_myWindow = nullptr;
  QRectF m_myRect;
  QMargins m_frameMargins;

  std::shared_ptr<Run> m_run;
  QThread* m_thread = nullptr;  // child of this; null when idle
  QTimer* m_progressTimer = nullptr;
  QElapsedTimer m_runClock;
  // The log's line where the current run's heading stands.
  int m_runFirstBlock = 0;
  // The quit question is up; a run that ends meanwhile is shown after it.
  bool m_askingToQuit = false;
  bool m_endPending = false;
};
