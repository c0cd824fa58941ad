#include "util/ui/Controls.h"

#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPainter>
#include <QWidget>

namespace quillon::ui {

void EnableGroup(QGroupBox* box, bool on) {
  const QList<QWidget*> controls =
      box->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  if (on) box->setEnabled(true);
  for (QWidget* control : controls) control->setEnabled(on);
  if (!on) box->setEnabled(false);
}

bool CloseOnEscape(QDialog* dialog, QKeyEvent* key) {
  if (key->key() != Qt::Key_Escape) return false;
  key->accept();
  dialog->reject();
  return true;
}

namespace {

class FocusRepainter : public QObject {
 public:
  FocusRepainter(QWidget* control, QWidget* painted) : QObject(control), painted_(painted) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) painted_->update();
    return false;
  }

 private:
  QWidget* painted_;
};

}  // namespace

void RepaintOnFocus(QWidget* control, QWidget* painted) {
  control->installEventFilter(new FocusRepainter(control, painted));
}

void DrawFocusMark(const QWidget* control, QPainter& painter, const QRect& rect) {
  if (!control->hasFocus()) return;
  QPen pen(control->palette().color(QPalette::Highlight));
  pen.setWidth(2);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect.adjusted(1, 1, -1, -1));
}

}  // namespace quillon::ui
