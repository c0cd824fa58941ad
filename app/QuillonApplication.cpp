#include "app/QuillonApplication.h"

#include "util/ui/Seam.h"

QuillonApplication::QuillonApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Quillon"));
  setApplicationVersion(QStringLiteral("3.0"));
}

bool QuillonApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  quillon::ui::ReportFailures([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}
