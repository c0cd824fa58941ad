// The persisted options of a run, held by the main window for the program's lifetime.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

struct RunSettings {
  std::string SelectionFolder;
  std::string OutputExtension = "txt";
  bool ExtensionAlways = true;
  bool ReplaceInvalid = false;
  std::string InvalidReplacer = "TEMP";
  std::string FillKind = "none";  // "none", "fix", "var", "fixifnovar", "single"; exact
  bool FillSource = false;
  bool FillText = false;
  std::string FillTextFile;
  std::int32_t FillCharCode = 48;
  std::int32_t FillSize = 0;
  std::int32_t SizeSeparatorCode = 124;
};

}  // namespace quillon
