#pragma once
// The window of `quillon view`: the drive's identity and ratings, the banks, the chosen
// bank's signals with a plot of those ticked, and the record tables on tabs of their own.
#include <QMainWindow>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "quillon/view/save_model.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace quillon::view {

class PlotWidget;

class ViewerWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit ViewerWindow(const SaveModel& model, QWidget* parent = nullptr);
  // How a save opened from this window (File > Open) is read; throws SaveError.
  using SaveOpener = std::function<SaveModel(const std::filesystem::path&)>;
  void setSaveOpener(SaveOpener opener) { opener_ = std::move(opener); }
  // Reads the save at `path` with `opener` and shows it in a window of its own, which owns what
  // it read and opens further saves the same way; null with `error` set when it cannot be read.
  static ViewerWindow* OpenSave(const std::filesystem::path& path, const SaveOpener& opener, std::string& error);

  void chooseBank(int index);
  // Ticks exactly these signals (0-based) of the chosen bank.
  void chooseSignals(const std::vector<std::size_t>& signals);
  void showPercent(bool percent);
  // What one sampling value means in seconds; nothing: the x axis counts samples.
  void setSecondsPerSampling(std::optional<double> seconds);

  // Each returns an empty text, or why the file was not written.
  std::string exportPng(const std::filesystem::path& file) const;
  std::string exportSvg(const std::filesystem::path& file) const;

  // `<panel>_<type>_` and the bank's file stem (as the CSV export names it), in characters safe for a file name.
  std::string exportBaseName() const;
  // The line above an exported or printed plot: drive, bank, fault time and faults.
  std::string pictureTitle() const;
  // The line above the tabs saying what the save lacks; null when it lacks nothing.
  QLabel* gapsLine() const { return gaps_; }

  PlotWidget* plot() const { return plot_; }
  QTabWidget* tabs() const { return tabs_; }

 private:
  explicit ViewerWindow(std::shared_ptr<const SaveModel> owned);
  void build();
  QWidget* makeTracePage();
  QWidget* makeDriveBox();
  QWidget* makeSignalsBox();
  QWidget* makePlotPane();
  void addTablePages();
  void showBankDetails(const Bank& bank);
  void signalTicked();
  void filterSignals();
  void askAndExport(bool svg);
  void askAndOpen(bool folder);
  void askAndPrint();
  QWidget* withGapsLine(QWidget* content);
  void addMenus();
  void askSampleTime();

  std::shared_ptr<const SaveModel> owned_;  // set for a save opened from a window
  const SaveModel& model_;
  SaveOpener opener_;
  QLabel* gaps_ = nullptr;
  const Bank* bank_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QListWidget* banks_ = nullptr;
  QLabel* bankDetails_ = nullptr;
  QTreeWidget* signals_ = nullptr;
  QLineEdit* signalSearch_ = nullptr;
  PlotWidget* plot_ = nullptr;
  QCheckBox* percent_ = nullptr;
  QLabel* readout_ = nullptr;
  bool filling_ = false;
  std::optional<double> secondsPerSampling_;
};

// Sizes the window to its usual size, no larger than the screen's free area.
void FitToScreen(QWidget& window);

// The sampling time the user gave for a drive type in the viewer, remembered across runs.
std::optional<double> RememberedSampleTime(const std::string& driveType);
void RememberSampleTime(const std::string& driveType, std::optional<double> seconds);

// Opens the window; with `snapshot` renders it offscreen into that PNG file instead and
// returns. `prepare` adds to the window before it shows. Returns the program's exit status.
// `secondsPerSampling` given on the command line wins over the one remembered for the drive type.
int RunViewer(const SaveModel& model, const std::optional<std::filesystem::path>& snapshot,
              const std::function<void(ViewerWindow&)>& prepare = {},
              std::optional<double> secondsPerSampling = std::nullopt);

}  // namespace quillon::view
