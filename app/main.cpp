// The program entry: the six windows in start-up order, then the message loop until the main
// window closes.
#include "app/QuillonApplication.h"
#include "app/Windows.h"
#include "util/Platform.h"

int main(int argc, char** argv) {
  QuillonApplication application(argc, argv);
  QuillonWindows windows(quillon::ExecutablePath());
  windows.mainF->show();
  return application.exec();
}
