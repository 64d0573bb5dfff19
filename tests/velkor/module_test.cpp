// The control module: its design-time look (checked by pixels), the property page bound to a
// control, its registration table, the library as a host loads it, and velkor-module as a
// person runs it; each in a private registration store.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/automation/registry.h"
#include "tests/velkor/host_support.h"
#include "velkor/control/velkor_ctrl.h"
#include "velkor/module/design_view.h"
#include "velkor/module/module.h"
#include "velkor/module/registration.h"

// Fontconfig keeps its caches for the life of the process; the leak checker of the
// sanitizer build is told so.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

using namespace testhost;
namespace pa = platform::automation;

namespace {

const std::string kLibrary = QUILLON_BINARY_DIR "/velkor/module/libvelkor.so";
const std::string kTool = QUILLON_BINARY_DIR "/velkor/module/velkor-module";
const std::string kVelkorClsid = "{14115EC5-13C7-11D5-9B80-000039344F06}";
const std::string kOstrinClsid = "{C7D116A8-14A0-11D6-B707-0040CA979388}";
const std::string kVelkorPageClsid = "{14115EC6-13C7-11D5-9B80-000039344F06}";

// The widgets need a GUI application, made before any test could make a plain one.
struct GuiApplication : testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "velkor_module_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
  }
};
[[maybe_unused]] testing::Environment* const kGui = testing::AddGlobalTestEnvironment(new GuiApplication);

bool isDark(QRgb c) { return qGray(c) < 100; }

// Bounding box of the text's dark pixels inside the edge.
QRect inkBox(const QImage& image) {
  QRect box;
  for (int y = 2; y < image.height() - 2; ++y)
    for (int x = 2; x < image.width() - 2; ++x)
      if (isDark(image.pixel(x, y))) box = box.united(QRect(x, y, 1, 1));
  return box;
}

std::shared_ptr<pa::Control> create(const pa::RegistrationStore& store, const std::string& name, pa::HRESULT expected) {
  std::shared_ptr<pa::Control> control;
  EXPECT_EQ(pa::CreateControl(store, name, control), expected) << name;
  return control;
}

struct ToolRun {
  int status = -1;
  std::string output;
};

