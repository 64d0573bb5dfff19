#include "quillon/view/viewer_window.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QListWidget>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <fstream>
#include <iostream>

#include "quillon/view/csv_export.h"
#include "quillon/view/listing_text.h"
#include "quillon/view/plot_widget.h"
#include "quillon/view/save_reader.h"

namespace quillon::view {

namespace {

constexpr int kFirstSignalsShown = 4;
constexpr int kSnapshotWidth = 1400, kSnapshotHeight = 900;
enum SignalColumn { kNumber, kSymbol, kLongName, kUnit, kGroup, kHundredPercent, kColumnCount };

QString qs(const std::string& text) { return QString::fromStdString(text); }

// A header click sorts numbers as numbers; the rest as text, which orders the records'
// "yyyy/mm/dd hh:mm:ss" times as times.
class RecordSortModel : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
    const QString a = left.data().toString().trimmed(), b = right.data().toString().trimmed();
    bool aNumber = false, bNumber = false;
    const double x = a.toDouble(&aNumber), y = b.toDouble(&bNumber);
    if (aNumber && bNumber) return x < y;
    if (aNumber != bNumber) return aNumber;  // numbers before texts and empty cells
    return a.compare(b, Qt::CaseInsensitive) < 0;
  }
};

// A search field that keeps the rows holding its text, in any column.
QLineEdit* searchField(const QString& placeholder) {
  auto* field = new QLineEdit;
  field->setPlaceholderText(placeholder);
  field->setClearButtonEnabled(true);
  return field;
}

// A record table as it was read, shown without copying it into items.
class RecordTableModel : public QAbstractTableModel {
 public:
  RecordTableModel(const RecordTable& table, QObject* parent) : QAbstractTableModel(parent), table_(table) {}
  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(table_.rows.size());
  }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(table_.columns.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    const auto& row = table_.rows[static_cast<std::size_t>(index.row())];
    const auto column = static_cast<std::size_t>(index.column());
    return column < row.size() ? qs(row[column]) : QString();
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    return qs(table_.columns[static_cast<std::size_t>(section)]);
  }

 private:
  const RecordTable& table_;
};

QString bankLine(const Bank& bank) {
  QString line = bank.number ? qs(bank.title()) + "   " + qs(bank.faultTime) : qs(bank.title());
  if (!bank.faults.empty()) line += "   " + qs(bank.faultSummary());
  return line;
}

std::string htmlEscaped(const std::string& text) { return QString::fromStdString(text).toHtmlEscaped().toStdString(); }

}  // namespace

ViewerWindow::ViewerWindow(const SaveModel& model, QWidget* parent) : QMainWindow(parent), model_(model) { build(); }

ViewerWindow::ViewerWindow(std::shared_ptr<const SaveModel> owned) : owned_(std::move(owned)), model_(*owned_) {
  build();
}

void ViewerWindow::build() {
  setWindowTitle(qs("Quillon - " + model_.name));
  tabs_ = new QTabWidget;
  tabs_->addTab(makeTracePage(), tr("Trace-back"));
  addTablePages();
  setCentralWidget(withGapsLine(tabs_));
  addMenus();
  if (!model_.banks.empty()) chooseBank(0);
}

ViewerWindow* ViewerWindow::OpenSave(const std::filesystem::path& path, const SaveOpener& opener, std::string& error) {
  try {
    const SaveOpener read = opener ? opener : [](const std::filesystem::path& p) { return ReadSave(p, {}); };
    auto* window = new ViewerWindow(std::make_shared<const SaveModel>(read(path)));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setSaveOpener(opener);
    window->setSecondsPerSampling(RememberedSampleTime(window->model_.drive.driveType));
    return window;
  } catch (const SaveError& e) {
    error = e.what();
  } catch (const std::exception& e) {
    error = path.string() + ": " + e.what();
  }
  return nullptr;
}

QWidget* ViewerWindow::withGapsLine(QWidget* content) {
  if (model_.gaps.empty()) return content;
  gaps_ = new QLabel(qs(Joined(model_.gaps, "\n")));
  gaps_->setWordWrap(true);
  gaps_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  gaps_->setStyleSheet("QLabel { background: #fff4ce; color: #3b2f00; padding: 4px; }");
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(gaps_);
  layout->addWidget(content, 1);
  return page;
}

