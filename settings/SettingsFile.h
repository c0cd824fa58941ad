// Reading and writing RunSettings in the ini file beside the executable.
#pragma once

#include <cstdint>
#include <string>

#include "engine/RunSettings.h"

namespace quillon {

// The settings file of an executable: named after it with ".ini", in its data folder.
std::string SettingsFileFor(const std::string& executable_path);

// The defaults, with SelectionFolder the program folder, overlaid by the file's twelve keys.
RunSettings ReadRunSettings(const std::string& settings_file, const std::string& program_folder);

// Writes all twelve keys at once, replacing the file atomically; every other line stays.
// Throws UserError "Unable to write to <file>" when it cannot, or when a text holds a line
// break, which the file form cannot hold; the file then stays as it was.
void WriteRunSettings(const std::string& settings_file, const RunSettings& settings);

// The window's own layout, kept in a section of its own ("Window") of the same file.
struct WindowLayout {
  std::int32_t ReportHeight = 0;  // the Report panel's height in pixels; 0: the usual height
};

// Nothing readable gives the defaults.
WindowLayout ReadWindowLayout(const std::string& settings_file);
// Changes only the section's line; throws UserError as WriteRunSettings does.
void WriteWindowLayout(const std::string& settings_file, const WindowLayout& layout);

}  // namespace quillon
