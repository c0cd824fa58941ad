// Saves a picture of the folder tree, expanded a few levels into a folder made for it, as the
// PNG file named on the command line.
#include <stdlib.h>
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <filesystem>
#include <string>

#include "shelltree/ShellTree.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tree-screenshot PICTURE.png\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  namespace fs = std::filesystem;
  // Inside the home folder, so the picture shows the path from the volume through home.
  std::string base = QDir::homePath().toStdString() + "/Quillon screenshot-XXXXXX";
  if (!mkdtemp(base.data())) {
    std::fprintf(stderr, "cannot make a folder in the home folder\n");
    return 1;
  }
  struct Folder {
    std::string path;
    ~Folder() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
    std::string operator/(const char* name) const { return path + "/" + name; }
  } dir{base};
  for (const char* folder :
       {"Projects/Quillon/src/engine", "Projects/Quillon/src/shelltree", "Projects/Quillon/docs",
        "Projects/Website", "Music/Live", "Pictures/2024", "Pictures/2025"})
    fs::create_directories(dir / folder);
  fs::create_directory_symlink(dir / "Pictures/2025", dir / "Projects/Quillon/latest pictures");
  quillon::TShellTree tree;
  tree.setObjectName("ST1");
  tree.setIndentation(19);
  tree.resize(380, 620);
  tree.show();
  tree.SetPath(QString::fromStdString(dir / "Pictures"));
  tree.SetPath(QString::fromStdString(dir / "Projects/Quillon/src"));
  tree.scrollToItem(tree.Selected(), QAbstractItemView::PositionAtCenter);
  QApplication::processEvents();
  tree.UpdateExpandButtons();
  QApplication::processEvents();
  if (!tree.grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
