// The viewer's window offscreen: banks and signals chosen, zoom and pan kept inside the
// trace, the plot exported as PNG and SVG.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTabWidget>
#include <QTest>

#include "quillon/view/compare_tab.h"
#include "quillon/view/csv_export.h"
#include "quillon/view/plot_widget.h"
#include "quillon/view/save_reader.h"
#include "quillon/view/viewer_window.h"
#include "tests/view/view_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace quillon::view;

TEST(ViewerWindow, ChoosesBanksAndSignalsZoomsAndExports) {
  view_test::Scratch scratch;
  view_test::WriteWorkbook(scratch.path() / "app");
  view_test::WriteCsvSet(scratch.path() / "app");
  const fs::path folder = scratch.path() / "app" / "TRBSAVE";
  view_test::WriteText(folder / "TroubleRecord_P.csv",
                       "2,2014/03/12 08:15:02,17,2\r\n10,2013/01/01 00:00:00,1,0\r\n9,2015/05/05 10:00:00,3,0\r\n");
  const SaveModel model = ReadSave(folder, platform::shell::CodePage());

  ViewerWindow window(model);
  window.resize(1200, 800);
  window.show();
  QApplication::processEvents();
  ASSERT_NE(window.gapsLine(), nullptr);
  EXPECT_TRUE(window.gapsLine()->text().contains("working folder of a save run that did not end"));
  EXPECT_TRUE(window.gapsLine()->text().contains("without the drive database")) << "its CSV set";
  EXPECT_LE(window.minimumSizeHint().width(), 1280) << "fits a 1280 x 800 screen";
  EXPECT_LE(window.minimumSizeHint().height(), 800 - 60) << "with room for a panel";
  ASSERT_EQ(window.tabs()->count(), 2);
  EXPECT_EQ(window.tabs()->tabText(1), "Trouble records");
  auto* records = window.tabs()->widget(1)->findChild<QTableView*>();
  ASSERT_NE(records, nullptr);
  records->sortByColumn(0, Qt::AscendingOrder);
  EXPECT_EQ(records->model()->index(2, 0).data().toString(), "10") << "numbers sort as numbers";
  window.tabs()->widget(1)->findChild<QLineEdit*>()->setText("2015/05");
  EXPECT_EQ(records->model()->rowCount(), 1) << "the search field keeps the matching rows";

  PlotWidget& plot = *window.plot();
  EXPECT_EQ(plot.request().bank, &model.banks[0]);
  EXPECT_EQ(plot.request().signals, (std::vector<std::size_t>{0, 1, 2, 3})) << "the first four ticked";
  window.chooseSignals({0, 2});
  window.chooseBank(1);
  EXPECT_EQ(plot.request().signals, (std::vector<std::size_t>{2})) << "ticks kept by symbol, where bank 1 has it";
  window.chooseSignals({0, 2});
  const std::string name = window.exportBaseName();
  EXPECT_EQ(name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-."),
            std::string::npos) << name;
  EXPECT_NE(name.find(BankFileStem(model.banks[1])), std::string::npos) << name;
  EXPECT_EQ(plot.request().bank, &model.banks[1]);
  EXPECT_EQ(plot.request().signals, (std::vector<std::size_t>{0, 2}));
  // Samples from each group's fault: group 1 (fault at 40 of 128) spans -39..88, group 2
  // (fault at 20 of 64) -19..44.
  EXPECT_EQ(plot.first(), -39);
  EXPECT_EQ(plot.last(), 88) << "the longer of the two groups";

  for (int i = 0; i < 20; ++i) plot.zoomIn();
  EXPECT_NEAR(plot.last() - plot.first(), 4, 1e-9) << "no closer than four samples";
  plot.panBy(1000);
  EXPECT_EQ(plot.last(), 88);
  plot.panBy(-1000);
  EXPECT_EQ(plot.first(), -39);
  for (int i = 0; i < 20; ++i) plot.zoomOut();
  EXPECT_EQ(plot.first(), -39);
  EXPECT_EQ(plot.last(), 88) << "no wider than the trace";
  window.setSecondsPerSampling(0.001);  // group 1 samples every 1.001 s, group 2 every 2.002 s
  EXPECT_NEAR(plot.first(), -39 * 1.001, 1e-9);
  EXPECT_NEAR(plot.last(), 44 * 2.002, 1e-9);
  window.setSecondsPerSampling(std::nullopt);

  window.grab();
  EXPECT_GT(plot.paintCount(), 0);

  window.showPercent(true);
  const fs::path png = scratch.path() / "plot.png", svg = scratch.path() / "plot.svg";
  ASSERT_EQ(window.exportPng(png), "");
  ASSERT_EQ(window.exportSvg(svg), "");
  QImage image(QString::fromStdString(png.string()));
  EXPECT_EQ(image.width(), plot.width());
  EXPECT_GT(image.height(), plot.height()) << "a title line above the plot";
  const std::string drawing = view_test::ReadText(svg);
  EXPECT_EQ(drawing.rfind("<?xml", 0), 0u);
  EXPECT_NE(drawing.find(QString::fromStdString(window.pictureTitle()).toHtmlEscaped().toStdString()), std::string::npos);
  EXPECT_NE(window.pictureTitle().find(model.banks[1].faultTime), std::string::npos);
  EXPECT_NE(drawing.find("SPD_REF"), std::string::npos);
  EXPECT_NE(drawing.find("% of rated; "), std::string::npos);
  EXPECT_NE(drawing.find(">fault<"), std::string::npos);
  EXPECT_NE(drawing.find(">samples from the fault<"), std::string::npos);
  EXPECT_NE(window.exportSvg(scratch.path() / "missing" / "plot.svg"), "");
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible()) << "Esc closes";

  // File > Open: another save in a window of its own, or the reason it cannot be read.
  std::string error;
  EXPECT_EQ(ViewerWindow::OpenSave(scratch.path() / "nothing.lzh", {}, error), nullptr);
  EXPECT_NE(error.find("nothing.lzh"), std::string::npos) << error;
  std::unique_ptr<ViewerWindow> opened(ViewerWindow::OpenSave(folder, {}, error));
  ASSERT_NE(opened, nullptr) << error;
  opened->setAttribute(Qt::WA_DeleteOnClose, false);
  EXPECT_NE(opened->plot()->request().bank, &model.banks[0]) << "it shows the save it read itself";
  EXPECT_EQ(opened->plot()->request().signals.size(), 4u);
}

