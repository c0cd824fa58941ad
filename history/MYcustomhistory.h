// TMYcustomhistory: a non-visual component that appends a list of recently used texts to the
// submenu of one menu item, with a ">>>" submenu to set its two limits, remove one entry or
// clear the whole list. The list and the limits live in three files in one folder.
//
// Use from a window:
//   auto* history = new TMYcustomhistory(this);         // owned by the window
//   history->setObjectName("MyEnterH");
//   history->setMenuitem(enterMenu);   // its own entries ("&Browse...", "-") stay first
//   history->setFolder(dataFolder);    // the folder of the three files
//   history->setHistname("files.his");
//   history->setMaxhistname("max.his");
//   history->setMaxitemlenname("maxlen.his");
//   connect(history, &TMYcustomhistory::Onitemclicked, this, &TmainF::MyEnterHitemclicked);
//   history->LoadHistory();            // once, after the above
//   history->AddItem(path);            // at every use of a path, from wherever it came
//
// LoadHistory and AddItem write the history file when its contents change, and throw
// quillon::IoError when a file cannot be read or written; the caller reports it. The component's
// own menu commands report such failures themselves with the application error box. Onitemclicked
// is raised after a picked entry's item moved to the top; the handler gets the item's full text,
// however its caption was shortened. Two components naming the same files share nothing in memory:
// the owner keeps them in step by calling AddItem on both.
#pragma once

#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "history/HistoryList.h"
#include "util/ui/SeamMessageHost.h"

class QAction;

namespace quillon {

class TMYcustomhistory : public QObject, private HistoryEntries {
  Q_OBJECT
  Q_PROPERTY(QMenu* Menuitem READ Menuitem WRITE setMenuitem)
  Q_PROPERTY(int maxhist READ maxhist WRITE setMaxhist)
  Q_PROPERTY(int maxitemlen READ maxitemlen WRITE setMaxitemlen)
  Q_PROPERTY(QString histname READ histname WRITE setHistname)
  Q_PROPERTY(QString maxhistname READ maxhistname WRITE setMaxhistname)
  Q_PROPERTY(QString maxitemlenname READ maxitemlenname WRITE setMaxitemlenname)
  Q_PROPERTY(bool Enabled READ Enabled WRITE setEnabled)

 public:
  explicit TMYcustomhistory(QObject* owner = nullptr);
  ~TMYcustomhistory() override;

  // The submenu that receives ">>>" and the entries; set before LoadHistory.
  QMenu* Menuitem() const { return menuitem_; }
  void setMenuitem(QMenu* menu) { menuitem_ = menu; }
  // The folder of the three files (the program's data folder); set before LoadHistory.
  QString folder() const { return folder_; }
  void setFolder(const QString& folder) { folder_ = folder; }

  // Writing a limit only stores it; LoadHistory replaces both from their files.
  int maxhist() const { return list_.maxhist(); }
  void setMaxhist(int value) { list_.set_maxhist(value); }
  int maxitemlen() const { return list_.maxitemlen(); }
  void setMaxitemlen(int value) { list_.set_maxitemlen(value); }
  QString histname() const;
  void setHistname(const QString& name);
  QString maxhistname() const;
  void setMaxhistname(const QString& name);
  QString maxitemlenname() const;
  void setMaxitemlenname(const QString& name);

  // Whether the history entries can be picked; ">>>" stays enabled.
  bool Enabled() const { return enabled_; }
  void setEnabled(bool on);

  void LoadHistory();
  void AddItem(const QString& text);
  void RebuildMenu();

  // The items, most recent first.
  QStringList items() const;
  // The ">>>" submenu, once LoadHistory has made it.
  QMenu* toolsitem() const { return toolsitem_; }

 signals:
  void Onitemclicked(TMYcustomhistory* Sender, const QString& str);

 private:
  void ClearEntries() override;
  void AddEntry(std::size_t index, const std::string& caption,
                const std::string& remove_caption) override;
  QAction* NewCommand(QMenu* menu, const char* caption, const char* name);

  void EntryClick(QAction* entry);
  void RemoveEntryClick(QAction* entry);
  void RemoveAllClick();
  void SetMaxHistClick();
  void SetMaxItemLenClick();

  ui::SeamMessageHost messages_;
  HistoryList list_;
  QPointer<QMenu> menuitem_;
  QPointer<QMenu> toolsitem_;
  QAction* setmaxhistitem_ = nullptr;
  QAction* setmaxitemlenitem_ = nullptr;
  QAction* removeallitem_ = nullptr;
  QAction* removesepitem_ = nullptr;
  // The entries of the last rebuild; older ones are released once their clicks are done.
  QList<QAction*> entries_;
  QList<QAction*> remove_entries_;
  QString folder_;
  bool enabled_ = true;
};

}  // namespace quillon