// velkor-module with `args`, after `environment` (variable assignments or commands).
ToolRun runTool(const std::string& environment, const std::string& args) {
  const std::string command = environment + " QT_QPA_PLATFORM=offscreen '" + kTool + "' " + args + " 2>&1";
  ToolRun r;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  std::array<char, 512> buf{};
  while (fgets(buf.data(), buf.size(), pipe)) r.output += buf.data();
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace

TEST(VelkorDesignTime, WhiteBoxRaisedEdgeCentredLabel) {
  const QImage udp = velkor::DrawDesignTime(velkor::kVelkorLabel, 120, 48);
  ASSERT_EQ(udp.size(), QSize(120, 48));
  EXPECT_EQ(qGray(udp.pixel(0, 0)), 227);         // raised outer: light top-left
  EXPECT_EQ(qGray(udp.pixel(119, 47)), 105);      // dark bottom-right
  EXPECT_EQ(qGray(udp.pixel(1, 1)), 255);         // raised inner: white top-left
  EXPECT_EQ(qGray(udp.pixel(118, 46)), 160);      // shadow bottom-right
  EXPECT_EQ(udp.pixel(5, 5), qRgb(255, 255, 255));  // white fill
  const QRect ink = inkBox(udp);
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_LE(std::abs(ink.left() - (119 - ink.right())), 3);   // centred horizontally
  EXPECT_LE(std::abs(ink.top() - (47 - ink.bottom())), 4);    // and vertically
  EXPECT_LT(ink.height(), 24);                                 // one line

  const QImage ostrin = velkor::DrawDesignTime(velkor::kOstrinLabel, 120, 48);
  EXPECT_GT(inkBox(ostrin).width(), ink.width());  // a longer label
  EXPECT_NE(ostrin, udp);
}

TEST(VelkorPropertyPage, ReadsOnOpenAndAssignsThroughDispatchOnApply) {
  using Page = velkor::CVelkorPropPage;
  Page page;
  EXPECT_EQ(page.size(), QSize(333, 125));
  const std::pair<Page::ControlId, const char*> boxes[] = {{Page::kIdRioHeader, "RIO header"},
                                                           {Page::kIdV27Header, "V27 header"},
                                                           {Page::kIdSrcIpFilter, "SrcIpFilter"},
                                                           {Page::kIdLoopBackMode, "LoopBackMode for debug"}};
  for (const auto& [id, text] : boxes) {
    ASSERT_NE(page.checkBox(id), nullptr);
    EXPECT_EQ(page.checkBox(id)->text().toStdString(), text);
    EXPECT_EQ(page.checkBox(id)->objectName().toInt(), id);
  }
  EXPECT_EQ(page.findChild<QGroupBox*>()->title().toStdString(), "Byte order convert");

  velkor::CVelkorCtrl control;
  EventRecorder events;
  control.advise(&events);
  put(control, "ByteOrderV27", true);
  put(control, "SrcIpFilter", false);
  page.load(control);
  EXPECT_FALSE(page.checkBox(Page::kIdRioHeader)->isChecked());
  EXPECT_TRUE(page.checkBox(Page::kIdV27Header)->isChecked());
  EXPECT_FALSE(page.checkBox(Page::kIdSrcIpFilter)->isChecked());

  // Ticking "RIO header" and applying rewrites the prebuilt header's address word.
  for (const auto& [name, value] : {std::pair{"DestBus", 1}, {"DestUnit", 2}, {"DestSlot", 3}, {"DestStation", 5}})
    put(control, name, value);
  page.checkBox(Page::kIdRioHeader)->setChecked(true);
  page.checkBox(Page::kIdV27Header)->setChecked(false);
  page.checkBox(Page::kIdLoopBackMode)->setChecked(true);
  ASSERT_EQ(page.apply(control), pa::S_OK);
  EXPECT_TRUE(getBool(control, "ByteOrderRIO"));
  EXPECT_FALSE(getBool(control, "ByteOrderV27"));
  EXPECT_TRUE(getBool(control, "LoopBackMode"));
  Peer drive;
  put(control, "DestIp", "127.0.0.1");
  put(control, "DestPort", static_cast<std::int32_t>(drive.port()));
  put(control, "PortOpen", true);
  put(control, "Output", Variant::bytes({}));
  const Bytes sent = drive.receive();
  ASSERT_EQ(sent.size(), 20u);
  EXPECT_EQ(sent[0], 'R');  // loop-back marker from the page
  EXPECT_EQ(velkor::framing::hexText(std::span(sent).subspan(4, 4)), "00 A3 00 05");
  EXPECT_TRUE(events.errors.empty());
}

TEST(VelkorModuleRegistration, FullTableAndFailures) {
  ScratchFolder root("velkor_full_registry");
  pa::RegistrationStore store(root.path.string());
  ASSERT_EQ(velkor::RegisterModule(store, "/opt/lib/libvelkor.so"), pa::S_OK);
  EXPECT_EQ(store.value("TypeLib/{14115EC2-13C7-11D5-9B80-000039344F06}/1.4"), "VELKORLib");
  EXPECT_EQ(store.value("Interface/{C7D116A6-14A0-11D6-B707-0040CA979388}"), "_DOstrin");
  EXPECT_EQ(store.value("Interface/{14115EC4-13C7-11D5-9B80-000039344F06}"), "_DVelkorEvents");
  const std::string velkor = "CLSID/" + kVelkorClsid;
  EXPECT_EQ(store.value(velkor), "Velkor Control");
  EXPECT_EQ(store.value(velkor + "/InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(store.value(velkor + "/MiscStatus/1"), "132241");
  EXPECT_EQ(store.value(velkor + "/ToolboxBitmap32"), "/opt/lib/libvelkor.so, 1");
  EXPECT_EQ(store.value(velkor + "/PropertyPages"), kVelkorPageClsid);
  const std::string ostrin = "CLSID/" + kOstrinClsid;
  EXPECT_EQ(store.value(ostrin), "Ostrin Control");
  EXPECT_EQ(store.value(ostrin + "/ToolboxBitmap32"), "/opt/lib/libvelkor.so, 5");
  const std::string page = "CLSID/{C7D116A9-14A0-11D6-B707-0040CA979388}";
  EXPECT_EQ(store.value(page), "Ostrin Property Page");
  EXPECT_FALSE(store.value(page + "/InprocServer32", "ThreadingModel").has_value());
  EXPECT_EQ(store.value(page, "Caption"), "General");
  EXPECT_EQ(pa::ClsidFromProgId(store, "VELKOR.VelkorPropPage.1")->toString(), kVelkorPageClsid);
  EXPECT_EQ(store.subkeys("CLSID").size(), 4u);

  ASSERT_EQ(velkor::UnregisterModule(store), pa::S_OK);
  for (const char* key : {"CLSID", "TypeLib", "Interface"}) EXPECT_TRUE(store.subkeys(key).empty()) << key;
  EXPECT_FALSE(pa::ClsidFromProgId(store, "OSTRIN.OstrinCtrl.1").has_value());

  // A store that cannot be written: the type library fails first.
  ScratchFolder blocked("velkor_blocked_registry");
  { std::ofstream(blocked.path) << "not a folder"; }
  pa::RegistrationStore readOnly(blocked.path.string());
  EXPECT_EQ(velkor::RegisterModule(readOnly, "/opt/lib/libvelkor.so"), pa::SELFREG_E_TYPELIB);
  EXPECT_EQ(velkor::RegisterModule(store, ""), pa::SELFREG_E_TYPELIB);
}

TEST(VelkorModule, LibraryRegistersServesBothControlsAndUnregisters) {
  ScratchFolder root("velkor_lib_registry");
  setenv("QUILLON_REGISTRY", root.path.c_str(), 1);
  void* module = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  auto draw = reinterpret_cast<VelkorDrawDesignTimeFn>(dlsym(module, "VelkorDrawDesignTime"));
  auto getClass = reinterpret_cast<pa::DllGetClassObjectFn>(dlsym(module, "DllGetClassObject"));
  auto canUnload = reinterpret_cast<pa::DllCanUnloadNowFn>(dlsym(module, "DllCanUnloadNow"));
  ASSERT_TRUE(draw && getClass && canUnload);
  EXPECT_EQ(pa::RegisterServer(root / "none.so"), pa::CO_E_DLLNOTFOUND);
  ASSERT_EQ(pa::RegisterServer(kLibrary), pa::S_OK);

  pa::RegistrationStore store;
  EXPECT_EQ(store.root(), root.path.string());
  const auto library = store.value("CLSID/" + kVelkorClsid + "/InprocServer32");
  ASSERT_TRUE(library.has_value());
  EXPECT_TRUE(std::filesystem::equivalent(*library, kLibrary));
  EXPECT_EQ(pa::ClsidFromProgId(store, "VELKOR.VelkorCtrl.1")->toString(), kVelkorClsid);
  for (const std::string& name : {std::string("OSTRIN.OstrinCtrl.1"), kOstrinClsid, kVelkorClsid}) {
    pa::DispId id = 0;
    EXPECT_EQ(pa::Succeeded(create(store, name, pa::S_OK)->getIdOfName("CaptureStart", id)), name != kVelkorClsid) << name;
  }

  {
    // One exchange through a control the library made: its events reach the host.
    auto control = create(store, "VELKOR.VelkorCtrl.1", pa::S_OK);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(canUnload(), pa::S_FALSE);
    EventRecorder events;
    control->advise(&events);
    Peer drive;
    const std::uint16_t myPort = freePort();
    put(*control, "DestIp", "127.0.0.1");
    put(*control, "DestPort", static_cast<std::int32_t>(drive.port()));
    put(*control, "MyPort", static_cast<std::int32_t>(myPort));
    put(*control, "SrcIpFilter", true);
    put(*control, "PortOpen", true);
    put(*control, "Output", Variant::bytes({'Q', 'T'}));
    Bytes answer = drive.receive();
    ASSERT_EQ(answer.size(), 22u);
    EXPECT_EQ(answer[0], 'S');
    answer[0] = 'R';
    answer[1] = 'S';
    drive.sendTo(myPort, answer);
    ASSERT_TRUE(runUntil([&] { return events.receives == 1; }));
    EXPECT_EQ(bytesOf(get(*control, "InputB")), (Bytes{'Q', 'T'}));
    EXPECT_TRUE(events.errors.empty());
  }
  EXPECT_EQ(canUnload(), pa::S_OK);

  // Pages are not controls.
  pa::ClassFactory* factory = nullptr;
  const auto pageId = pa::Guid::parse(kVelkorPageClsid);
  EXPECT_EQ(getClass(&*pageId, &factory), pa::CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory, nullptr);

  const std::string png = root / "ostrin.png";
  const auto ostrinId = pa::Guid::parse(kOstrinClsid);
  ASSERT_EQ(draw(&*ostrinId, 90, 30, png.c_str()), pa::S_OK);
  QImage image(QString::fromStdString(png));
  EXPECT_EQ(image.size(), QSize(90, 30));
  EXPECT_FALSE(inkBox(image).isEmpty());
  EXPECT_EQ(draw(&*pageId, 90, 30, png.c_str()), pa::CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(draw(&*ostrinId, 0, 30, png.c_str()), pa::E_INVALIDARG);

  EXPECT_EQ(create(store, "VELKOR.NoSuch.1", pa::CO_E_CLASSSTRING), nullptr);
  EXPECT_EQ(create(store, "{00000000-0000-0000-0000-000000000001}", pa::REGDB_E_CLASSNOTREG), nullptr);
  ASSERT_EQ(pa::UnregisterServer(kLibrary), pa::S_OK);
  for (const char* progId : {"VELKOR.VelkorCtrl.1", "OSTRIN.OstrinCtrl.1"}) create(store, progId, pa::CO_E_CLASSSTRING);
  for (const std::string& clsid : {kVelkorClsid, kOstrinClsid}) create(store, clsid, pa::REGDB_E_CLASSNOTREG);

  // A store that names a library that is not there.
  store.setValue("CLSID/" + kVelkorClsid + "/InprocServer32", "", root / "missing.so");
  create(store, kVelkorClsid, pa::CO_E_DLLNOTFOUND);
  unsetenv("QUILLON_REGISTRY");
}

TEST(VelkorModuleTool, RegisterListDrawUnregister) {
  ScratchFolder root("velkor_tool_registry");
  auto run = [&](const std::string& args) { return runTool("QUILLON_REGISTRY='" + root.path.string() + "'", args); };
  ASSERT_EQ(run("register").status, 0);
  const ToolRun listed = run("list");
  EXPECT_EQ(listed.status, 0);
  for (const char* part : {"VELKOR.VelkorCtrl.1", "OSTRIN.OstrinPropPage.1", "libvelkor.so"})
    EXPECT_NE(listed.output.find(part), std::string::npos) << part;

  const std::string png = root / "udp.png";
  ASSERT_EQ(run("draw VELKOR.VelkorCtrl.1 '" + png + "' 80x40").status, 0);
  EXPECT_EQ(QImage(QString::fromStdString(png)).size(), QSize(80, 40));
  EXPECT_EQ(run("draw VELKOR.VelkorCtrl.1 '" + png + "' 80").status, 2);
  EXPECT_EQ(run("bogus").status, 2);

  ASSERT_EQ(run("unregister").status, 0);
  EXPECT_EQ(run("list").output, "");
  const ToolRun after = run("draw VELKOR.VelkorCtrl.1 '" + png + "'");
  EXPECT_EQ(after.status, 1);
  EXPECT_NE(after.output.find("unknown class"), std::string::npos);
  EXPECT_EQ(run("--module /nonexistent/libvelkor.so register").status, 1);
}

TEST(VelkorModuleTool, RegistersForTheUserWithTheModulesAbsolutePath) {
  ScratchFolder base("velkor_tool_user");
  const std::string userStore = base / "quillon/registry";
  const std::string user = "env -u QUILLON_REGISTRY XDG_DATA_HOME='" + base.path.string() + "'";
  const std::string moduleFolder = std::filesystem::path(kTool).parent_path().string();

  // A relative --module is recorded as the absolute path a host can load from anywhere.
  const ToolRun registered = runTool("cd '" + moduleFolder + "' && " + user, "--module ./libvelkor.so register");
  ASSERT_EQ(registered.status, 0) << registered.output;
  EXPECT_NE(registered.output.find(userStore), std::string::npos) << registered.output;
  const ToolRun listed = runTool(user, "list");
  EXPECT_NE(listed.output.find(userStore + ":\n"), std::string::npos) << listed.output;
  EXPECT_NE(listed.output.find(" " + moduleFolder + "/libvelkor.so\n"), std::string::npos) << listed.output;

  // The system-wide store is only registered in and listed; drawing and pages are not its business.
  EXPECT_EQ(runTool(user, "--system draw VELKOR.VelkorCtrl.1 x.png").status, 2);
  EXPECT_EQ(runTool(user, "--module").status, 2);
  ASSERT_EQ(runTool(user, "unregister").status, 0);
  EXPECT_EQ(runTool(user, "list").output.find(userStore), std::string::npos);
}
