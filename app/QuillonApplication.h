// The application: an error that no handler caught is shown in the application error box
// (the program's title, the text with "." appended), and the program goes on.
#pragma once

#include <QApplication>

namespace quillon {

class QuillonApplication : public QApplication {
  Q_OBJECT

 public:
  QuillonApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace quillon
