// The plot reduced to the plot's width keeps every peak and the fault sample; the SVG, the
// CSV export and the report carry what the bank holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "quillon/view/csv_export.h"
#include "quillon/view/plot_scene.h"
#include "quillon/view/report.h"
#include "quillon/view/svg_writer.h"
#include "tests/view/view_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace quillon::view;

// One group of `depth` samples with its fault at `fault`; signal 1 a slow ramp with one spike,
// signal 2 a percent item of 200, signal 3 beyond the recorded groups.
Bank MakeBank(std::size_t depth, int fault) {
  Bank bank;
  bank.number = 2;
  bank.faultTime = "2014/03/12  08:15:02";
  bank.groups = {{1, static_cast<int>(depth), 2, fault, 500}, {2, 0, 2, 0, 0}, {3, 0, 2, 0, 0}};
  bank.rows = depth + 10;
  const char* symbols[] = {"RAMP", "PCT,\"A\"", "<X&Y>"};
  for (int i = 1; i <= 3; ++i) {
    Signal s;
    s.number = i;
    s.symbol = symbols[i - 1];
    s.address = "&H0000000" + std::to_string(i);
    s.longName = s.address;
    s.group = i <= 2 ? 1 : 0;
    if (i == 2) s.pctValue = 200, s.unit = "A";
    bank.signals.push_back(s);
  }
  bank.samples.assign(3 * bank.rows, 0);
  for (std::size_t r = 0; r < bank.rows; ++r) {
    bank.samples[r] = static_cast<double>(r % 100);
    bank.samples[bank.rows + r] = 50;
    bank.samples[2 * bank.rows + r] = -static_cast<double>(r);
  }
  if (bank.rows > 1234) bank.samples[1234] = 9999;  // one sample far above the rest
  bank.samples[bank.rows + 3] = NAN;  // a gap
  return bank;
}

PlotRequest RequestFor(const Bank& bank, std::vector<std::size_t> signals, double width) {
  PlotRequest r;
  r.bank = &bank;
  r.signals = std::move(signals);
  r.width = width;
  r.height = 300;
  const AxisSpan span = WholeSpan(bank, r.signals);
  r.first = span.first;
  r.last = span.last;
  return r;
}

// The lines of a lane's curve, in the colour of the first lane.
std::vector<const ScenePath*> CurveLines(const PlotScene& scene) {
  std::vector<const ScenePath*> lines;
  for (const ScenePath& p : scene.paths)
    if (p.colour == 0x1f77b4 && !p.dashed) lines.push_back(&p);
  return lines;
}

TEST(PlotScene, ReducedCurveKeepsPeaksAndTheFaultSample) {
  const auto columns = MinMaxColumns(std::vector<double>{1, 5, -2, NAN, 3, 3, 7, 0}.data(), 0, 8, 3);
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_TRUE(columns[0].low == 1 && columns[0].high == 5 && columns[0].lowFirst);  // samples 0-1
  EXPECT_TRUE(columns[1].low == -2 && columns[1].high == 3);  // samples 2-4, the gap skipped
  EXPECT_TRUE(columns[2].low == 0 && columns[2].high == 7 && !columns[2].lowFirst) << "7 came before 0";

  const Bank bank = MakeBank(16320, 8000);
  const PlotRequest request = RequestFor(bank, {0}, 900);
  const PlotScene scene = BuildPlotScene(request);
  const PlotArea area = PlotAreaOf(request);
  auto xOf = [&area](double sample) { return area.left + (sample - 1) / (16320 - 1) * (area.right - area.left); };
  // The curve: the widest path with the lane's colour; no more than two points per column.
  const ScenePath* curve = nullptr;
  for (const ScenePath& p : scene.paths)
    if (!curve || p.points.size() > curve->points.size()) curve = &p;
  ASSERT_TRUE(curve);
  EXPECT_LE(curve->points.size(), 2 * static_cast<std::size_t>(area.right - area.left) + 4);
  EXPECT_GT(curve->points.size(), static_cast<std::size_t>(area.right - area.left));
  // The spike is the highest point of the lane: nothing of the curve lies above it.
  const auto spike =
      *std::min_element(curve->points.begin(), curve->points.end(), [](auto& a, auto& b) { return a.y < b.y; });
  const double top = spike.y;
  EXPECT_NEAR(spike.x, xOf(1235), 1.5);
  // The fault: a dashed line at sample 8000 and a dot at its value, inside the lane.
  const double faultX = xOf(8000);
  bool line = false;
  for (const ScenePath& p : scene.paths)
    line = line || (p.dashed && p.points.size() == 2 && std::fabs(p.points[0].x - faultX) < 1e-6);
  EXPECT_TRUE(line);
  ASSERT_EQ(scene.dots.size(), 1u);
  EXPECT_NEAR(scene.dots[0].x, faultX, 1e-6);
  EXPECT_GT(scene.dots[0].y, top) << "sample 8000 holds 99, below the spike";

  // Zoomed in to fewer samples than columns, every sample is drawn where it lies.
  PlotRequest close = request;
  close.first = 1230 - 8000, close.last = 1240 - 8000;  // samples from the fault
  const PlotScene near = BuildPlotScene(close);
  const auto zoomed = CurveLines(near);
  ASSERT_EQ(zoomed.size(), 1u);
  EXPECT_EQ(zoomed[0]->points.size(), 13u) << "samples 1229 to 1241: one beyond each edge";

  // Beyond the recorded groups a signal spans every row and has no fault marker.
  const PlotScene other = BuildPlotScene(RequestFor(bank, {2}, 600));
  EXPECT_TRUE(other.dots.empty());
  EXPECT_EQ(WholeSpan(bank, {2}).last, 16329) << "counted from its first sample";
}

