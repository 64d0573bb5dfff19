// Design-time look (checked by pixels), the property page bound to a control, and the
// module's full registration table.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
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

using platform::automation::Variant;

namespace {

void ensureGuiApplication() {
  static int argc = 1;
  static char name[] = "velkor_ui_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
}

bool isDark(QRgb c) { return qGray(c) < 100; }

// Bounding box of the text's dark pixels inside the edge.
QRect inkBox(const QImage& image) {
  QRect box;
  for (int y = 2; y < image.height() - 2; ++y)
    for (int x = 2; x < image.width() - 2; ++x)
      if (isDark(image.pixel(x, y))) box = box.united(QRect(x, y, 1, 1));
  return box;
}

}  // namespace

TEST(VelkorDesignTime, WhiteBoxRaisedEdgeCentredLabel) {
  ensureGuiApplication();
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
  ensureGuiApplication();
  velkor::CVelkorPropPage page;
  EXPECT_EQ(page.size(), QSize(333, 125));
  const std::pair<velkor::CVelkorPropPage::ControlId, const char*> boxes[] = {
      {velkor::CVelkorPropPage::kIdRioHeader, "RIO header"},
      {velkor::CVelkorPropPage::kIdV27Header, "V27 header"},
      {velkor::CVelkorPropPage::kIdSrcIpFilter, "SrcIpFilter"},
      {velkor::CVelkorPropPage::kIdLoopBackMode, "LoopBackMode for debug"}};
  for (const auto& [id, text] : boxes) {
    ASSERT_NE(page.checkBox(id), nullptr);
    EXPECT_EQ(page.checkBox(id)->text().toStdString(), text);
    EXPECT_EQ(page.checkBox(id)->objectName().toInt(), id);
  }
  EXPECT_EQ(page.findChild<QGroupBox*>()->title().toStdString(), "Byte order convert");

  velkor::CVelkorCtrl control;
  testhost::EventRecorder events;
  control.advise(&events);
  control.put("ByteOrderV27", true);
  control.put("SrcIpFilter", false);
  page.load(control);
  EXPECT_FALSE(page.checkBox(velkor::CVelkorPropPage::kIdRioHeader)->isChecked());
  EXPECT_TRUE(page.checkBox(velkor::CVelkorPropPage::kIdV27Header)->isChecked());
  EXPECT_FALSE(page.checkBox(velkor::CVelkorPropPage::kIdSrcIpFilter)->isChecked());

  // Ticking "RIO header" and applying rewrites the prebuilt header's address word.
  control.put("DestBus", 1);
  control.put("DestUnit", 2);
  control.put("DestSlot", 3);
  control.put("DestStation", 5);
  page.checkBox(velkor::CVelkorPropPage::kIdRioHeader)->setChecked(true);
  page.checkBox(velkor::CVelkorPropPage::kIdV27Header)->setChecked(false);
  page.checkBox(velkor::CVelkorPropPage::kIdLoopBackMode)->setChecked(true);
  ASSERT_EQ(page.apply(control), platform::automation::S_OK);
  Variant v;
  control.get("ByteOrderRIO", v);
  EXPECT_EQ(v, Variant(true));
  control.get("ByteOrderV27", v);
  EXPECT_EQ(v, Variant(false));
  control.get("LoopBackMode", v);
  EXPECT_EQ(v, Variant(true));
  testhost::Peer drive;
  control.put("DestIp", "127.0.0.1");
  control.put("DestPort", static_cast<std::int32_t>(drive.port()));
  control.put("PortOpen", true);
  control.put("Output", Variant::bytes({}));
  const auto sent = drive.receive();
  ASSERT_EQ(sent.size(), 20u);
  EXPECT_EQ(sent[0], 'R');  // loop-back marker from the page
  EXPECT_EQ(sent[4], 0x00);
  EXPECT_EQ(sent[5], 0xA3);
  EXPECT_EQ(sent[6], 0x00);
  EXPECT_EQ(sent[7], 0x05);
  EXPECT_TRUE(events.errors.empty());
}

