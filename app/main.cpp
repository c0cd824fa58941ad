// The program entry: the six windows in start-up order, then the message loop until the main
// window closes.
#include <new>

#include "app/QuillonApplication.h"
#include "app/Windows.h"
#include "util/Platform.h"
#include "util/ui/Commands.h"
#include "util/ui/StartUpWarmUp.h"

int main(int argc, char** argv) {
  quillon::ui::StartUpWarmUp warm_up;
  quillon::QuillonApplication application(argc, argv, &warm_up);
  try {
    quillon::QuillonWindows windows(quillon::ExecutablePath());
    windows.mainF->show();
    return application.exec();
  } catch (const std::bad_alloc& error) {
    // The windows could not be made: told, not an abort.
    quillon::ui::ShowFailure(error);
    return 1;
  }
}
