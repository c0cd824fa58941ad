#include "app/QuillonApplication.h"

#include <QIcon>

#include "util/ui/Commands.h"

namespace quillon {

QuillonApplication::QuillonApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Quillon"));
  setApplicationVersion(QStringLiteral("3.0"));
  // The desktop entry, the installed icons and the window all go by one application id.
  setDesktopFileName(QStringLiteral(QUILLON_APP_ID));
  QIcon icon;
  for (const int size : {16, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/%1x%1/quillon.png").arg(size), QSize(size, size));
  }
  setWindowIcon(icon);
}

bool QuillonApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  ui::RunCommand([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

}  // namespace quillon