TEST(VelkorModuleRegistration, FullTableAndFailures) {
  const auto root = std::filesystem::path(testing::TempDir()) / testhost::uniqueTempName("velkor_full_registry");
  std::filesystem::remove_all(root);
  platform::automation::RegistrationStore store(root.string());
  ASSERT_EQ(velkor::RegisterModule(store, "/opt/lib/libvelkor.so"), platform::automation::S_OK);
  EXPECT_EQ(store.value("TypeLib/{14115EC2-13C7-11D5-9B80-000039344F06}/1.4"), "VELKORLib");
  EXPECT_EQ(store.value("Interface/{C7D116A6-14A0-11D6-B707-0040CA979388}"), "_DOstrin");
  EXPECT_EQ(store.value("Interface/{14115EC4-13C7-11D5-9B80-000039344F06}"), "_DVelkorEvents");
  const std::string velkor = "CLSID/{14115EC5-13C7-11D5-9B80-000039344F06}";
  EXPECT_EQ(store.value(velkor), "Velkor Control");
  EXPECT_EQ(store.value(velkor + "/InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(store.value(velkor + "/MiscStatus/1"), "132241");
  EXPECT_EQ(store.value(velkor + "/ToolboxBitmap32"), "/opt/lib/libvelkor.so, 1");
  EXPECT_EQ(store.value(velkor + "/PropertyPages"), "{14115EC6-13C7-11D5-9B80-000039344F06}");
  const std::string ostrin = "CLSID/{C7D116A8-14A0-11D6-B707-0040CA979388}";
  EXPECT_EQ(store.value(ostrin), "Ostrin Control");
  EXPECT_EQ(store.value(ostrin + "/ToolboxBitmap32"), "/opt/lib/libvelkor.so, 5");
  const std::string page = "CLSID/{C7D116A9-14A0-11D6-B707-0040CA979388}";
  EXPECT_EQ(store.value(page), "Ostrin Property Page");
  EXPECT_FALSE(store.value(page + "/InprocServer32", "ThreadingModel").has_value());
  EXPECT_EQ(store.value(page, "Caption"), "General");
  EXPECT_EQ(platform::automation::ClsidFromProgId(store, "VELKOR.VelkorPropPage.1")->toString(),
            "{14115EC6-13C7-11D5-9B80-000039344F06}");
  EXPECT_EQ(store.subkeys("CLSID").size(), 4u);

  ASSERT_EQ(velkor::UnregisterModule(store), platform::automation::S_OK);
  EXPECT_TRUE(store.subkeys("CLSID").empty());
  EXPECT_TRUE(store.subkeys("TypeLib").empty());
  EXPECT_TRUE(store.subkeys("Interface").empty());
  EXPECT_FALSE(platform::automation::ClsidFromProgId(store, "OSTRIN.OstrinCtrl.1").has_value());

  // A store that cannot be written: the type library fails first.
  const auto blocked = std::filesystem::path(testing::TempDir()) / testhost::uniqueTempName("velkor_blocked_registry");
  std::filesystem::remove_all(blocked);
  { std::ofstream(blocked.string()) << "not a folder"; }
  platform::automation::RegistrationStore readOnly(blocked.string());
  EXPECT_EQ(velkor::RegisterModule(readOnly, "/opt/lib/libvelkor.so"), platform::automation::SELFREG_E_TYPELIB);
  EXPECT_EQ(velkor::RegisterModule(store, ""), platform::automation::SELFREG_E_TYPELIB);
  std::filesystem::remove(blocked);
  std::filesystem::remove_all(root);
}

TEST(VelkorModuleRegistration, BothControlsByProgIdAndClsidThroughTheLibrary) {
  ensureGuiApplication();
  const auto root = std::filesystem::path(testing::TempDir()) / testhost::uniqueTempName("velkor_lib_registry");
  std::filesystem::remove_all(root);
  setenv("QUILLON_REGISTRY", root.c_str(), 1);
  void* module = dlopen(QUILLON_BINARY_DIR "/velkor/module/libvelkor.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  auto draw = reinterpret_cast<VelkorDrawDesignTimeFn>(dlsym(module, "VelkorDrawDesignTime"));
  auto getClass = reinterpret_cast<platform::automation::DllGetClassObjectFn>(dlsym(module, "DllGetClassObject"));
  ASSERT_TRUE(draw && getClass);
  const std::string library = QUILLON_BINARY_DIR "/velkor/module/libvelkor.so";
  EXPECT_EQ(platform::automation::RegisterServer(root.string() + "/none.so"), platform::automation::CO_E_DLLNOTFOUND);
  ASSERT_EQ(platform::automation::RegisterServer(library), platform::automation::S_OK);
  platform::automation::RegistrationStore store;
  for (const char* name : {"OSTRIN.OstrinCtrl.1", "{C7D116A8-14A0-11D6-B707-0040CA979388}", "VELKOR.VelkorCtrl.1"}) {
    std::shared_ptr<platform::automation::Control> control;
    ASSERT_EQ(platform::automation::CreateControl(store, name, control), platform::automation::S_OK) << name;
    platform::automation::DispId id = 0;
    const bool isOstrin = std::string(name) != "VELKOR.VelkorCtrl.1";
    EXPECT_EQ(platform::automation::Succeeded(control->getIdOfName("CaptureStart", id)), isOstrin) << name;
  }
  // Pages are not controls.
  platform::automation::ClassFactory* factory = nullptr;
  const auto pageId = platform::automation::Guid::parse("{14115EC6-13C7-11D5-9B80-000039344F06}");
  EXPECT_EQ(getClass(&*pageId, &factory), platform::automation::CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory, nullptr);

  const std::string png = (root / "ostrin.png").string();
  const auto ostrinId = platform::automation::Guid::parse("{C7D116A8-14A0-11D6-B707-0040CA979388}");
  ASSERT_EQ(draw(&*ostrinId, 90, 30, png.c_str()), platform::automation::S_OK);
  QImage image(QString::fromStdString(png));
  EXPECT_EQ(image.size(), QSize(90, 30));
  EXPECT_FALSE(inkBox(image).isEmpty());
  EXPECT_EQ(draw(&*pageId, 90, 30, png.c_str()), platform::automation::CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(draw(&*ostrinId, 0, 30, png.c_str()), platform::automation::E_INVALIDARG);

  ASSERT_EQ(platform::automation::UnregisterServer(library), platform::automation::S_OK);
  std::shared_ptr<platform::automation::Control> none;
  EXPECT_EQ(platform::automation::CreateControl(store, "OSTRIN.OstrinCtrl.1", none), platform::automation::CO_E_CLASSSTRING);
  EXPECT_EQ(platform::automation::CreateControl(store, "{C7D116A8-14A0-11D6-B707-0040CA979388}", none),
            platform::automation::REGDB_E_CLASSNOTREG);
  unsetenv("QUILLON_REGISTRY");
  std::filesystem::remove_all(root);
}
