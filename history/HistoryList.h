// A list of recently used texts (most recent first) with its two limits, kept in three small
// text files: the history file (one item per line), the count file (maxhist) and the length
// file (maxitemlen). The menus that show it implement HistoryEntries; the list itself knows
// nothing of menus or of what its items mean.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/MessageHost.h"

namespace quillon {

// Where a history shows its entries: the window's menus, or a recorder in tests.
class HistoryEntries {
 public:
  virtual ~HistoryEntries() = default;
  // Every history entry and remove entry made before goes.
  virtual void ClearEntries() = 0;
  // The entry for the item at index (its tag) and the matching remove entry.
  virtual void AddEntry(std::size_t index, const std::string& caption,
                        const std::string& remove_caption) = 0;
};

class HistoryList {
 public:
  static constexpr std::int32_t kDefaultMaxHist = 10;
  static constexpr std::int32_t kDefaultMaxItemLen = 2000;
  static constexpr std::int32_t kMaxHistLimit = 100;
  static constexpr std::int32_t kMaxItemLenLimit = 10000;

  explicit HistoryList(MessageHost& messages);

  // Not owned; nullptr shows nothing (the file is still written).
  void SetEntries(HistoryEntries* entries) { entries_ = entries; }

  // Writing a limit only stores it: no rebuild, no file write.
  std::int32_t maxhist() const { return maxhist_; }
  void set_maxhist(std::int32_t value) { maxhist_ = value; }
  std::int32_t maxitemlen() const { return maxitemlen_; }
  void set_maxitemlen(std::int32_t value) { maxitemlen_ = value; }

  std::string histname = "files.his";
  std::string maxhistname = "max.his";
  std::string maxitemlenname = "maxlen.his";

  const std::vector<std::string>& items() const { return items_; }
  const std::string& histpath() const { return histpath_; }
  const std::string& maxhistpath() const { return maxhistpath_; }
  const std::string& maxitemlenpath() const { return maxitemlenpath_; }

  // Reads both limits and the items from the three files in folder, then rebuilds. A bad
  // count or length file gives a warning and the default; a read failure of the files throws
  // IoError, a write failure UserError.
  void LoadHistory(const std::string& folder);

  // Records a use: an item equal but for ASCII letter case (the last such) moves to the top
  // in the new spelling; a new text goes on top and at most one item beyond maxhist drops.
  // Then rebuilds. Throws UserError "Unable to write to <file>" when the history file cannot
  // be written.
  void AddItem(std::string text);

  // The entries' commands; each takes the entry's tag and ignores a tag that no longer
  // names an item. Pick gives the picked text after moving it to the top.
  std::optional<std::string> Pick(std::size_t tag);
  void RemoveEntry(std::size_t tag);
  // Asks first; tells when there is nothing to remove.
  void RemoveAll();

  // The dialogs' texts: checked against 0..limit (errors shown, nothing changed), stored,
  // and saved to the count or length file (a failure shown; the value stays in force).
  void SetMaxHistFromText(std::string_view text);
  void SetMaxItemLenFromText(std::string_view text);

  // Shows the first maxhist items as entries and writes the whole list to the history file,
  // unless the file holds it already.
  void RebuildMenu();

  std::string EntryCaption(const std::string& item) const;
  std::string RemoveCaption(const std::string& item) const;

 private:
  std::int32_t ReadLimit(const std::string& path, const std::string& name, std::int32_t fallback);
  std::optional<std::int32_t> CheckDialogValue(std::string_view text, std::int32_t limit);
  void SaveLimit(const std::string& path, std::int32_t value);
  std::size_t ShownLimit() const;

  MessageHost& messages_;
  HistoryEntries* entries_ = nullptr;
  std::int32_t maxhist_ = kDefaultMaxHist;
  std::int32_t maxitemlen_ = kDefaultMaxItemLen;
  std::vector<std::string> items_;
  std::string histpath_;
  std::string maxhistpath_;
  std::string maxitemlenpath_;
};

}  // namespace quillon
