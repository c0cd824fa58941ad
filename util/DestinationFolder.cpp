#include "util/DestinationFolder.h"

#include <algorithm>
#include <vector>

#include "util/Platform.h"

namespace quillon {

void CreatedFile::Close() { fd_.Close(); }

CreatedFile DestinationFolder::Create(std::string_view file_name) {
  const FileSystemName name = FileSystemNameFor(file_name);
  if (!IsOpen() || name.use == NameUse::Refused) return {};
  const std::size_t slash = name.path.rfind('/');
  UniqueFd subfolder;
  if (slash != std::string::npos) {
    subfolder = OpenParent(std::string_view(name.path).substr(0, slash));
    if (!subfolder.valid()) return {};
  }
  const int parent = subfolder.valid() ? subfolder.get() : fd_.get();
  const char* leaf = name.path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
  CreatedFile file;
  if (name.use == NameUse::TestOnly) {
    if (CreatedFile::HoldsNonFolder(parent, leaf)) file.outcome_ = CreateOutcome::ExistsAlready;
    return file;
  }
  // Names tend to come in runs of files that exist (a source given again) or do not. After
  // one that existed, one look settles a name that exists; a missing one goes on to be made.
  if (last_existed_ && CreatedFile::HoldsNonFolder(parent, leaf)) {
    file.outcome_ = CreateOutcome::ExistsAlready;
  } else {
    file = CreatedFile::CreateAt(parent, leaf);
  }
  last_existed_ = file.outcome() == CreateOutcome::ExistsAlready;
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
