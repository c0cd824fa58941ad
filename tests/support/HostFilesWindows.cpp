#include <windows.h>
#include <winioctl.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/HostFiles.h"

namespace quillon::testing {
namespace {

std::wstring Wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  wide.pop_back();
  return wide;
}

// Under Wine, the host's own name of a path; nothing elsewhere.
std::string WineHostName(const std::string& path) {
  using HostNameOf = char*(CDECL*)(const WCHAR*);
  const auto host_name_of = reinterpret_cast<HostNameOf>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!host_name_of) return {};
  char* name = host_name_of(Wide(path).c_str());
  if (!name) return {};
  std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

bool UnderWine() { return !WineHostName("C:\\").empty(); }

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Waits for the path to be there (or gone), up to two minutes: a guard that only stops a host
// shell that never ran, however slowly Wine starts one on a busy machine.
bool AwaitPath(const std::string& path, bool there) {
  for (int i = 0; i < 12000; ++i) {
    if (Exists(path) == there) return true;
    Sleep(10);
  }
  return false;
}

// Starts a shell of Wine's host on the script, whose paths are host names. Wine cannot wait
// for a host process: the script makes the file done_marker when it ends.
bool StartHostShell(const std::string& script, const std::string& done_marker) {
  std::string command = "/bin/sh -c \"" + script + "; touch '" + WineHostName(done_marker) + "'\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  // Wine starts a host program without a process of its own: it gives no process handle, and
  // what it leaves as the thread's is no handle of ours (closing it could close another).
  if (process.hProcess) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  return true;
}

bool RunHostShell(const std::string& script, const std::string& done_marker) {
  if (!StartHostShell(script, done_marker) || !AwaitPath(done_marker, true)) return false;
  DeleteFileA(done_marker.c_str());
  return true;
}

std::string Quoted(const std::string& path) { return "'" + WineHostName(path) + "'"; }

// A junction: a folder whose reparse point mounts another folder there.
bool MakeJunction(const std::string& link, const std::string& target) {
  wchar_t full[MAX_PATH];
  if (GetFullPathNameW(Wide(target).c_str(), MAX_PATH, full, nullptr) == 0) return false;
  const std::wstring print = full;
  const std::wstring substitute = L"\\??\\" + print;
  const std::size_t names = (substitute.size() + 1 + print.size() + 1) * sizeof(wchar_t);
  struct MountPoint {
    DWORD tag;
    WORD data_length, reserved;
    WORD substitute_offset, substitute_length, print_offset, print_length;
  };
  std::vector<char> buffer(sizeof(MountPoint) + names, '\0');
  auto* mount = reinterpret_cast<MountPoint*>(buffer.data());
  mount->tag = IO_REPARSE_TAG_MOUNT_POINT;
  mount->data_length = static_cast<WORD>(4 * sizeof(WORD) + names);
  mount->substitute_length = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
  mount->print_offset = static_cast<WORD>(mount->substitute_length + sizeof(wchar_t));
  mount->print_length = static_cast<WORD>(print.size() * sizeof(wchar_t));
  auto* path_buffer = reinterpret_cast<wchar_t*>(buffer.data() + sizeof(MountPoint));
  substitute.copy(path_buffer, substitute.size());
  print.copy(path_buffer + substitute.size() + 1, print.size());
  if (!CreateDirectoryA(link.c_str(), nullptr)) return false;
  const HANDLE folder =
      CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  DWORD returned = 0;
  const bool made =
      folder != INVALID_HANDLE_VALUE &&
      DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, buffer.data(),
                      static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
  if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
  if (!made) RemoveDirectoryA(link.c_str());
  return made;
}

}  // namespace

bool IsOpenFile(int fd) {
  DWORD flags;
  return GetHandleInformation(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd)), &flags);
}

bool MakeFolderLink(const std::string& link, const std::string& target) {
  if (!UnderWine()) return MakeJunction(link, target);
  return RunHostShell("ln -s " + Quoted(target) + " " + Quoted(link), link + ".made") &&
         AwaitPath(link, true);
}

bool RemoveFolderLink(const std::string& link) {
  // Wine's RemoveDirectory would remove the folder its host's link leads to.
  if (!UnderWine()) return RemoveDirectoryA(link.c_str());
  return RunHostShell("rm " + Quoted(link), link + ".removed") && AwaitPath(link, false);
}

void MarkHidden(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  SetFileAttributesA(path.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

void SetLocalWriteTime(const std::string& path, int year, int month, int day, int hour, int minute,
                       int second) {
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(year);
  local.wMonth = static_cast<WORD>(month);
  local.wDay = static_cast<WORD>(day);
  local.wHour = static_cast<WORD>(hour);
  local.wMinute = static_cast<WORD>(minute);
  local.wSecond = static_cast<WORD>(second);
  SYSTEMTIME universal;
  FILETIME stamp;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) ||
      !SystemTimeToFileTime(&universal, &stamp)) {
    throw std::runtime_error("no such local time");
  }
  const HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  SetFileTime(file, nullptr, nullptr, &stamp);
  CloseHandle(file);
}

struct FolderSwapper::Swapping {
  std::string stop_marker;
  std::string done_marker;
  std::atomic<bool> stop{false};
  std::thread thread;
};

FolderSwapper::FolderSwapper(const std::string& subfolder, const std::string& link_target)
    : swapping_(new Swapping) {
  const std::string aside = subfolder + ".aside";
  if (UnderWine()) {
    // Each swap is a host command: Wine makes no link of its own.
    swapping_->stop_marker = subfolder + ".stop";
    swapping_->done_marker = subfolder + ".done";
    const std::string sub = Quoted(subfolder), away = Quoted(aside);
    StartHostShell("while [ ! -e " + Quoted(swapping_->stop_marker) + " ]; do mv " + sub + " " +
                       away + "; ln -s " + Quoted(link_target) + " " + sub + "; rm " + sub +
                       "; mv " + away + " " + sub + "; done",
                   swapping_->done_marker);
    return;
  }
  swapping_->thread = std::thread([this, subfolder, aside, link_target] {
    while (!swapping_->stop) {
      MoveFileA(subfolder.c_str(), aside.c_str());
      MakeJunction(subfolder, link_target);
      Sleep(0);
      RemoveDirectoryA(subfolder.c_str());
      MoveFileA(aside.c_str(), subfolder.c_str());
      Sleep(0);
    }
  });
}

FolderSwapper::~FolderSwapper() {
  if (swapping_->thread.joinable()) {
    swapping_->stop = true;
    swapping_->thread.join();
  } else {
    CloseHandle(CreateFileA(swapping_->stop_marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            0, nullptr));
    AwaitPath(swapping_->done_marker, true);
    DeleteFileA(swapping_->stop_marker.c_str());
    DeleteFileA(swapping_->done_marker.c_str());
  }
  delete swapping_;
}

}  // namespace quillon::testing
