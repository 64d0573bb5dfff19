#pragma once
// The viewer's "Compare with...": another save chosen in a file dialog, or the previous save
// of the same drive; the differences show in a tab of their own.
#include <QString>
#include <filesystem>
#include <string>

#include "quillon/view/save_compare.h"

class QWidget;

namespace quillon::view {

class ViewerWindow;

struct CompareSetup {
  std::filesystem::path savePath;  // of the save the window shows
  CompareContext context;
};

inline const QString kDifferencesTab = QStringLiteral("Differences");

// The summary, then one group per section with the changed lines.
QWidget* MakeDifferencesPage(const SaveDiff& diff);

// Adds the menu "Compare" to the window. `model` and `setup` must outlive the window.
void AddCompareMenu(ViewerWindow& window, const SaveModel& model, const CompareSetup& setup);

// Compares with `other` (or the previous save of the drive when it is empty) and shows the
// differences tab; an empty text, or why nothing could be compared.
std::string CompareInWindow(ViewerWindow& window, const SaveModel& model, const CompareSetup& setup,
                            const std::filesystem::path& other);

}  // namespace quillon::view