TEST(PlotScene, NoLineCrossesAGap) {
  const Bank shallow = MakeBank(200, 100);  // signal 2 has nothing at sample 4
  const PlotRequest every = RequestFor(shallow, {1}, 900);
  const PlotScene everyScene = BuildPlotScene(every);
  const auto pieces = CurveLines(everyScene);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0]->points.size(), 3u);
  EXPECT_EQ(pieces[1]->points.size(), 196u);

  Bank deep = MakeBank(16320, 100);
  for (std::size_t r = 5000; r < 9000; ++r) deep.samples[deep.rows + r] = NAN;
  const PlotRequest reduced = RequestFor(deep, {1}, 900);
  const PlotArea area = PlotAreaOf(reduced);
  const PlotScene reducedScene = BuildPlotScene(reduced);
  const auto lines = CurveLines(reducedScene);
  ASSERT_EQ(lines.size(), 2u);
  const double perSample = (area.right - area.left) / (16320 - 1);
  EXPECT_LT(lines[0]->points.back().x, area.left + 5000 * perSample + 1) << "the gap starts at sample 5001";
  EXPECT_GT(lines[1]->points.front().x, area.left + 8999 * perSample - 1) << "and ends at sample 9000";
}

// Two groups of different depth, fault and sampling line up at their faults; zoomed and
// panned, every curve stays inside its frame, and both axes carry ticks with labels.
TEST(PlotScene, GroupsLineUpAtTheFaultAndCurvesStayInTheirFrames) {
  Bank bank = MakeBank(200, 100);
  bank.groups[1] = {2, 64, 3, 16, 2000};
  bank.signals[2].group = 2;
  PlotRequest request = RequestFor(bank, {0, 2}, 700);
  EXPECT_EQ(request.first, -99) << "group 1 starts 99 samples before its fault";
  EXPECT_EQ(request.last, 100);
  std::vector<double> faultLines;
  for (const ScenePath& p : BuildPlotScene(request).paths)
    if (p.dashed) faultLines.push_back(p.points[0].x);
  ASSERT_EQ(faultLines.size(), 2u);
  EXPECT_DOUBLE_EQ(faultLines[0], faultLines[1]);

  request.first = -30, request.last = 10;  // zoomed in: most samples lie outside
  const PlotScene zoomed = BuildPlotScene(request);
  std::vector<SceneRect> frames;
  for (const SceneRect& r : zoomed.rects)
    if (r.stroke) frames.push_back(r);
  ASSERT_EQ(frames.size(), 2u);
  for (const ScenePath& p : zoomed.paths) {
    if (p.colour == 0xe4e4e4 || p.colour == 0x404040) continue;  // grid and ticks
    for (const ScenePoint& point : p.points) {
      const bool inFrame = std::any_of(frames.begin(), frames.end(), [&](const SceneRect& f) {
        return point.x >= f.x - 1e-9 && point.x <= f.x + f.w + 1e-9 && point.y >= f.y - 1e-9 && point.y <= f.y + f.h + 1e-9;
      });
      ASSERT_TRUE(inFrame) << point.x << "," << point.y;
    }
  }
  const std::string svg = SceneToSvg(zoomed, {1, false, true});
  for (const char* label : {">-30<", ">0<", ">10<", ">samples from the fault<"})
    EXPECT_NE(svg.find(label), std::string::npos) << label;

  request.compact = true;  // the report's small multiple has ticks too
  const std::string small = SceneToSvg(BuildPlotScene(request), {0, true, false});
  EXPECT_NE(small.find(">0<"), std::string::npos) << small;

  request.secondsPerSampling = 0.001;  // group 1: 0.5 s a sample, group 2: 2 s
  EXPECT_EQ(WholeSpan(bank, {0, 2}, 0.001).first, -99 * 0.5);
  EXPECT_EQ(WholeSpan(bank, {0, 2}, 0.001).last, 48 * 2.0);
}

