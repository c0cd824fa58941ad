#include "util/DestinationFolder.h"

#include <algorithm>
#include <vector>

#include "util/FileSystem.h"
#include "util/Platform.h"

namespace quillon {
namespace {

// "a/../b" as "b": a run's subfolders are never links, so ".." steps back where it came from.
std::string WithoutClimbs(const std::string& path) {
  if (path.find("..") == std::string::npos) return path;
  std::vector<std::string_view> kept;
  const std::string_view whole(path);
  for (std::size_t start = 0; start <= whole.size();) {
    const std::size_t end = std::min(whole.find('/', start), whole.size());
    const std::string_view component = whole.substr(start, end - start);
    start = end + 1;
    if (component != "..") {
      kept.push_back(component);
    } else if (!kept.empty()) {
      kept.pop_back();
    }
  }
  std::string joined;
  for (const std::string_view component : kept) {
    if (!joined.empty()) joined += '/';
    joined.append(component);
  }
  return joined;
}

CreateFailure SystemFailure(int error) { return {CreateCause::SystemError, {}, error}; }

}  // namespace

void CreatedFile::Close() { fd_.Close(); }

bool CreatedFile::HoldsNonFolder(int folder, const char* name) {
  using Kind = DestinationFolder::EntryKind;
  const Kind kind = DestinationFolder::LookAt(folder, name).kind;
  return kind == Kind::File || kind == Kind::Link || kind == Kind::Other;
}

DestinationFolder DestinationFolder::PlannedAsCreated(const std::string& path) {
  DestinationFolder folder;
  folder.planned_empty_ = true;
  // A folder made takes letter case as the one it is made in (a casefold folder passes it on).
  std::string above = path;
  for (std::string parent = ParentFolder(above); !IsFolder(above) && parent.size() < above.size();
       parent = ParentFolder(above)) {
    above = std::move(parent);
  }
  DestinationFolder nearest(above);
  folder.case_known_ = true;
  folder.folds_case_ = nearest.IsOpen() && HostFoldsLetterCase(nearest.fd_.get());
  folder.nearest_ = std::move(nearest.fd_);
  return folder;
}

FileIdentity DestinationFolder::Identity() const { return IdentityOf(fd_.get()); }

CreatedFile DestinationFolder::Create(std::string_view file_name, Naming naming) {
  CreatedFile file;
  FileSystemName name = FileSystemNameFor(file_name);
  if (name.use == NameUse::Refused) {
    file.failure_ = WhyNameRefused(file_name);
    return file;
  }
  if (!fd_.valid()) {
    file.failure_ = SystemFailure(open_error_);
    return file;
  }
  const std::size_t slash = name.path.rfind('/');
  const std::string_view folder_path(name.path.data(), slash == std::string::npos ? 0 : slash);
  // The subfolder the name reaches into, held while the file is made in it.
  UniqueFd subfolder;
  if (slash != std::string::npos) {
    subfolder = OpenParent(folder_path);
    if (!subfolder.valid()) {
      file.failure_ = name.use == NameUse::Create ? WhySubfolderFails(folder_path, LastError())
                                                  : WhyNameRefused(file_name);
      return file;
    }
  }
  const int parent = subfolder.valid() ? subfolder.get() : fd_.get();
  const char* leaf = name.path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
  if (name.use == NameUse::TestOnly) {
    if (CreatedFile::HoldsNonFolder(parent, leaf)) {
      file.outcome_ = CreateOutcome::ExistsAlready;
    } else {
      file.failure_ = WhyNameRefused(file_name);
    }
    return file;
  }
  // Names tend to come in runs of files that exist (a source given again) or do not. After
  // one that existed, one look settles a name that exists; a missing one goes on to be made.
  const bool unnamed = naming == Naming::WhenComplete;
  const EntryKind seen = last_existed_ || unnamed ? LookAt(parent, leaf).kind : EntryKind::Missing;
  if (seen == EntryKind::File || seen == EntryKind::Link || seen == EntryKind::Other) {
    file.outcome_ = CreateOutcome::ExistsAlready;
  } else if (seen == EntryKind::Folder) {
    file.failure_.cause = CreateCause::FolderOfThatName;
  } else if (unnamed && seen == EntryKind::Missing) {
    file = CreatedFile::CreateUnnamedAt(parent, leaf);
  } else {
    file = CreatedFile::CreateAt(parent, leaf);
  }
  last_existed_ = file.outcome() == CreateOutcome::ExistsAlready;
  if (file.failure_.cause == CreateCause::NoPermission) file.failure_.subject = folder_path;
  if (file.outcome() == CreateOutcome::Created) {
    file.leaf_ = static_cast<std::size_t>(leaf - name.path.c_str());
    file.path_ = std::move(name.path);
    file.folder_ = parent;
    file.subfolder_ = std::move(subfolder);
  }
  return file;
}

CreatedFile DestinationFolder::Plan(std::string_view file_name, std::uint64_t token) {
  CreatedFile file;
  const FileSystemName name = FileSystemNameFor(file_name);
  if (name.use == NameUse::Refused) {
    file.failure_ = WhyNameRefused(file_name);
    return file;
  }
  if (!fd_.valid() && !planned_empty_) {
    file.failure_ = SystemFailure(open_error_);
    return file;
  }
  if (!case_known_) {
    case_known_ = true;
    folds_case_ = HostFoldsLetterCase(fd_.get());
  }
  // The name's route beneath the folder, and the key it is remembered by.
  const std::string route = WithoutClimbs(name.path);
  std::string key = PlanKey(route);
  const std::size_t slash = name.path.rfind('/');
  const std::string_view folder_path(name.path.data(), slash == std::string::npos ? 0 : slash);
  const char* leaf = name.path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
  const bool testing_only = name.use == NameUse::TestOnly;
  UniqueFd subfolder;
  if (slash != std::string::npos && route != name.path) {
    // Through a "..": each component met in turn, as the run's walk meets it, a file planned
    // before standing where it was planned.
    CreateFailure why;
    const auto look = [&](int from, const std::string& component, std::string_view subject) {
      if (planned_.contains(PlanKey(WithoutClimbs(std::string(subject))))) {
        why = {CreateCause::SubfolderIsFile, std::string(subject)};
        return false;
      }
      if (fd_.valid()) return IsSubfolderToEnter(from, component, subject, why);
      why = MissingInPlannedFolder(component, subject);
      return false;
    };
    Walk walk = WalkSubfolders(folder_path, look);
    if (!walk.folder.valid()) {
      file.failure_ =
          testing_only ? WhyNameRefused(file_name) : WalkFailure(walk.end, why, LastError());
      return file;
    }
    subfolder = std::move(walk.folder);
  } else if (slash != std::string::npos) {
    // A file planned where a subfolder should be stands in the way as one made would. Where
    // it was planned, the components before it were folders.
    for (std::size_t end = key.find('/'); end != std::string::npos; end = key.find('/', end + 1)) {
      if (planned_.contains(key.substr(0, end))) {
        file.failure_ = testing_only
                            ? WhyNameRefused(file_name)
                            : CreateFailure{CreateCause::SubfolderIsFile, route.substr(0, end)};
        return file;
      }
    }
    if (fd_.valid()) subfolder = OpenParent(folder_path);
    if (!subfolder.valid()) {
      if (testing_only) {
        file.failure_ = WhyNameRefused(file_name);
      } else if (fd_.valid()) {
        file.failure_ = WhySubfolderFails(folder_path, LastError());
      } else {
        const std::string first = route.substr(0, route.find('/'));
        file.failure_ = MissingInPlannedFolder(first, first);
      }
      return file;
    }
  }
  if (const auto earlier = planned_.find(key); earlier != planned_.end()) {
    file.outcome_ = CreateOutcome::ExistsAlready;
    file.earlier_ = earlier->second;
    return file;
  }
  const int parent = subfolder.valid() ? subfolder.get() : fd_.get();
  // Right in the folder, its entries read once answer for a look each.
  Entry entry{EntryKind::Missing};
  if (fd_.valid() && !subfolder.valid() && ListEntries()) {
    const auto listed = entries_.find(std::string(leaf));
    if (listed != entries_.end()) entry.kind = listed->second ? EntryKind::Folder : EntryKind::File;
  } else if (fd_.valid()) {
    entry = LookAt(parent, leaf);
  } else if (const Entry above = AskAbove(leaf); above.kind == EntryKind::Failed) {
    entry = above;
  }
  if (entry.kind == EntryKind::Folder) {
    file.failure_ =
        testing_only ? WhyNameRefused(file_name) : CreateFailure{CreateCause::FolderOfThatName};
  } else if (entry.kind == EntryKind::File || entry.kind == EntryKind::Link ||
             entry.kind == EntryKind::Other) {
    file.outcome_ = CreateOutcome::ExistsAlready;
  } else if (testing_only) {
    file.failure_ = WhyNameRefused(file_name);
  } else if (entry.kind == EntryKind::Denied) {
    file.failure_ = {CreateCause::NoPermission, std::string(folder_path)};
  } else if (entry.kind == EntryKind::Failed) {
    file.failure_ = SystemFailure(entry.error);
  } else if (file.failure_ = WhyNoCreateIn(parent, folder_path);
             file.failure_.cause == CreateCause::None) {
    file.outcome_ = CreateOutcome::Created;
    planned_.emplace(std::move(key), token);
  }
  return file;
}

DestinationFolder::Entry DestinationFolder::AskAbove(const std::string& name) const {
  return nearest_.valid() ? LookAt(nearest_.get(), name.c_str()) : Entry{EntryKind::Missing};
}

CreateFailure DestinationFolder::MissingInPlannedFolder(const std::string& component,
                                                        std::string_view subject) const {
  const Entry above = AskAbove(component);
  if (above.kind == EntryKind::Failed) return SystemFailure(above.error);
  return {CreateCause::MissingSubfolder, std::string(subject)};
}

CreateFailure DestinationFolder::WhyNoCreateIn(int folder, std::string_view folder_path) const {
  if (planned_empty_) return {};
  const bool here = folder_path.empty();
  if (here && asked_here_) return why_no_create_here_;
  CreateFailure why = HostWhyNoCreateIn(folder);
  if (why.cause == CreateCause::NoPermission) why.subject = folder_path;
  // A read-only file system may be made writable meanwhile; rights are kept as they are.
  if (here && why.cause != CreateCause::SystemError) {
    asked_here_ = true;
    why_no_create_here_ = why;
  }
  return why;
}

bool DestinationFolder::IsSubfolderToEnter(int from, const std::string& component,
                                           std::string_view subject, CreateFailure& why) {
  const Entry entry = LookAt(from, component.c_str());
  switch (entry.kind) {
    case EntryKind::Missing: why = {CreateCause::MissingSubfolder, std::string(subject)}; break;
    case EntryKind::Denied: why = {CreateCause::NoPermission, std::string(subject)}; break;
    case EntryKind::Failed: why = SystemFailure(entry.error); break;
    case EntryKind::Link: why = {CreateCause::SubfolderIsLink, std::string(subject)}; break;
    case EntryKind::File:
    case EntryKind::Other: why = {CreateCause::SubfolderIsFile, std::string(subject)}; break;
    case EntryKind::Folder: return true;
  }
  return false;
}

CreateFailure DestinationFolder::WalkFailure(WalkEnd end, CreateFailure why, int error) {
  switch (end) {
    case WalkEnd::Refused: return why;
    case WalkEnd::ClimbedAbove: return {CreateCause::ClimbsAbove};
    case WalkEnd::OpenFailed: return SystemFailure(LastError());
    case WalkEnd::Reached: break;
  }
  return SystemFailure(error);
}

CreateFailure DestinationFolder::WhySubfolderFails(std::string_view folder_path, int error) const {
  // Walked again, looking at each component before entering it.
  CreateFailure why;
  const auto look = [&why](int from, const std::string& component, std::string_view subject) {
    return IsSubfolderToEnter(from, component, subject, why);
  };
  const WalkEnd end = WalkSubfolders(folder_path, look).end;
  return WalkFailure(end, std::move(why), error);
}

RemoveResult DestinationFolder::RemoveIfUnchanged(const std::string& relative_path,
                                                  const FileIdentity& identity) {
  if (!fd_.valid()) return {RemoveOutcome::Gone};
  const std::size_t slash = relative_path.rfind('/');
  UniqueFd subfolder;
  if (slash != std::string::npos) {
    const std::string_view folder_path = std::string_view(relative_path).substr(0, slash);
    subfolder = OpenParent(folder_path);
    if (!subfolder.valid()) {
      // A subfolder gone takes its files with it; one replaced by a link is never entered.
      return {WhySubfolderFails(folder_path, 0).cause == CreateCause::MissingSubfolder
                  ? RemoveOutcome::Gone
                  : RemoveOutcome::Changed};
    }
  }
  const int parent = subfolder.valid() ? subfolder.get() : fd_.get();
  const char* leaf = relative_path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
  return RemoveFileAt(parent, leaf, identity);
}

DestinationFolder::Walk DestinationFolder::WalkSubfolders(std::string_view folder_path,
                                                          const WalkLook& look) const {
  // The folders entered so far; ".." steps back to the one before, never above this folder.
  std::vector<UniqueFd> entered;
  for (std::size_t start = 0; start <= folder_path.size();) {
    const std::size_t end = std::min(folder_path.find('/', start), folder_path.size());
    const std::string component(folder_path.substr(start, end - start));
    start = end + 1;
    if (component == "..") {
      if (entered.empty()) return {WalkEnd::ClimbedAbove, {}};
      entered.pop_back();
      continue;
    }
    const int from = entered.empty() ? fd_.get() : entered.back().get();
    if (look && !look(from, component, folder_path.substr(0, end))) return {WalkEnd::Refused, {}};
    UniqueFd next = OpenSubfolder(from, component);
    if (!next.valid()) return {WalkEnd::OpenFailed, {}};
    entered.push_back(std::move(next));
  }
  return {WalkEnd::Reached, entered.empty() ? Reopen() : std::move(entered.back())};
}

UniqueFd DestinationFolder::OpenParentByWalk(std::string_view folder_path) const {
  return WalkSubfolders(folder_path, nullptr).folder;
}

}  // namespace quillon
