// A fresh folder under the system's temporary folder, removed with everything in it. Paths are
// in the host's form: a "/" in a name given to it stands for the host's separator.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#include "util/Platform.h"

namespace quillon::testing {

class TempDir {
 public:
  TempDir() {
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
      const std::filesystem::path folder = base / ("quillon-test-" + std::to_string(random()));
      std::error_code error;
      if (std::filesystem::create_directory(folder, error)) {
        path_ = folder.string();
        break;
      }
      if (error) throw std::runtime_error("no temporary folder: " + error.message());
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    // Tests leave entries without write permission (read-only on Windows) behind.
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (!it->is_symlink(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ignored);
      }
    }
    std::filesystem::remove_all(path_, ignored);
  }

  const std::string& path() const { return path_; }
  std::string operator/(std::string name) const {
    std::replace(name.begin(), name.end(), '/', kPathSeparator);
    return path_ + kPathSeparator + name;
  }

  // Writes the bytes to a file in this folder and gives its path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::string file = *this / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }

 private:
  std::string path_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace quillon::testing
