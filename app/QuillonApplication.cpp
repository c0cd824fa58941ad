#include "app/QuillonApplication.h"

#include <exception>

#include "util/ui/Seam.h"

QuillonApplication::QuillonApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Quillon"));
  setApplicationVersion(QStringLiteral("3.0"));
}

bool QuillonApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    quillon::ui::ShowApplicationError(quillon::ui::FromBytes(error.what()));
  }
  return false;
}
