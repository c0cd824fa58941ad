// What the Windows files of the platform layer share: handles as descriptors, and ANSI texts
// as the wide texts the system's native calls take.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "util/IoError.h"
#include "util/UniqueFd.h"

namespace quillon {

// Files are shared as on POSIX, where nothing locks them.
inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A handle is kept as the number it is: the one cast back to the system's type.
inline HANDLE AsHandle(int fd) {
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

inline int AsFd(HANDLE handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle)); }

[[noreturn]] inline void ThrowLastError() { ThrowIoError(static_cast<int>(GetLastError())); }

inline UniqueFd CreateOrThrow(const std::string& path, DWORD access, DWORD disposition) {
  const HANDLE file = CreateFileA(path.c_str(), access, kShareAll, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) ThrowLastError();
  return UniqueFd(AsFd(file));
}

// The text in the ANSI code page, as UTF-16.
inline std::wstring Wide(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
  return wide;
}

}  // namespace quillon
