#include "history/HistoryList.h"

#include <algorithm>
#include <limits>

#include "util/FileSystem.h"
#include "util/IoError.h"
#include "util/Platform.h"
#include "util/Text.h"
#include "util/TextLineReader.h"
#include "util/WholeNumber.h"

namespace quillon {
namespace {

constexpr const char* kLineEnd = "\r\n";

// ShortenLeft's width is 16 bits; wider limits would wrap to a short caption.
std::uint16_t CaptionWidth(std::int64_t width) {
  return static_cast<std::uint16_t>(
      std::clamp<std::int64_t>(width, 0, std::numeric_limits<std::uint16_t>::max()));
}

// True when the file at path holds exactly content; false when it differs or cannot be read.
bool FileHolds(const std::string& path, const std::string& content) {
  try {
    return ReadWholeFile(path, content.size()) == content;
  } catch (const IoError&) {
    return false;
  }
}

}  // namespace

HistoryList::HistoryList(MessageHost& messages) : messages_(messages) {}

std::int32_t HistoryList::ReadLimit(const std::string& path, const std::string& name,
                                    std::int32_t fallback) {
  if (GetPathKind(path) != 'f') return fallback;
  TextLineReader reader(path, TextLineReader::CtrlZ::IsText, TextLineReader::LineFeed::EndsLine);
  std::optional<std::int32_t> value;
  if (!reader.AtEnd()) value = ReadWholeNumber(reader.ReadLine());
  reader.Close();
  // Neither dialog writes a negative limit, and one would leave no sensible list.
  if (!value || *value < 0) {
    messages_.ShowWarning("Invalid number in " + name);
    return fallback;
  }
  return *value;
}

void HistoryList::LoadHistory(const std::string& folder) {
  maxhistpath_ = JoinPath(folder, maxhistname);
  maxhist_ = ReadLimit(maxhistpath_, maxhistname, kDefaultMaxHist);
  maxitemlenpath_ = JoinPath(folder, maxitemlenname);
  maxitemlen_ = ReadLimit(maxitemlenpath_, maxitemlenname, kDefaultMaxItemLen);

  histpath_ = JoinPath(folder, histname);
  std::vector<std::string> loaded;
  if (GetPathKind(histpath_) == 'f') {
    TextLineReader reader(histpath_, TextLineReader::CtrlZ::IsText,
                          TextLineReader::LineFeed::EndsLine);
    while (!reader.AtEnd()) {
      std::string line = reader.ReadLine();
      const std::size_t nul = line.find('\0');
      if (nul != std::string::npos) {
        // A NUL byte ends the text; what stands before it on its line is still an item, but a
        // NUL right after a line end leaves no line there.
        line.resize(nul);
        if (nul > 0) loaded.push_back(std::move(line));
        break;
      }
      loaded.push_back(std::move(line));
    }
    reader.Close();
  }
  items_ = std::move(loaded);
  RebuildMenu();
}

std::size_t HistoryList::ShownLimit() const {
  return static_cast<std::size_t>(std::max<std::int32_t>(maxhist_, 0));
}

void HistoryList::AddItem(std::string text) {
  std::optional<std::size_t> match;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (EqualsIgnoringAsciiCase(items_[i], text)) match = i;
  }
  if (match) {
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(*match));
    items_.insert(items_.begin(), std::move(text));
  } else {
    items_.insert(items_.begin(), std::move(text));
    const std::size_t limit = ShownLimit();
    if (items_.size() > limit) items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(limit));
  }
  RebuildMenu();
}

std::optional<std::string> HistoryList::Pick(std::size_t tag) {
  if (tag >= items_.size()) return std::nullopt;
  std::string text = items_[tag];
  AddItem(text);
  return text;
}

void HistoryList::RemoveEntry(std::size_t tag) {
  if (tag >= items_.size()) return;
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(tag));
  RebuildMenu();
}

void HistoryList::RemoveAll() {
  if (items_.empty()) {
    messages_.ShowNotice("History is already empty!");
    return;
  }
  if (!messages_.AskYesNo("Really want to remove all history items??")) return;
  items_.clear();
  RebuildMenu();
}

std::optional<std::int32_t> HistoryList::CheckDialogValue(std::string_view text,
                                                          std::int32_t limit) {
  const std::optional<std::int32_t> value = ReadWholeNumber(text);
  if (!value) {
    messages_.ShowError("Invalid number!!");
    return std::nullopt;
  }
  if (*value < 0 || *value > limit) {
    messages_.ShowError("Number must be between 0 and " + std::to_string(limit));
    return std::nullopt;
  }
  return value;
}

void HistoryList::SaveLimit(const std::string& path, std::int32_t value) {
  try {
    ReplaceFileAtomically(path, std::to_string(value) + kLineEnd);
  } catch (const IoError&) {
    messages_.ShowError("Unable to save max history file " + path + "!!");
  }
}

void HistoryList::SetMaxHistFromText(std::string_view text) {
  const std::optional<std::int32_t> value = CheckDialogValue(text, kMaxHistLimit);
  if (!value) return;
  maxhist_ = *value;
  if (items_.size() > ShownLimit()) {
    items_.resize(ShownLimit());
    RebuildMenu();
  }
  SaveLimit(maxhistpath_, maxhist_);
}

void HistoryList::SetMaxItemLenFromText(std::string_view text) {
  const std::optional<std::int32_t> value = CheckDialogValue(text, kMaxItemLenLimit);
  if (!value) return;
  maxitemlen_ = *value;
  RebuildMenu();
  SaveLimit(maxitemlenpath_, maxitemlen_);
}

std::string HistoryList::EntryCaption(const std::string& item) const {
  return ShortenLeft(item, CaptionWidth(maxitemlen_));
}

std::string HistoryList::RemoveCaption(const std::string& item) const {
  // Below a length of 7 nothing of the item fits beside "remove "; "..." alone stands for it.
  return "remove " + ShortenLeft(item, CaptionWidth(std::int64_t{maxitemlen_} - 7));
}

void HistoryList::RebuildMenu() {
  if (entries_) entries_->ClearEntries();
  const std::size_t limit = ShownLimit();
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (i >= limit) {
      messages_.ShowNotice("count > maxhist??");
      break;
    }
    if (entries_) entries_->AddEntry(i, EntryCaption(items_[i]), RemoveCaption(items_[i]));
  }
  // Before LoadHistory there is no file to keep the list in.
  if (histpath_.empty()) return;
  std::string content;
  for (const std::string& item : items_) content += item + kLineEnd;
  // A first item that begins like a byte-order mark would be read as one: a mark goes first.
  for (const std::string_view mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
    if (content.starts_with(mark)) {
      content.insert(0, "\xEF\xBB\xBF");
      break;
    }
  }
  // A file that holds the list already is left alone: a start that finds the lists as they
  // were writes nothing, and syncs nothing.
  if (FileHolds(histpath_, content)) return;
  try {
    ReplaceFileAtomically(histpath_, content);
  } catch (const IoError&) {
    throw UserError("Unable to write to " + histpath_);
  }
}

}  // namespace quillon
