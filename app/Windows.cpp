#include "app/Windows.h"

QuillonWindows::QuillonWindows(const std::string& executable_path)
    : mainF(std::make_unique<TmainF>(executable_path)),
      LocxxxF(std::make_unique<quillon::TLocxxxF>(mainF.get())),
      repF(std::make_unique<quillon::TrepF>(mainF.get())),
      fillF(std::make_unique<quillon::TfillF>(mainF.get())),
      outputextF(std::make_unique<quillon::ToutputextF>(mainF.get())),
      AboutF(std::make_unique<TAboutF>(mainF.get(), mainF->DataFolder())) {
  mainF->SetDialogs(LocxxxF.get(), repF.get(), fillF.get(), outputextF.get(), AboutF.get());
}

QuillonWindows::~QuillonWindows() = default;