void ViewerWindow::askAndOpen(bool folder) {
  const QString path = folder ? QFileDialog::getExistingDirectory(this, tr("Open a save folder"))
                              : QFileDialog::getOpenFileName(this, tr("Open a save"), {},
                                                             tr("Saves and workbooks (*.lzh *.LZH *.mdb *.MDB);;All files (*)"));
  if (path.isEmpty()) return;
  std::string error;
  ViewerWindow* opened = OpenSave(path.toStdString(), opener_, error);
  if (!opened) {
    QMessageBox::warning(this, tr("Open"), qs(error));
    return;
  }
  FitToScreen(*opened);
  opened->show();
}

void ViewerWindow::askAndPrint() {
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageOrientation(QPageLayout::Landscape);
  printer.setDocName(qs(exportBaseName()));
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  PrintScene(printer, plot_->titledScene(pictureTitle()));
}

void ViewerWindow::addMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(tr("&Open..."), QKeySequence::Open, this, [this] { askAndOpen(false); });
  file->addAction(tr("Open &folder..."), this, [this] { askAndOpen(true); });
  file->addAction(tr("&Print plot..."), QKeySequence::Print, this, [this] { askAndPrint(); });
  file->addSeparator();
  file->addAction(tr("&Close"), this, &QWidget::close);
  QMenu* view = menuBar()->addMenu(tr("&View"));
  view->addAction(tr("Sample time..."), this, [this] { askSampleTime(); });
  for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::CTRL | Qt::Key_Q),
                                  QKeySequence(Qt::Key_Escape)})
    connect(new QShortcut(key, this), &QShortcut::activated, this, &QWidget::close);
}

std::string ViewerWindow::exportBaseName() const {
  std::string name = model_.drive.panelName + "_" + model_.drive.driveType + "_" +
                     (bank_ ? BankFileStem(*bank_) : std::string("plot"));
  // Only characters every file system takes; runs of others become one underscore.
  std::string safe;
  for (const char c : name) {
    const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
    if (plain) safe += c;
    else if (safe.empty() || safe.back() != '_') safe += '_';
  }
  while (!safe.empty() && safe.back() == '_') safe.pop_back();
  return safe;
}

std::string ViewerWindow::pictureTitle() const {
  std::string title = model_.drive.panelName.empty() ? model_.name : model_.drive.panelName;
  if (!model_.drive.driveType.empty()) title += "   " + model_.drive.driveType;
  if (bank_) title += "   " + bankLine(*bank_).toStdString();
  return title;
}

void ViewerWindow::setSecondsPerSampling(std::optional<double> seconds) {
  secondsPerSampling_ = seconds;
  plot_->setSecondsPerSampling(seconds);
}

void ViewerWindow::askSampleTime() {
  bool ok = false;
  const double seconds = QInputDialog::getDouble(
      this, tr("Sample time"),
      tr("Seconds that one sampling value means for drives of type %1\n(0: the x axis counts samples):")
          .arg(qs(model_.drive.driveType)),
      secondsPerSampling_.value_or(0), 0, 1e6, 9, &ok);
  if (!ok) return;
  const std::optional<double> chosen = seconds > 0 ? std::optional<double>(seconds) : std::nullopt;
  RememberSampleTime(model_.drive.driveType, chosen);
  setSecondsPerSampling(chosen);
}

static QString sampleTimeKey(const std::string& driveType) {
  return "sample-time/" + (driveType.empty() ? QString("unknown") : qs(driveType));
}

std::optional<double> RememberedSampleTime(const std::string& driveType) {
  QSettings settings("Quillon", "viewer");
  bool ok = false;
  const double seconds = settings.value(sampleTimeKey(driveType)).toDouble(&ok);
  if (!ok || !(seconds > 0)) return std::nullopt;
  return seconds;
}

void RememberSampleTime(const std::string& driveType, std::optional<double> seconds) {
  QSettings settings("Quillon", "viewer");
  if (seconds) settings.setValue(sampleTimeKey(driveType), *seconds);
  else settings.remove(sampleTimeKey(driveType));
}

QWidget* ViewerWindow::makeDriveBox() {
  auto* box = new QGroupBox(tr("Drive"));
  auto* form = new QFormLayout(box);
  form->setContentsMargins(6, 4, 6, 4);
  form->setVerticalSpacing(1);
  for (const LabelledText& row : DriveInfoRows(model_.drive)) {
    auto* value = new QLabel(qs(row.text));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(qs(row.label) + ":", value);
  }
  return box;
}