TEST(PlotScene, ReadoutShowsPercentSignalsInPercentAndOthersAsStored) {
  const Bank bank = MakeBank(200, 100);
  EXPECT_EQ(CursorReadout(bank, {0, 1}, 0),
            "0 samples from the fault\nRAMP = 99  (sample 100, the fault)\nPCT,\"A\" = 25 % (stored 50)  (sample 100, the fault)");
  EXPECT_EQ(CursorReadout(bank, {2}, 3), "3 samples from the fault\n<X&Y> = -3  (sample 4)") << "no group: from its first";
  EXPECT_EQ(CursorReadout(bank, {1}, 4 - 100), "-96 samples from the fault\nPCT,\"A\" = -") << "the gap";
  EXPECT_EQ(CursorReadout(bank, {1}, 101), "101 samples from the fault\nPCT,\"A\" = -") << "beyond the group's depth";
  EXPECT_EQ(PlottedValue(bank.signals[1], 50, true), 25);
  EXPECT_EQ(PlottedValue(bank.signals[0], 50, true), 50) << "no PCTValue: as stored";
  EXPECT_EQ(ShownQuantity(bank.signals[1]), "% of rated; A");
  EXPECT_EQ(ShownQuantity(bank.signals[0]), "stored value");
  EXPECT_FALSE(PlottedValue(bank.signals[0], NAN, false));
}

TEST(SvgWriter, PathsAreShortAndTextIsEscaped) {
  PlotScene scene;
  scene.width = 100, scene.height = 50;
  ScenePath flat;
  for (int x = 0; x <= 100; ++x) flat.points.push_back({static_cast<double>(x), 20.0});
  flat.points.push_back({100, 30});
  flat.points.push_back({100, 40});
  scene.paths.push_back(flat);
  scene.texts.push_back({1, 2, "a<b & \"c\"", 10, 0, SceneText::Anchor::End, true});
  const std::string svg = SceneToSvg(scene, {0, false, true});
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("d=\"M0 20h100v20\""), std::string::npos) << svg;
  EXPECT_NE(svg.find(">a&lt;b &amp; &quot;c&quot;</text>"), std::string::npos) << svg;
  EXPECT_NE(svg.find("text-anchor=\"end\""), std::string::npos);
  const std::string inline_ = SceneToSvg(scene, {1, true, false});
  EXPECT_EQ(inline_.rfind("<svg", 0), 0u);
  EXPECT_NE(inline_.find("width=\"100%\""), std::string::npos);
}

TEST(CsvExport, OneTidyFilePerBankWithTheFaultSampleMarked) {
  const Bank bank = MakeBank(200, 100);
  std::ostringstream out;
  WriteBankCsv(bank, out);
  const auto lines = view_test::CrlfLines(out.str());
  ASSERT_EQ(lines.size(), 211u);
  EXPECT_EQ(view_test::Count(out.str(), "\n"), 211u) << "every line ends with CR LF";
  EXPECT_EQ(lines[0], "sample,G1 samples from fault,RAMP,\"PCT,\"\"A\"\" [%]\",<X&Y>,fault");
  EXPECT_EQ(lines[1], "1,-99,0,25,-0,");
  EXPECT_EQ(lines[4], "4,-96,3,,-3,") << "a gap stays empty";
  EXPECT_EQ(lines[100], "100,0,99,25,-99,G1");
  EXPECT_EQ(lines[201], "201,,,,-200,") << "beyond the group's depth";
  std::ostringstream timed;
  WriteBankCsv(bank, timed, 0.001);
  const auto timedLines = view_test::CrlfLines(timed.str());
  EXPECT_EQ(timedLines[0].rfind("sample,G1 samples from fault,G1 time from fault [s],RAMP", 0), 0u) << timedLines[0];
  EXPECT_EQ(timedLines[101].rfind("101,1,0.5,", 0), 0u) << timedLines[101];
  EXPECT_EQ(BankCsvFileName(bank), "bank2_20140312_081502.csv");
  // Every digit kept, without the noise of a Single widened to a double.
  EXPECT_EQ(StoredNumberText(static_cast<double>(35.4f)), "35.4");
  EXPECT_EQ(StoredNumberText(0.1), "0.1");
  EXPECT_EQ(StoredNumberText(1.0 / 3), "0.3333333333333333");
  EXPECT_EQ(StoredNumberText(1148846080.0), "1148846080");
  EXPECT_EQ(StoredNumberText(-2147483648.0), "-2147483648");

  view_test::Scratch scratch;
  SaveModel model;
  model.banks = {bank, bank};
  model.banks[1].number.reset();
  model.banks.push_back(model.banks[1]);
  const auto files = ExportBanksCsv(model, scratch.path() / "out");
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[1].filename(), "trace_20140312_081502.csv");
  EXPECT_EQ(files[2].filename(), "trace_20140312_081502_2.csv") << "two banks of the same second";
  EXPECT_EQ(view_test::ReadText(files[0]), out.str());
  // A second export keeps every earlier file, even the one that would be new, unless forced.
  view_test::WriteText(files[1], "edited");
  fs::remove(files[2]);
  try {
    ExportBanksCsv(model, scratch.path() / "out");
    ADD_FAILURE() << "an existing file replaced";
  } catch (const ExportError& error) {
    EXPECT_NE(std::string(error.what()).find("exists and was kept"), std::string::npos) << error.what();
  }
  EXPECT_EQ(view_test::ReadText(files[1]), "edited");
  EXPECT_FALSE(fs::exists(files[2])) << "nothing written";
  ExportBanksCsv(model, scratch.path() / "out", {.replace = true, .excel = false, .secondsPerSampling = {}});
  EXPECT_EQ(view_test::ReadText(files[1]), view_test::ReadText(files[2])) << "replaced by the bank it holds";
  ExportBanksCsv(model, scratch.path() / "out", {.replace = true, .excel = true, .secondsPerSampling = {}});
  EXPECT_EQ(view_test::ReadText(files[0]), "\xEF\xBB\xBF" + out.str()) << "a byte-order mark for Excel";
}

