#include "util/ui/Controls.h"

#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
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

}  // namespace quillon::ui
