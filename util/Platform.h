// Everything that differs between hosts. On POSIX a slash separates and "/" is the root; on
// Windows a backslash separates and a drive root (C:\ and the like) starts a path. On both, a
// backslash or a slash in a name from a source line reaches into a subfolder, as on Windows.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace quillon {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
// The text-line rules as Windows has them: only a carriage return ends a line.
inline constexpr bool kLineFeedEndsLine = false;
// How the batch command ends the lines it writes for the host's tools.
inline constexpr std::string_view kOutputLineEnd = "\r\n";
// Texts are in the ANSI code page.
inline constexpr bool kHostTextIsUtf8 = false;
inline constexpr std::string_view kHostTextName = "the ANSI code page";
#else
inline constexpr char kPathSeparator = '/';
// A POSIX host ends its own text lines with a line feed alone.
inline constexpr bool kLineFeedEndsLine = true;
inline constexpr std::string_view kOutputLineEnd = "\n";
inline constexpr bool kHostTextIsUtf8 = true;
inline constexpr std::string_view kHostTextName = "UTF-8";
#endif

// UTF-16 in the host's form of texts (UTF-8 on POSIX, the ANSI code page on Windows), appended
// to text. A character that form cannot hold (on POSIX a surrogate without its partner) is
// written as "?"; the first such is given back, 0 when there was none.
char32_t AppendHostText(std::u16string_view units, std::string& text);
// A text of the host's form as UTF-16.
std::u16string Utf16OfHostText(std::string_view text);
// Stands for a last byte of UTF-16 text that makes no whole unit.
inline constexpr char32_t kLoneByte = 0x110000;
// Why a character (or kLoneByte) cannot be held: "U+0416 not in the ANSI code page".
std::string UnheldCharacterText(char32_t character);

// True for a root: "/" on POSIX, a drive root (C:\ and the like) on Windows.
bool IsRootPath(std::string_view path);

// True when the path starts at a root (relative paths cannot be forced into existence).
bool IsAbsolutePath(std::string_view path);

// What a run may do with a file name taken from a source line, beneath its destination.
enum class NameUse {
  Create,    // a name every desktop can hold
  TestOnly,  // a name Windows refuses: a file already there is reported, none is created
  Refused,   // a name that climbs above the destination or cannot reach the file system
};

struct FileSystemName {
  NameUse use = NameUse::Refused;
  // Relative, "/"-separated, with no empty or "." components. For Create, each component has
  // lost its trailing dots and blanks, as Windows drops them.
  std::string path;
};

// A backslash in the name reaches into a subfolder, as it does on Windows. A name is refused
// for creation when it holds : * ? " < > | or a control character, when a component's part
// before its first dot is a device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9, LPT1-9,
// COM and LPT with a superscript 1, 2 or 3; any case), or when a component is empty once its
// trailing dots and blanks are dropped.
FileSystemName FileSystemNameFor(std::string_view name);

// Why a run could not (or would not) create a file beneath its destination.
enum class CreateCause {
  None,
  InvalidCharacter,  // subject: the character (: * ? " < > |, a control character or NUL)
  DeviceName,        // subject: the component that names a device
  ClimbsAbove,       // a ".." above the destination
  NoFileName,        // an empty name, "." or one that ends in a separator, or only dots and blanks
  MissingSubfolder,  // subject: the subfolder, relative to the destination
  SubfolderIsLink,   // subject: the subfolder that is a symbolic link
  SubfolderIsFile,   // subject: what stands where a subfolder should be
  NoPermission,      // subject: the folder not writable (empty: the destination)
  FolderOfThatName,  // a folder stands at the file's path
  SystemError,       // error: the host's error number
};

struct CreateFailure {
  CreateCause cause = CreateCause::None;
  std::string subject;
  int error = 0;
};

// Why FileSystemNameFor does not give Create for the name: the first invalid character, else
// what its components tell.
CreateFailure WhyNameRefused(std::string_view name);

// A relative path tied to the current folder, so a later change of that folder does not move
// it; an empty or absolute path stays as it is. On Windows every path takes the system's full
// form (drive-relative paths resolved, slashes made backslashes).
std::string AnchorToCurrentFolder(const std::string& path);

// The running executable's full path.
std::string ExecutablePath();

// The folder of an executable path, without a trailing separator except at a root.
std::string FolderOfPath(std::string_view path);

// The executable path with its extension replaced by (or, without one, followed by) ".ini".
std::string IniPathFor(std::string_view executable_path);

// The user's folder for the state programs keep between sessions: $XDG_STATE_HOME, else
// ~/.local/state; on Windows the user's local application data folder. Empty when unknown.
std::string UserStateFolder();

// Where settings and histories live: the program folder, or the user's configuration folder
// for Quillon when the program folder is not writable or (on POSIX) is the bin folder of an
// installed copy: $XDG_CONFIG_HOME/quillon, else ~/.config/quillon; on Windows the folder
// Quillon in %APPDATA%. Made when missing.
std::string DataFolderFor(const std::string& program_folder);

// The help page: beside the program, else (on POSIX) where an installed copy keeps it
// (../share/doc/quillon/ from the program folder); beside the program when neither exists.
std::string HelpFileFor(const std::string& program_folder);

// Gives the memory freed so far back to the system, where the allocator would keep it for
// later: after a run has reported a great many lines, the window stays light.
void ReturnFreedMemory();

// Starts work on a thread of its own, on another core than the caller's where the host has
// one: left to the host, a thread started beside a busy caller may wait for the caller's core.
std::thread StartBeside(std::function<void()> work);

// The folder joined with a file name by one separator (none added after a root).
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace quillon