TEST(Report, SelfContainedPageWithAPlotPerSignal) {
  SaveModel model;
  model.name = "TRBSAVE_20261207_101500.lzh";
  model.drive.panelName = "<Line 7>";
  model.drive.driveType = "RX-Fenn";
  model.drive.inverterRating = "400.0V - 52.0A - 36.0KVA";
  model.banks = {MakeBank(200, 100), MakeBank(64, 0)};
  model.banks[1].rawSamples = true;
  model.banks[0].faults = {{1, "1", "OC", "Overcurrent", 10}};
  model.tables.push_back({TableKind::TroubleRecords, {"Trouble records", "TroubleRecord_P.csv", {"No.", "Time"}, {{"1", "2014"}}}});
  model.tables.push_back({TableKind::SettingParameters, {"Setting parameters", "Set_Sram_P.csv", {"No.", "Address", "Value"},
                                                         {{"1", "0x0000", "100"}, {"2", "0x0002", "0"}}}});
  model.tables.push_back({TableKind::EventLog, {"Event log", "Evtlg_P.csv", {"No."}, {{"1"}}}});
  model.gaps = {"A <gap> said."};
  const std::string html = ReportHtml(model);
  EXPECT_NE(html.find("<p class=\"gap\">A &lt;gap&gt; said.</p>"), std::string::npos) << "what the save lacks, first";

  for (const char* outside : {"<script", "src=", "href=", "url(", "@import", "<link", "@font-face"})
    EXPECT_EQ(html.find(outside), std::string::npos) << outside;
  EXPECT_EQ(view_test::Count(html, "<svg"), 8u) << "one small multiple per signal of each bank, one plot per bank in the summary";
  EXPECT_NE(html.find("<span class=\"first\">OC (FI 1): Overcurrent</span>"), std::string::npos);
  EXPECT_NE(html.find("<details class=\"settings\"><summary>"), std::string::npos) << "closed";
  EXPECT_NE(ReportHtml(model, {.full = true}).find("<details class=\"settings\" open>"), std::string::npos);
  EXPECT_EQ(view_test::Count(html, "stroke-dasharray"), 3u) << "the fault marker of bank 2's group 1 signals, twice and in its overview; the other has none";
  EXPECT_NE(html.find("&lt;Line 7&gt;"), std::string::npos);
  EXPECT_NE(html.find("<td>52.0A</td>"), std::string::npos);
  EXPECT_NE(html.find("Bank 2 \xE2\x80\x94 2014/03/12  08:15:02 \xE2\x80\x94 OC"), std::string::npos);
  EXPECT_NE(html.find("@page { size: A4"), std::string::npos);
  EXPECT_EQ(view_test::Count(html, "(no drive database)"), 1u) << "bank 2 has its names from the database";
  EXPECT_NE(html.find("1 words of value 0 not listed"), std::string::npos);
  EXPECT_EQ(html.find("0x0002"), std::string::npos);
  EXPECT_EQ(html.find("Evtlg_P.csv"), std::string::npos) << "the event log is the viewer's";
}

}  // namespace
