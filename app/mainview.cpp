#include "mainview.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QStyle>
#include <QUrl>

#include "mainwindow.h"
#include "platform.h"

namespace {

// The list as the diagnostic line prints it: ("first", "second").
QString printedList(const QStringList& paths) {
  QStringList quoted;
  for (const QString& p : paths)
    quoted.append(QLatin1Char('"') + p + QLatin1Char('"'));
  return QLatin1Char('(') + quoted.join(QStringLiteral(", ")) + QLatin1Char(')');
}

}  // namespace

QString pathExtension(const QString& path) {
  QString trimmed = path;
  while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
    trimmed.chop(1);
  const QString name = trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  return dot < 0 ? QString() : name.mid(dot + 1);
}

bool acceptsDroppedPaths(const QStringList& paths) {
  // More than one file is refused even when all are vCard files: one
  // conversion takes one source.
  if (paths.size() != 1) return false;
  return pathExtension(paths.last()).compare(QStringLiteral("vcf"), Qt::CaseInsensitive) == 0;
}

QStringList pathsFromMimeData(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls())
    paths.append(url.isLocalFile() ? url.toLocalFile() : QString());
  return paths;
}

MainView::MainView(QWidget* parent) : QFrame(parent) {
  setAcceptDrops(true);
}

DragOperation MainView::draggingEntered(const QStringList& paths) {
  m_pbd = paths;
  // Every drag is judged afresh, so a refused one never inherits the
  // acceptance of an earlier drag.
  setDropSign(false);
  if (!acceptsDroppedPaths(paths)) return DragOperation::None;
  m_path = paths.last();
  setDropSign(true);
  return DragOperation::Generic;
}

DragOperation MainView::draggingUpdated() const {
  return m_dropSign ? DragOperation::Copy : DragOperation::None;
}

void MainView::draggingExited() {
  endDrag();
}

bool MainView::performDragOperation() {
  if (!m_pbd || m_pbd->isEmpty()) return false;
  const QStringList& paths = *m_pbd;
  platform::logLine((QStringLiteral("filenames=") + printedList(paths)).toStdString());
  MainWindow::setFileName(paths.first());
  return true;
}

void MainView::concludeDragOperation() {
  endDrag();
}

void MainView::dragEnterEvent(QDragEnterEvent* event) {
  if (draggingEntered(pathsFromMimeData(event->mimeData())) == DragOperation::None) {
    // A refused drag gets no further events here, so nothing is kept of it.
    endDrag();
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void MainView::dragMoveEvent(QDragMoveEvent* event) {
  if (draggingUpdated() == DragOperation::None) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void MainView::dragLeaveEvent(QDragLeaveEvent* event) {
  draggingExited();
  event->accept();
}

void MainView::dropEvent(QDropEvent* event) {
  // The drop may arrive without a preceding entry (the toolkit sends one,
  // but a drop is judged on its own data all the same).
  if (!m_pbd) m_pbd = pathsFromMimeData(event->mimeData());
  if (!m_dropSign && !acceptsDroppedPaths(*m_pbd)) {
    concludeDragOperation();
    event->ignore();
    return;
  }
  if (prepareForDragOperation() && performDragOperation()) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
  concludeDragOperation();
}

bool MainView::handleDragEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
      dragEnterEvent(static_cast<QDragEnterEvent*>(event));
      return true;
    case QEvent::DragMove:
      dragMoveEvent(static_cast<QDragMoveEvent*>(event));
      return true;
    case QEvent::DragLeave:
      dragLeaveEvent(static_cast<QDragLeaveEvent*>(event));
      return true;
    case QEvent::Drop:
      dropEvent(static_cast<QDropEvent*>(event));
      return true;
    default:
      return false;
  }
}

void MainView::setDropSign(bool on) {
  if (m_dropSign == on) return;
  m_dropSign = on;
  // The style sheet highlights an acceptable drag through this property.
  style()->unpolish(this);
  style()->polish(this);
  update();
}

void MainView::endDrag() {
  setDropSign(false);
  m_pbd.reset();
  m_path.clear();
}