TEST(ViewerWindow, ComparesWithAnotherSaveInATabOfItsOwn) {
  view_test::Scratch scratch;
  view_test::WriteWorkbook(scratch.path() / "app");
  const fs::path csvSet = view_test::WriteCsvSet(scratch.path() / "app");
  const fs::path folder = scratch.path() / "app" / "TRBSAVE";
  const SaveModel model = ReadSave(folder, platform::shell::CodePage());
  CompareSetup setup{folder, {}};
  setup.context.saveFolders = {scratch.path() / "no saves here"};
  ViewerWindow window(model);
  AddCompareMenu(window, model, setup);
  EXPECT_NE(CompareInWindow(window, model, setup, {}).find("no earlier save"), std::string::npos);
  EXPECT_NE(CompareInWindow(window, model, setup, scratch.path() / "missing.lzh").find("no such file"), std::string::npos);
  ASSERT_EQ(window.tabs()->count(), 1) << "nothing compared, no tab";
  for (int twice = 0; twice < 2; ++twice) ASSERT_EQ(CompareInWindow(window, model, setup, csvSet), "");
  ASSERT_EQ(window.tabs()->count(), 2) << "the tab is replaced, not added again";
  EXPECT_EQ(window.tabs()->tabText(1), kDifferencesTab);
  EXPECT_EQ(window.tabs()->currentIndex(), 1);
}

}  // namespace

// The application lives on main's stack: it is gone before the exit handlers run, which its
// input devices would not survive, and it frees what it holds.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");  // listing too
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
