// The Windows side of the program's paths and folders. Texts are in the ANSI code page, so
// the system's "A" functions take them as they stand.
#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <string>
#include <utility>

#include "util/Platform.h"
#include "util/Text.h"
#include "util/WindowsHost.h"

namespace quillon {
namespace {

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool StartsWithDrive(std::string_view path) {
  return path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':';
}

// Calls fill(buffer, size) until the text it gives fits; fill answers the length it needs.
template <typename Fill>
std::string SystemText(Fill&& fill) {
  std::string text(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = fill(text.data(), static_cast<DWORD>(text.size()));
    if (length == 0) return {};
    if (length < text.size()) {
      text.resize(length);
      return text;
    }
    text.resize(static_cast<std::size_t>(length) + MAX_PATH);
  }
}

// Whether a file can be made in the folder: the folder's rights tell only by trying.
bool CanWriteIn(const std::string& folder) {
  const std::string probe =
      JoinPath(folder, "quillon-" + std::to_string(GetCurrentProcessId()) + ".tmp");
  const HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace

bool IsRootPath(std::string_view path) {
  return path.size() == 3 && StartsWithDrive(path) && path[2] == '\\';
}

bool IsAbsolutePath(std::string_view path) {
  if (StartsWithDrive(path)) return path.size() >= 3 && (path[2] == '\\' || path[2] == '/');
  return path.starts_with("\\\\") || path.starts_with("//");
}

std::string AnchorToCurrentFolder(const std::string& path) {
  if (path.empty()) return path;
  const std::string full = SystemText([&](char* buffer, DWORD size) {
    return GetFullPathNameA(path.c_str(), size, buffer, nullptr);
  });
  return full.empty() ? path : full;
}

std::string ExecutablePath() {
  return SystemText([](char* buffer, DWORD size) {
    const DWORD length = GetModuleFileNameA(nullptr, buffer, size);
    // A name cut to the buffer fills it exactly: ask again with more room.
    return length == size ? size : length;
  });
}

std::string DataFolderFor(const std::string& program_folder) {
  if (CanWriteIn(program_folder)) return program_folder;
  char application_data[MAX_PATH];
  if (SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                       application_data) != S_OK) {
    return program_folder;
  }
  std::string folder = JoinPath(application_data, "Quillon");
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

char32_t AppendHostText(std::u16string_view units, std::string& text) {
  if (units.empty()) return 0;
  // A code page of UTF-8 takes no default character, and holds every character.
  if (GetACP() == CP_UTF8) return AppendUtf8OfUtf16(units, text, LoneSurrogate::AsQuestionMark);
  const auto convert = [&](std::u16string_view part, char* out, int room, BOOL* unheld) {
    // No best fit: a character the code page lacks is not taken for one it has.
    return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS,
                               reinterpret_cast<const wchar_t*>(part.data()),
                               static_cast<int>(part.size()), out, room, "?", unheld);
  };
  BOOL unheld = FALSE;
  const int length = convert(units, nullptr, 0, &unheld);
  const std::size_t at = text.size();
  text.resize(at + static_cast<std::size_t>(length));
  convert(units, text.data() + at, length, &unheld);
  if (!unheld) return 0;
  // Rare: made again one character at a time, so that each stands for one "?", however many
  // units it takes, and the first unheld is known.
  text.resize(at);
  char32_t first_unheld = 0;
  for (std::size_t i = 0; i < units.size();) {
    const bool pair = units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size() &&
                      units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
    const std::u16string_view character = units.substr(i, pair ? 2 : 1);
    i += character.size();
    char bytes[8];
    BOOL missing = FALSE;
    const int size = convert(character, bytes, sizeof bytes, &missing);
    if (!missing) {
      text.append(bytes, static_cast<std::size_t>(size));
      continue;
    }
    text += '?';
    if (first_unheld == 0) {
      first_unheld =
          pair ? 0x10000 + ((character[0] - 0xD800) << 10) + (character[1] - 0xDC00) : character[0];
    }
  }
  return first_unheld;
}

std::u16string Utf16OfHostText(std::string_view text) {
  const std::wstring wide = Wide(text);
  return std::u16string(wide.begin(), wide.end());
}

std::string UserStateFolder() {
  char local_data[MAX_PATH];
  if (SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                       SHGFP_TYPE_CURRENT, local_data) != S_OK) {
    return {};
  }
  return local_data;
}

std::string HelpFileFor(const std::string& program_folder) {
  return JoinPath(program_folder, "quillon.html");
}

// Windows spreads the threads of a busy process over its cores of its own accord.
std::thread StartBeside(std::function<void()> work) { return std::thread(std::move(work)); }

// Windows's heap gives freed memory back to the system of its own accord.
void ReturnFreedMemory() {}

}  // namespace quillon
