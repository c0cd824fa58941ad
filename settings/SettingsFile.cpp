#include "settings/SettingsFile.h"

#include <algorithm>

#include "settings/IniFile.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/WholeNumber.h"

namespace quillon {
namespace {

constexpr const char* kSeveral = "Several";
constexpr const char* kOutputExtension = "Output extension";
constexpr const char* kInvalidCharacters = "Invalid characters";
constexpr const char* kFill = "Fill";
constexpr const char* kWindow = "Window";

void ReadText(const IniFile& ini, const char* section, const char* key, std::string& field) {
  if (auto value = ini.Get(section, key)) field = std::move(*value);
}

void ReadInteger(const IniFile& ini, const char* section, const char* key, std::int32_t& field) {
  if (const auto value = ini.Get(section, key)) field = ReadWholeNumberOr(*value, field);
}

void ReadFlag(const IniFile& ini, const char* section, const char* key, bool& field) {
  if (const auto value = ini.Get(section, key)) {
    if (const auto number = ReadWholeNumber(*value)) field = *number != 0;
  }
}

std::string FlagText(bool flag) { return flag ? "1" : "0"; }

}  // namespace

std::string SettingsFileFor(const std::string& executable_path) {
  const std::string ini = IniPathFor(executable_path);
  const std::string name = ini.substr(ini.rfind(kPathSeparator) + 1);
  return JoinPath(DataFolderFor(FolderOfPath(executable_path)), name);
}

RunSettings ReadRunSettings(const std::string& settings_file, const std::string& program_folder) {
  RunSettings settings;
  settings.SelectionFolder = program_folder;
  IniFile ini;
  try {
    ini = IniFile::Load(settings_file);
  } catch (const IoError&) {
    // An unreadable file reads like a missing one: every key takes its default.
    return settings;
  }
  ReadText(ini, kSeveral, "Selection folder", settings.SelectionFolder);
  ReadText(ini, kOutputExtension, "Extension", settings.OutputExtension);
  ReadFlag(ini, kOutputExtension, "Always", settings.ExtensionAlways);
  ReadFlag(ini, kInvalidCharacters, "Invalid replace", settings.ReplaceInvalid);
  ReadText(ini, kInvalidCharacters, "Invalid replacer", settings.InvalidReplacer);
  ReadText(ini, kFill, "Kind", settings.FillKind);
  ReadFlag(ini, kFill, "Source", settings.FillSource);
  ReadFlag(ini, kFill, "Text", settings.FillText);
  ReadText(ini, kFill, "File name", settings.FillTextFile);
  ReadInteger(ini, kFill, "With", settings.FillCharCode);
  ReadInteger(ini, kFill, "Size", settings.FillSize);
  ReadInteger(ini, kFill, "Separator", settings.SizeSeparatorCode);
  return settings;
}

void WriteRunSettings(const std::string& settings_file, const RunSettings& settings) {
  // A line break would end the key's line and let the rest of the text pass for other keys.
  for (const std::string* text :
       {&settings.SelectionFolder, &settings.OutputExtension, &settings.InvalidReplacer,
        &settings.FillKind, &settings.FillTextFile}) {
    if (text->find_first_of("\r\n") != std::string::npos) {
      throw UserError("Unable to write to " + settings_file);
    }
  }
  try {
    IniFile ini = IniFile::Load(settings_file);
    ini.Set(kSeveral, "Selection folder", settings.SelectionFolder);
    ini.Set(kOutputExtension, "Extension", settings.OutputExtension);
    ini.Set(kOutputExtension, "Always", FlagText(settings.ExtensionAlways));
    ini.Set(kInvalidCharacters, "Invalid replace", FlagText(settings.ReplaceInvalid));
    ini.Set(kInvalidCharacters, "Invalid replacer", settings.InvalidReplacer);
    ini.Set(kFill, "Kind", settings.FillKind);
    ini.Set(kFill, "Source", FlagText(settings.FillSource));
    ini.Set(kFill, "Text", FlagText(settings.FillText));
    ini.Set(kFill, "File name", settings.FillTextFile);
    ini.Set(kFill, "With", std::to_string(settings.FillCharCode));
    ini.Set(kFill, "Size", std::to_string(settings.FillSize));
    ini.Set(kFill, "Separator", std::to_string(settings.SizeSeparatorCode));
    ini.SaveAtomically(settings_file);
  } catch (const IoError&) {
    throw UserError("Unable to write to " + settings_file);
  }
}

WindowLayout ReadWindowLayout(const std::string& settings_file) {
  WindowLayout layout;
  try {
    ReadInteger(IniFile::Load(settings_file), kWindow, "Report height", layout.ReportHeight);
  } catch (const IoError&) {
  }
  layout.ReportHeight = std::max(0, layout.ReportHeight);
  return layout;
}

void WriteWindowLayout(const std::string& settings_file, const WindowLayout& layout) {
  try {
    IniFile ini = IniFile::Load(settings_file);
    ini.Set(kWindow, "Report height", std::to_string(layout.ReportHeight));
    ini.SaveAtomically(settings_file);
  } catch (const IoError&) {
    throw UserError("Unable to write to " + settings_file);
  }
}

}  // namespace quillon
