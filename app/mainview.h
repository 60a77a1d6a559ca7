// The drop area of the main window: the user drags one vCard file onto it
// instead of typing its path. A dropped file only fills the main window's two
// path fields; the conversion starts from the window's start button.
#pragma once

#include <QFrame>
#include <QString>
#include <QStringList>

#include <optional>

class QMimeData;

// The answers a drop target gives while a drag is over it.
enum class DragOperation : unsigned { None = 0, Copy = 1, Generic = 4 };

// The text after the last dot of the last path component, without the dot;
// empty when there is none. Trailing slashes are ignored.
[[nodiscard]] QString pathExtension(const QString& path);

// The drop decision: exactly one path, whose extension is "vcf" in any letter
// case.
[[nodiscard]] bool acceptsDroppedPaths(const QStringList& paths);

// The local file paths a drag carries; an address that is not a local file
// becomes an empty path, which no decision accepts.
[[nodiscard]] QStringList pathsFromMimeData(const QMimeData* data);

class MainView : public QFrame {
  Q_OBJECT
  Q_PROPERTY(bool dropSign READ dropSign)

 public:
  explicit MainView(QWidget* parent = nullptr);

  // The drag-destination steps, in the order a drag goes through them.
  DragOperation draggingEntered(const QStringList& paths);
  [[nodiscard]] DragOperation draggingUpdated() const;
  void draggingExited();
  [[nodiscard]] bool prepareForDragOperation() const { return true; }
  bool performDragOperation();
  void concludeDragOperation();

  // Judges a drag event that reached another widget of the source area (the
  // source field) exactly as one on this view, which shows the highlight.
  // True when the event was a drag event: it is then consumed, so the other
  // widget never takes the drag's text.
  bool handleDragEvent(QEvent* event);

  // True while the drag in progress is acceptable.
  [[nodiscard]] bool dropSign() const { return m_dropSign; }
  // The paths of the drag in progress, none when idle.
  [[nodiscard]] const std::optional<QStringList>& pbd() const { return m_pbd; }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void setDropSign(bool on);
  void endDrag();

  // An owned copy of the drag's path list, held from entry to exit or drop.
  std::optional<QStringList> m_pbd;
  bool m_dropSign = false;
  QString m_path;
};
