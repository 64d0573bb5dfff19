#include "quillon/view/compare_tab.h"

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "quillon/view/save_reader.h"
#include "quillon/view/viewer_window.h"

namespace quillon::view {

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

enum DiffColumn { kKey, kName, kUnit, kOld, kNew, kChange, kColumnCount };

QTreeWidgetItem* entryItem(const DiffEntry& entry) {
  auto* item = new QTreeWidgetItem;
  item->setText(kKey, qs(entry.key));
  item->setText(kName, qs(entry.name));
  item->setText(kUnit, qs(entry.unit));
  item->setText(kOld, entry.oldValue ? qs(*entry.oldValue) : QObject::tr("(none)"));
  item->setText(kNew, entry.newValue ? qs(*entry.newValue) : QObject::tr("(none)"));
  item->setText(kChange, qs(entry.change));
  return item;
}

void replaceDifferencesTab(ViewerWindow& window, QWidget* page) {
  QTabWidget* tabs = window.tabs();
  for (int i = tabs->count() - 1; i >= 0; --i)
    if (tabs->tabText(i) == kDifferencesTab) {
      QWidget* old = tabs->widget(i);
      tabs->removeTab(i);
      old->deleteLater();
    }
  tabs->setCurrentIndex(tabs->addTab(page, kDifferencesTab));
}

}  // namespace

QWidget* MakeDifferencesPage(const SaveDiff& diff) {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* heading = new QLabel(QObject::tr("Older: %1\nNewer: %2\n%3").arg(qs(diff.oldSave), qs(diff.newSave), qs(diff.summary())));
  heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
  heading->setWordWrap(true);
  layout->addWidget(heading);
  auto* tree = new QTreeWidget;
  tree->setColumnCount(kColumnCount);
  tree->setHeaderLabels({QObject::tr("Key"), QObject::tr("Name"), QObject::tr("Unit"), QObject::tr("Older"),
                         QObject::tr("Newer"), QObject::tr("Change")});
  tree->setUniformRowHeights(true);
  for (DiffSection section : kDiffSections) {
    const auto& entries = diff.entries(section);
    if (entries.empty()) continue;
    auto* group = new QTreeWidgetItem(tree);
    group->setText(kKey, QStringLiteral("%1 (%2)").arg(qs(DiffSectionTitle(section))).arg(entries.size()));
    group->setFirstColumnSpanned(true);
    for (const DiffEntry& entry : entries) group->addChild(entryItem(entry));
  }
  for (const std::string& note : diff.notes) {
    auto* item = new QTreeWidgetItem(tree);
    item->setText(kKey, qs(note));
    item->setFirstColumnSpanned(true);
  }
  tree->expandAll();
  for (int c = 0; c < kColumnCount; ++c) tree->resizeColumnToContents(c);
  layout->addWidget(tree, 1);
  return page;
}

std::string CompareInWindow(ViewerWindow& window, const SaveModel& model, const CompareSetup& setup,
                            const std::filesystem::path& other) {
  try {
    std::filesystem::path with = other;
    if (with.empty()) {
      const auto previous = PreviousSaveOf(setup.savePath, model, setup.context);
      if (!previous) return "There is no earlier save of this drive (" + model.drive.driveType + " \"" +
                            model.drive.panelName + "\").";
      with = *previous;
    }
    replaceDifferencesTab(window, MakeDifferencesPage(CompareWithSave(model, setup.savePath, with, setup.context)));
  } catch (const std::exception& error) {
    return error.what();
  }
  return {};
}

void AddCompareMenu(ViewerWindow& window, const SaveModel& model, const CompareSetup& setup) {
  QMenu* menu = window.menuBar()->addMenu(QObject::tr("&Compare"));
  auto compare = [&window, &model, &setup](const std::filesystem::path& other) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::string error = CompareInWindow(window, model, setup, other);
    QApplication::restoreOverrideCursor();
    if (!error.empty()) QMessageBox::warning(&window, QObject::tr("Compare"), qs(error));
  };
  const QString start = qs(setup.savePath.parent_path().string());
  QObject::connect(menu->addAction(QObject::tr("Compare with...")), &QAction::triggered, &window, [&window, compare, start] {
    const QString file = QFileDialog::getOpenFileName(&window, QObject::tr("Compare with"), start,
                                                      QObject::tr("Saves (*.lzh *.mdb);;All files (*)"));
    if (!file.isEmpty()) compare(file.toStdString());
  });
  QObject::connect(menu->addAction(QObject::tr("Compare with a save folder...")), &QAction::triggered, &window,
                   [&window, compare, start] {
                     const QString folder = QFileDialog::getExistingDirectory(&window, QObject::tr("Compare with"), start);
                     if (!folder.isEmpty()) compare(folder.toStdString());
                   });
  QObject::connect(menu->addAction(QObject::tr("Compare with the previous save of this drive")), &QAction::triggered,
                   &window, [compare] { compare({}); });
}

}  // namespace quillon::view
