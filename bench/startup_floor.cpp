// The floor of window-bench's start-up case: a minimal Qt program whose main window holds a
// tree view of the folders and a list of the files in the current folder, shown maximised as
// Quillon's window is.
#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QListView>
#include <QMainWindow>
#include <QTreeView>

#include "FirstPaint.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QMainWindow window;
  auto* central = new QWidget;
  auto* layout = new QHBoxLayout(central);
  auto* folders = new QFileSystemModel(&window);
  folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  folders->setRootPath(QDir::rootPath());
  auto* tree = new QTreeView;
  tree->setModel(folders);
  auto* files = new QFileSystemModel(&window);
  files->setFilter(QDir::Files);
  auto* list = new QListView;
  list->setModel(files);
  list->setRootIndex(files->setRootPath(QDir::currentPath()));
  layout->addWidget(tree);
  layout->addWidget(list);
  window.setCentralWidget(central);
  FirstPaintReporter reporter(&window);
  window.showMaximized();
  return application.exec();
}
