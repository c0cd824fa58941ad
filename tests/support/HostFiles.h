// What tests do to files in the host's own way.
#pragma once

#include <string>

namespace quillon::testing {

#ifdef _WIN32
inline constexpr bool kOnWindows = true;
#else
inline constexpr bool kOnWindows = false;
#endif

// Whether the descriptor (see UniqueFd.h) stands for an open file.
bool IsOpenFile(int fd);

// A link to a folder: a symbolic link on POSIX; on Windows a junction, or under Wine, which
// cannot make one, a symbolic link of its host, which Wine shows as a reparse point.
bool MakeFolderLink(const std::string& link, const std::string& target);
// Removes such a link, never the folder it leads to.
bool RemoveFolderLink(const std::string& link);

// Marks the entry hidden as the host does besides a name's leading dot: on Windows with the
// hidden and system attributes; a POSIX host has no other mark.
void MarkHidden(const std::string& path);

// Sets the file's last write to a date and time of the local time zone.
void SetLocalWriteTime(const std::string& path, int year, int month, int day, int hour, int minute,
                       int second);

// Swaps a subfolder for a link to another folder and back, over and over, until it goes.
class FolderSwapper {
 public:
  FolderSwapper(const std::string& subfolder, const std::string& link_target);
  FolderSwapper(const FolderSwapper&) = delete;
  FolderSwapper& operator=(const FolderSwapper&) = delete;
  ~FolderSwapper();

 private:
  struct Swapping;
  Swapping* swapping_;
};

}  // namespace quillon::testing
