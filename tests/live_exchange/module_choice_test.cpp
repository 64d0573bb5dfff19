// Which control module the program loads: the first store that names the Velkor control, else
// its own module; and a module of another version is refused with its file, its version and
// what to do, never used.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/automation/registry.h"
#include "quillon/live_exchange/velkor_module_location.h"
#include "quillon/live_exchange/velkor_exchange.h"
#include "tests/live_exchange/live_exchange_rig.h"
#include "velkor/control/velkor_ids.h"

namespace {
namespace fs = std::filesystem;

// Names `library` for the Velkor control in the store at `root`, as registering a module does.
void registerLibrary(const fs::path& root, const std::string& library) {
  platform::automation::RegistrationStore store(root.string());
  const std::string clsid = velkor::kVelkorClsidText;
  ASSERT_EQ(store.setValue(std::string(velkor::kVelkorProgId) + "/CLSID", "", clsid), platform::automation::S_OK);
  ASSERT_EQ(store.setValue("CLSID/" + clsid + "/InprocServer32", "", library), platform::automation::S_OK);
}

struct ModuleChoice : testing::Test {
  const fs::path base = fs::temp_directory_path() / ("quillon_module_choice_" + std::to_string(::getpid()));
  const fs::path ownStore = base / "own";
  const fs::path dataHome = base / "data";
  void SetUp() override {
    quillon_test::EnsureCoreApplication();
    fs::remove_all(base);
    fs::create_directories(ownStore);
    setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    setenv("QUILLON_REGISTRY", ownStore.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QUILLON_REGISTRY");
    unsetenv("XDG_DATA_HOME");
    fs::remove_all(base);
  }
  // The error of a creation that must fail.
  static std::string refusal() {
    std::string error;
    EXPECT_EQ(quillon::CreateVelkorControl(error), nullptr);
    return error;
  }
};

void expectMentions(const std::string& text, std::initializer_list<std::string> parts) {
  for (const std::string& part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << "\n in: " << text;
}

TEST_F(ModuleChoice, ModuleOfAnotherVersionOrNoneIsRefusedWithWhatToDo) {
  const std::string wanted = quillon::WantedVelkorModuleVersion();
  ASSERT_NE(wanted, "0.9");

  registerLibrary(ownStore, OTHER_VERSION_MODULE);
  expectMentions(refusal(), {OTHER_VERSION_MODULE, "registered in " + ownStore.string(), "is version 0.9",
                             "built for version " + wanted, "velkor-module register --module " REAL_MODULE});

  registerLibrary(ownStore, UNVERSIONED_MODULE);
  expectMentions(refusal(), {UNVERSIONED_MODULE, "does not say its version", "built for version " + wanted});

  const std::string gone = (base / "gone" / "libvelkor.so").string();
  registerLibrary(ownStore, gone);
  expectMentions(refusal(), {gone, "cannot be loaded", "velkor-module register"});

  registerLibrary(ownStore, REAL_MODULE);
  std::string error;
  EXPECT_NE(quillon::CreateVelkorControl(error), nullptr);
  EXPECT_EQ(error, "");
}

TEST_F(ModuleChoice, UsersOwnRegistrationWinsButAnExplicitStoreStandsAlone) {
  const fs::path userStore = dataHome / "quillon" / "registry";
  registerLibrary(userStore, OTHER_VERSION_MODULE);

  // $QUILLON_REGISTRY names an empty store: neither the user's nor the system's registration
  // is consulted, and the program takes the module of its own build tree.
  std::string error;
  EXPECT_NE(quillon::CreateVelkorControl(error), nullptr) << error;
  EXPECT_EQ(error, "");
  EXPECT_TRUE(fs::is_empty(ownStore));  // creating a control registers nothing

  // Without it the user's registration comes first, whatever the system's store holds, and
  // the message says how to step back to the system's module.
  unsetenv("QUILLON_REGISTRY");
  expectMentions(refusal(), {OTHER_VERSION_MODULE, "registered in " + userStore.string(), "is version 0.9",
                             "velkor-module unregister"});
}

}  // namespace
