// Start-up: the application delegate owns the start window, which offers
// going on to the main window, quitting and the two web pages.
#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

#include "services.h"

class MainWindow;
class QWidget;

namespace Ui {
class StartWindow;
}

class AppDelegate : public QObject {
  Q_OBJECT

 public:
  // The start window's two lines of introduction, in the phrases a line
  // may break between.
  static const QList<QStringList> kLeadPhrases;

  explicit AppDelegate(const ShellServices& services, QObject* parent = nullptr);
  ~AppDelegate() override;

  // The start window.
  [[nodiscard]] QWidget* window() const { return m_window.get(); }
  // The main window's controller, once the user has gone on.
  [[nodiscard]] MainWindow* mainWindowController() const { return m_mainWindowController.get(); }
  // True while the quit question is up.
  [[nodiscard]] bool isDialog() const { return m_isDialog; }

  // Brings the application to the front and shows the start window centred
  // and white.
  void applicationDidFinishLaunching();

  // Asks the quit question; "OK" ends the application.
  void endApp();
  // A close request asks the quit question; the window never closes by it.
  bool windowShouldClose(QWidget* window);

 public slots:
  void pushNext();
  void pushEnd();
  void pushHP();
  void pushKiyaku();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  ShellServices m_services;
  std::unique_ptr<MainWindow> m_mainWindowController;
  bool m_isDialog = false;
  std::unique_ptr<Ui::StartWindow> m_ui;
  std::unique_ptr<QWidget> m_window;
};
