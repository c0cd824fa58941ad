#include "shelltree/ItemProp.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QStatusTipEvent>

#include "util/ui/Commands.h"
#include "util/ui/Seam.h"

namespace quillon {

ShellMenuResult ShowShellContextMenu(QWidget* owner, const QString& path, bool folder,
                                     const QPoint& point,
                                     const std::function<void(QMenu*&)>& beforeShow) {
  ShellMenuResult result;
  if (path.isEmpty()) return result;
  QMenu menu(owner);
  menu.setObjectName("ItemPropMenu");
  QAction* open =
      menu.addAction(folder ? QObject::tr("&Open in file manager") : QObject::tr("&Open"));
  open->setStatusTip(folder ? QObject::tr("Shows the folder in the desktop's file manager")
                            : QObject::tr("Opens the file in its associated program"));
  QAction* copy = menu.addAction(QObject::tr("&Copy path"));
  copy->setStatusTip(QObject::tr("Puts the full path on the clipboard"));
  menu.addSeparator();
  QAction* rename = menu.addAction(QObject::tr("Rena&me"));
  rename->setStatusTip(QObject::tr("Renames the item"));

  // A menu opened on its own keeps the hints of its commands to itself: they go to the
  // owner, whose window shows them, and closing the menu clears them.
  auto hint = [owner](const QString& text) {
    if (!owner) return;
    QStatusTipEvent tip(text);
    QCoreApplication::sendEvent(owner, &tip);
  };
  ui::ConnectCommand(&menu, &QMenu::hovered, &menu,
                     [&](QAction* action) { hint(action->statusTip()); });
  ui::ConnectCommand(&menu, &QMenu::aboutToHide, &menu, [&] { hint(QString()); });

  QMenu* shown = &menu;
  if (beforeShow) beforeShow(shown);
  if (!shown) return result;
  QAction* picked = shown->exec(point);
  if (picked == open) {
    ui::OpenWithShell(path);
    result.carried_out = true;
  } else if (picked == copy) {
    QGuiApplication::clipboard()->setText(path);
    result.carried_out = true;
  } else if (picked == rename) {
    result.rename_requested = true;
    result.carried_out = true;
  }
  return result;
}

}  // namespace quillon