QWidget* ViewerWindow::makeSignalsBox() {
  auto* box = new QGroupBox(tr("Signals (tick to plot)"));
  auto* layout = new QVBoxLayout(box);
  signals_ = new QTreeWidget;
  signals_->setColumnCount(kColumnCount);
  signals_->setHeaderLabels({"#", tr("Symbol"), tr("Long name"), tr("Unit"), tr("Group"), tr("100 %")});
  signals_->setRootIsDecorated(false);
  signals_->setUniformRowHeights(true);
  connect(signals_, &QTreeWidget::itemChanged, this, [this] { signalTicked(); });
  // Hides what does not match rather than sorting: a row stays the signal of its place.
  signalSearch_ = searchField(tr("Search signals (symbol or name)"));
  connect(signalSearch_, &QLineEdit::textChanged, this, [this] { filterSignals(); });
  layout->addWidget(signalSearch_);
  layout->addWidget(signals_);
  auto* buttons = new QHBoxLayout;
  auto* none = new QPushButton(tr("None"));
  connect(none, &QPushButton::clicked, this, [this] { chooseSignals({}); });
  auto* first = new QPushButton(tr("First %1").arg(kFirstSignalsShown));
  connect(first, &QPushButton::clicked, this, [this] {
    std::vector<std::size_t> chosen;
    for (std::size_t i = 0; bank_ && i < bank_->signals.size() && i < kFirstSignalsShown; ++i) chosen.push_back(i);
    chooseSignals(chosen);
  });
  buttons->addWidget(first);
  buttons->addWidget(none);
  buttons->addStretch();
  layout->addLayout(buttons);
  return box;
}

QWidget* ViewerWindow::makePlotPane() {
  auto* pane = new QWidget;
  auto* layout = new QVBoxLayout(pane);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* tools = new QHBoxLayout;
  plot_ = new PlotWidget;
  auto button = [tools](const QString& text, const QString& tip, auto action) {
    auto* b = new QToolButton;
    b->setText(text);
    b->setToolTip(tip);
    QObject::connect(b, &QToolButton::clicked, action);
    tools->addWidget(b);
  };
  button(tr("Zoom in"), tr("Zoom in (+, mouse wheel)"), [this] { plot_->zoomIn(); });
  button(tr("Zoom out"), tr("Zoom out (-, mouse wheel)"), [this] { plot_->zoomOut(); });
  button(tr("Whole trace"), tr("Show every sample (Home, double click); drag to pan"), [this] { plot_->fit(); });
  percent_ = new QCheckBox(tr("% of PCTValue"));
  percent_->setToolTip(tr("Values as a percentage of the signal's 100 % value, where the workbook has one"));
  connect(percent_, &QCheckBox::toggled, this, [this](bool on) { plot_->setPercent(on); });
  percent_->setChecked(true);  // a percent signal's stored count is no engineering value
  tools->addWidget(percent_);
  tools->addStretch();
  button(tr("Export PNG..."), tr("Save the plot as a PNG picture"), [this] { askAndExport(false); });
  button(tr("Export SVG..."), tr("Save the plot as an SVG drawing"), [this] { askAndExport(true); });
  layout->addLayout(tools);

  auto* plotAndReadout = new QHBoxLayout;
  plotAndReadout->addWidget(plot_, 1);
  readout_ = new QLabel;
  readout_->setMinimumWidth(200);
  readout_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  readout_->setText(tr("Move the mouse over the plot to read the values."));
  readout_->setWordWrap(true);
  connect(plot_, &PlotWidget::readoutChanged, this, [this](const QString& text) {
    readout_->setText(text.isEmpty() ? tr("Move the mouse over the plot to read the values.") : text);
  });
  plotAndReadout->addWidget(readout_);
  layout->addLayout(plotAndReadout, 1);
  return pane;
}

