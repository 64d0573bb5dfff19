// The host's path: register libvelkor.so in a private store, create the control by ProgID
// and CLSID, wire its events, and run one exchange with a loopback drive.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/automation/registry.h"
#include "tests/velkor/host_support.h"


using platform::automation::Variant;
using namespace testhost;

namespace {

const char* kModulePath = QUILLON_BINARY_DIR "/velkor/module/libvelkor.so";

struct Module {
  void* handle = nullptr;
  Module() { handle = dlopen(kModulePath, RTLD_NOW | RTLD_LOCAL); }
  template <typename Fn>
  Fn entry(const char* name) const {
    return reinterpret_cast<Fn>(dlsym(handle, name));
  }
};

std::string freshStore(const char* name) {
  const auto root = std::filesystem::path(testing::TempDir()) / testhost::uniqueTempName(name);
  std::filesystem::remove_all(root);
  setenv("QUILLON_REGISTRY", root.c_str(), 1);
  return root.string();
}

}  // namespace

TEST(VelkorModule, RegisterCreateByProgIdExchangeAndUnregister) {
  ensureApplication();
  const std::string root = freshStore("velkor_registry");
  Module module;
  ASSERT_NE(module.handle, nullptr) << dlerror();
  auto registerServer = module.entry<platform::automation::DllRegisterServerFn>("DllRegisterServer");
  auto unregisterServer = module.entry<platform::automation::DllRegisterServerFn>("DllUnregisterServer");
  auto canUnload = module.entry<platform::automation::DllCanUnloadNowFn>("DllCanUnloadNow");
  ASSERT_TRUE(registerServer && unregisterServer && canUnload);
  ASSERT_EQ(registerServer(), platform::automation::S_OK);

  platform::automation::RegistrationStore store;
  EXPECT_EQ(store.root(), root);
  const std::string clsid = "{14115EC5-13C7-11D5-9B80-000039344F06}";
  const auto library = store.value("CLSID/" + clsid + "/InprocServer32");
  ASSERT_TRUE(library.has_value());
  EXPECT_TRUE(std::filesystem::equivalent(*library, kModulePath));
  const auto found = platform::automation::ClsidFromProgId(store, "VELKOR.VelkorCtrl.1");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->toString(), clsid);

  {
    std::shared_ptr<platform::automation::Control> control;
    ASSERT_EQ(platform::automation::CreateControl(store, "VELKOR.VelkorCtrl.1", control), platform::automation::S_OK);
    EXPECT_EQ(canUnload(), platform::automation::S_FALSE);
    EventRecorder events;
    control->advise(&events);
    Peer drive;
    const std::uint16_t myPort = freePort();
    ASSERT_EQ(control->put("DestIp", "127.0.0.1"), platform::automation::S_OK);
    control->put("DestPort", static_cast<std::int32_t>(drive.port()));
    control->put("MyPort", static_cast<std::int32_t>(myPort));
    control->put("SrcIpFilter", true);
    control->put("PortOpen", true);
    control->put("Output", Variant::bytes({'Q', 'T'}));
    const auto request = drive.receive();
    ASSERT_EQ(request.size(), 22u);
    EXPECT_EQ(request[0], 'S');
    std::vector<std::uint8_t> answer = request;
    answer[0] = 'R';
    answer[1] = 'S';
    drive.sendTo(myPort, answer);
    ASSERT_TRUE(runUntil([&] { return events.receives == 1; }));
    Variant payload;
    control->get("InputB", payload);
    EXPECT_EQ(bytesOf(payload), (std::vector<std::uint8_t>{'Q', 'T'}));
    EXPECT_TRUE(events.errors.empty());

    // An ephemeral port: the drive answers to wherever the request came from.
    std::shared_ptr<platform::automation::Control> byClsid;
    ASSERT_EQ(platform::automation::CreateControl(store, clsid, byClsid), platform::automation::S_OK);
    EventRecorder ephemeralEvents;
    byClsid->advise(&ephemeralEvents);
    byClsid->put("DestIp", "127.0.0.1");
    byClsid->put("DestPort", static_cast<std::int32_t>(drive.port()));
    byClsid->put("MyPort", 0);
    byClsid->put("PortOpen", true);
    byClsid->put("Output", "MX203");
    std::uint16_t senderPort = 0;
    std::vector<std::uint8_t> again = drive.receive(&senderPort);
    ASSERT_EQ(again.size(), 25u);
    ASSERT_NE(senderPort, 0);
    again[0] = 'R';
    again[1] = 'S';
    drive.sendTo(senderPort, again);
    ASSERT_TRUE(runUntil([&] { return ephemeralEvents.receives == 1; }));
    Variant text;
    byClsid->get("Input", text);
    EXPECT_EQ(text, Variant("MX203"));

    // The module converts text in the code page its host gives it, not one of its own.
    ASSERT_EQ(byClsid->put("CodePage", "SHIFT_JIS"), platform::automation::S_OK);
    byClsid->put("Output", "\xE3\x81\x82");  // あ
    std::vector<std::uint8_t> japanese = drive.receive(&senderPort);
    ASSERT_EQ(japanese.size(), 22u);
    EXPECT_EQ(japanese[20], 0x82);
    EXPECT_EQ(japanese[21], 0xA0);
    japanese[0] = 'R';
    japanese[1] = 'S';
    drive.sendTo(senderPort, japanese);
    ASSERT_TRUE(runUntil([&] { return ephemeralEvents.receives == 2; }));
    byClsid->get("Input", text);
    EXPECT_EQ(text, Variant("\xE3\x81\x82"));
  }
  EXPECT_EQ(canUnload(), platform::automation::S_OK);

  std::shared_ptr<platform::automation::Control> none;
  EXPECT_EQ(platform::automation::CreateControl(store, "VELKOR.NoSuch.1", none), platform::automation::CO_E_CLASSSTRING);
  EXPECT_EQ(platform::automation::CreateControl(store, "{00000000-0000-0000-0000-000000000001}", none),
            platform::automation::REGDB_E_CLASSNOTREG);
  ASSERT_EQ(unregisterServer(), platform::automation::S_OK);
  EXPECT_EQ(platform::automation::CreateControl(store, "VELKOR.VelkorCtrl.1", none), platform::automation::CO_E_CLASSSTRING);
  EXPECT_EQ(platform::automation::CreateControl(store, clsid, none), platform::automation::REGDB_E_CLASSNOTREG);
  EXPECT_EQ(none, nullptr);

  // A store that names a library that is not there.
  store.setValue("CLSID/" + clsid + "/InprocServer32", "", root + "/missing.so");
  EXPECT_EQ(platform::automation::CreateControl(store, clsid, none), platform::automation::CO_E_DLLNOTFOUND);
  std::filesystem::remove_all(root);
}
