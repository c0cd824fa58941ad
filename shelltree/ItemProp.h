// The host's menu for one item of the folder tree: what the desktop can do for a folder or
// a file without a shell of its own (open it, copy its path, rename it).
#pragma once

#include <QPoint>
#include <QString>
#include <functional>

class QMenu;
class QWidget;

namespace quillon {

struct ShellMenuResult {
  bool carried_out = false;       // a command was carried out (a rename request counts)
  bool rename_requested = false;  // the rename command was picked; it is not carried out
};

// Shows the menu modally at the screen point (owned by owner, which may be none) and carries
// out the picked command; opening goes through the seam. Nothing for an empty path. Before it
// shows, beforeShow may change the menu or put another in its place (none: nothing shows).
ShellMenuResult ShowShellContextMenu(QWidget* owner, const QString& path, bool folder,
                                     const QPoint& point,
                                     const std::function<void(QMenu*&)>& beforeShow = {});

}  // namespace quillon