QWidget* ViewerWindow::makeTracePage() {
  auto* split = new QSplitter(Qt::Horizontal);
  auto* left = new QWidget;
  auto* column = new QVBoxLayout(left);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(makeDriveBox());
  auto* banksBox = new QGroupBox(tr("Banks"));
  auto* banksLayout = new QVBoxLayout(banksBox);
  banks_ = new QListWidget;
  for (const Bank& bank : model_.banks) {
    banks_->addItem(bankLine(bank));
    banks_->item(banks_->count() - 1)->setToolTip(qs(bank.source));
  }
  banks_->setMaximumHeight(std::min(8, std::max(2, static_cast<int>(model_.banks.size()))) * 22 + 8);
  connect(banks_, &QListWidget::currentRowChanged, this, [this](int row) { chooseBank(row); });
  banksLayout->addWidget(banks_);
  bankDetails_ = new QLabel;
  bankDetails_->setWordWrap(true);
  bankDetails_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  banksLayout->addWidget(bankDetails_);
  column->addWidget(banksBox);
  column->addWidget(makeSignalsBox(), 1);
  split->addWidget(left);
  split->addWidget(makePlotPane());
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);
  split->setSizes({470, 930});
  if (model_.banks.empty()) {
    readout_->setText(tr("This save holds no trace-back bank."));
  }
  return split;
}

void ViewerWindow::addTablePages() {
  for (const auto& [kind, table] : model_.tables) {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* search = searchField(tr("Search %1").arg(qs(table.title).toLower()));
    layout->addWidget(search);
    if (!table.note.empty()) layout->addWidget(new QLabel(qs(table.note)));
    auto* view = new QTableView;
    layout->addWidget(view, 1);
    auto* sorted = new RecordSortModel(view);
    sorted->setSourceModel(new RecordTableModel(table, view));
    sorted->setFilterKeyColumn(-1);
    sorted->setFilterCaseSensitivity(Qt::CaseInsensitive);
    connect(search, &QLineEdit::textChanged, sorted, &QSortFilterProxyModel::setFilterFixedString);
    view->setModel(sorted);
    view->setSortingEnabled(true);
    view->sortByColumn(-1, Qt::AscendingOrder);  // as saved until a header is clicked
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    view->verticalHeader()->setDefaultSectionSize(20);
    // Fitting the columns to their contents looks at every row; a long table fits the first rows.
    view->resizeColumnsToContents();
    view->setToolTip(qs(table.source));
    tabs_->addTab(page, qs(table.title));
  }
}

void ViewerWindow::showBankDetails(const Bank& bank) {
  std::string html = "<b>" + htmlEscaped(bank.number ? bank.title() : bank.source) + "</b>, fault time " +
                     htmlEscaped(bank.faultTime);
  if (!bank.softVersion.empty()) html += ", firmware " + htmlEscaped(bank.softVersion);
  html += "<br>";
  for (const Fault& f : bank.faults) {
    html += "FI " + htmlEscaped(f.code);
    if (!f.name.empty()) html += " <b>" + htmlEscaped(f.name) + "</b>";
    if (!f.explanation.empty()) html += " " + htmlEscaped(f.explanation);
    if (f.detectedSample) html += ", detected at sample " + std::to_string(*f.detectedSample);
    html += "<br>";
  }
  for (const SampleGroup& g : bank.groups)
    html += "Group " + std::to_string(g.number) + ": " + std::to_string(g.depth) + " samples, fault sample " +
            std::to_string(g.faultSample) + ", sampling " + std::to_string(g.sampling) + "<br>";
  if (bank.rawSamples) html += "<i>No drive database: samples as the drive sent them.</i>";
  bankDetails_->setText(qs(html));
}

void ViewerWindow::chooseBank(int index) {
  if (index < 0 || index >= static_cast<int>(model_.banks.size())) return;
  std::vector<std::string> ticked;
  const bool keepTicks = bank_ != nullptr;
  for (int i = 0; keepTicks && i < signals_->topLevelItemCount(); ++i)
    if (signals_->topLevelItem(i)->checkState(kNumber) == Qt::Checked)
      ticked.push_back(signals_->topLevelItem(i)->text(kSymbol).toStdString());
  bank_ = &model_.banks[static_cast<std::size_t>(index)];
  if (banks_->currentRow() != index) banks_->setCurrentRow(index);
  showBankDetails(*bank_);
  filling_ = true;
  signals_->clear();
  QList<QTreeWidgetItem*> items;
  for (const Signal& s : bank_->signals) {
    auto* item = new QTreeWidgetItem;
    item->setText(kNumber, QString::number(s.number));
    item->setText(kSymbol, qs(s.symbol));
    item->setText(kLongName, qs(s.longName));
    item->setText(kUnit, qs(s.unit));
    item->setText(kGroup, s.group ? QString::number(s.group) : tr("-"));
    item->setText(kHundredPercent, PercentOf(s, 0) ? qs(ValueText(*s.pctValue)) : QString());
    item->setToolTip(kSymbol, qs(s.address));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    // The signals ticked in the bank before stay ticked where this bank has them too.
    const bool on = keepTicks ? std::find(ticked.begin(), ticked.end(), s.symbol) != ticked.end()
                              : s.number <= kFirstSignalsShown;
    item->setCheckState(kNumber, on ? Qt::Checked : Qt::Unchecked);
    items.append(item);
  }
  signals_->addTopLevelItems(items);
  filterSignals();
  // Fitted once: a header that fits its columns itself measures every row at each tick.
  for (int c = 0; c < kColumnCount; ++c) signals_->resizeColumnToContents(c);
  filling_ = false;
  plot_->setBank(bank_);
  signalTicked();
  plot_->fit();
}

