#include "app/Windows.h"

namespace quillon {

QuillonWindows::QuillonWindows(const std::string& executable_path)
    : mainF(std::make_unique<TmainF>(executable_path)),
      LocxxxF(std::make_unique<TLocxxxF>(mainF.get())),
      repF(std::make_unique<TrepF>(mainF.get())),
      fillF(std::make_unique<TfillF>(mainF.get())),
      outputextF(std::make_unique<ToutputextF>(mainF.get())),
      AboutF(std::make_unique<TAboutF>(mainF.get(), mainF->DataFolder())) {
  mainF->SetDialogs(LocxxxF.get(), repF.get(), fillF.get(), outputextF.get(), AboutF.get());
}

QuillonWindows::~QuillonWindows() = default;

}  // namespace quillon
