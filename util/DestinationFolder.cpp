#include "util/DestinationFolder.h"

#include <algorithm>
#include <vector>

#include "util/Platform.h"

namespace quillon {

void CreatedFile::Close() { fd_.Close(); }

CreatedFile DestinationFolder::Create(std::string_view file_name) const {
  const FileSystemName name = FileSystemNameFor(file_name);
  if (!IsOpen() || name.use == NameUse::Refused) return {};
  const std::size_t slash = name.path.rfind('/');
  UniqueFd subfolder;
  if (slash != std::string::npos) {
    subfolder = OpenParent(std::string_view(name.path).substr(0, slash));
    if (!subfolder.valid()) return {};
  }
  const int parent = subfolder.valid() ? subfolder.get() : fd_.get();
  const std::string leaf = name.path.substr(slash == std::string::npos ? 0 : slash + 1);
  if (name.use == NameUse::Create) return CreatedFile::CreateAt(parent, leaf);
  CreatedFile file;
  if (CreatedFile::HoldsNonFolder(parent, leaf)) file.outcome_ = CreateOutcome::ExistsAlready;
  return file;
}

UniqueFd DestinationFolder::OpenParentByWalk(std::string_view folder_path) const {
  // The folders entered so far; ".." steps back to the one before, never above this folder.
  std::vector<UniqueFd> entered;
  for (std::size_t start = 0; start <= folder_path.size();) {
    const std::size_t end = std::min(folder_path.find('/', start), folder_path.size());
    const std::string component(folder_path.substr(start, end - start));
    start = end + 1;
    if (component == "..") {
      if (entered.empty()) return {};
      entered.pop_back();
      continue;
    }
    UniqueFd next = OpenSubfolder(entered.empty() ? fd_.get() : entered.back().get(), component);
    if (!next.valid()) return {};
    entered.push_back(std::move(next));
  }
  if (entered.empty()) return Reopen();
  return std::move(entered.back());
}

}  // namespace quillon