void ViewerWindow::filterSignals() {
  const QString text = signalSearch_->text().trimmed();
  for (int i = 0; i < signals_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = signals_->topLevelItem(i);
    item->setHidden(!text.isEmpty() && !item->text(kSymbol).contains(text, Qt::CaseInsensitive) &&
                    !item->text(kLongName).contains(text, Qt::CaseInsensitive));
  }
}

void ViewerWindow::chooseSignals(const std::vector<std::size_t>& chosen) {
  filling_ = true;
  for (int i = 0; i < signals_->topLevelItemCount(); ++i) {
    const bool on = std::find(chosen.begin(), chosen.end(), static_cast<std::size_t>(i)) != chosen.end();
    signals_->topLevelItem(i)->setCheckState(kNumber, on ? Qt::Checked : Qt::Unchecked);
  }
  filling_ = false;
  signalTicked();
}

void ViewerWindow::signalTicked() {
  if (filling_) return;
  std::vector<std::size_t> chosen;
  for (int i = 0; i < signals_->topLevelItemCount(); ++i)
    if (signals_->topLevelItem(i)->checkState(kNumber) == Qt::Checked) chosen.push_back(static_cast<std::size_t>(i));
  plot_->setSignals(std::move(chosen));
}

void ViewerWindow::showPercent(bool percent) { percent_->setChecked(percent); }

// Encoded in memory and written as one complete file, so that a failure gives the system's reason.
static std::string writePng(const QImage& image, const std::filesystem::path& file) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return file.string() + ": the picture cannot be encoded.";
  try {
    WriteFileComplete(file, std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  } catch (const ExportError& error) {
    return error.what();
  }
  return {};
}

std::string ViewerWindow::exportPng(const std::filesystem::path& file) const { return writePng(plot_->toImage(pictureTitle()), file); }

std::string ViewerWindow::exportSvg(const std::filesystem::path& file) const {
  try {
    WriteFileComplete(file, plot_->toSvg(pictureTitle()));
  } catch (const ExportError& error) {
    return error.what();
  }
  return {};
}

void ViewerWindow::askAndExport(bool svg) {
  const QString filter = svg ? tr("SVG drawing (*.svg)") : tr("PNG picture (*.png)");
  const QString name = QFileDialog::getSaveFileName(this, svg ? tr("Export SVG") : tr("Export PNG"),
                                                    qs(exportBaseName()) + (svg ? ".svg" : ".png"), filter);
  if (name.isEmpty()) return;
  const std::string error = svg ? exportSvg(name.toStdString()) : exportPng(name.toStdString());
  if (!error.empty()) QMessageBox::warning(this, tr("Export"), qs(error));
}

void FitToScreen(QWidget& window) {
  QSize size(kSnapshotWidth, kSnapshotHeight);
  if (const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen())
    size = size.boundedTo(screen->availableGeometry().size());
  window.resize(size);
}

int RunViewer(const SaveModel& model, const std::optional<std::filesystem::path>& snapshot,
              const std::function<void(ViewerWindow&)>& prepare, std::optional<double> secondsPerSampling) {
  ViewerWindow window(model);
  if (prepare) prepare(window);
  window.setSecondsPerSampling(secondsPerSampling ? secondsPerSampling : RememberedSampleTime(model.drive.driveType));
  if (snapshot) {
    window.resize(kSnapshotWidth, kSnapshotHeight);
    window.show();
    QApplication::processEvents();
    if (const std::string failure = writePng(window.grab().toImage(), *snapshot); !failure.empty()) {
      std::cerr << "quillon: " << failure << "\n";
      return 1;
    }
    return 0;
  }
  FitToScreen(window);
  window.show();
  return QApplication::exec();
}

}  // namespace quillon::view
