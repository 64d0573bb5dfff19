// Where the program finds the control module: the first registration store that names the
// Velkor control (the user's own, then the system-wide one the package fills), else the module
// that belongs to this program, installed beside it or in its build tree. Whichever it is, the
// module must be the version the program was built for; another one is refused with what to do,
// never used silently.
#include "quillon/live_exchange/velkor_module_location.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/automation/registry.h"
#include "platform/shell/install_layout.h"
#include "quillon/live_exchange/velkor_exchange.h"
#include "velkor/capture/ostrin_ids.h"
#include "velkor/control/velkor_ids.h"

namespace quillon {
namespace {

struct ModuleChoice {
  std::string library;
  platform::automation::Guid clsid;
  std::string namedBy;  // for the messages: where the choice came from
  std::string remedy;   // what the user does when the module is not the right one
};

std::string hresultText(platform::automation::HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

std::string ownModuleText() {
  const auto own = platform::shell::VelkorModuleOf(platform::shell::RunningProgram());
  return own ? own->string() : std::string("<the libvelkor.so of this program>");
}

std::string remedyForStore(const std::string& root) {
  const std::string registerOwn = "velkor-module register --module " + ownModuleText();
  if (const char* own = std::getenv("QUILLON_REGISTRY"); own && root == own)
    return "Register this program's module in that store ($QUILLON_REGISTRY) with: " + registerOwn;
  if (root == platform::automation::RegistrationStore::systemRoot())
    return "Reinstall the package (sudo apt-get install --reinstall quillon), or register this program's module "
           "with: sudo velkor-module --system register --module " + ownModuleText();
  return "Register this program's module with: " + registerOwn +
         "; or remove your own registration with: velkor-module unregister (then the system-wide registration, else this "
         "program's own module, is used)";
}

std::optional<ModuleChoice> chooseModule(std::string& error) {
  if (const auto found = platform::automation::FindServer(platform::automation::SearchedStores(), kVelkorControlProgId))
    return ModuleChoice{found->library, found->clsid, "registered in " + found->storeRoot,
                        remedyForStore(found->storeRoot)};
  const auto own = platform::shell::VelkorModuleOf(platform::shell::RunningProgram());
  const auto clsid = platform::automation::Guid::parse(velkor::kVelkorClsidText);
  if (!own || !clsid) {
    std::string stores;
    for (const auto& store : platform::automation::SearchedStores()) stores += (stores.empty() ? "" : ", ") + store.root();
    error = std::string("the Velkor control \"") + kVelkorControlProgId + "\" is registered in none of the stores " +
            stores + " and libvelkor.so was not found beside the program; reinstall the "
            "package, or register a module with: velkor-module register --module <path to libvelkor.so>";
    return std::nullopt;
  }
  return ModuleChoice{own->string(), *clsid, "beside this program",
                      "The program and its module come from different builds: reinstall the package, or "
                      "rebuild the build tree"};
}

using VersionEntry = const char* (*)();

// The module's own version entry; null with `why` when the module cannot be loaded.
void* loadModule(const ModuleChoice& choice, VersionEntry& version, std::string& why) {
  void* loaded = platform::automation::LoadModule(choice.library, why);
  version = loaded ? reinterpret_cast<VersionEntry>(platform::automation::ModuleEntry(loaded, "VelkorModuleVersion")) : nullptr;
  return loaded;
}

// Empty when the chosen module loads and is the version this program was built for.
std::string moduleRefusal(const ModuleChoice& choice) {
  const std::string module = "the Velkor control module " + choice.library + " (" + choice.namedBy + ")";
  std::string why;
  VersionEntry version = nullptr;
  if (!loadModule(choice, version, why)) return module + " cannot be loaded: " + why + ". " + choice.remedy;
  if (!version)
    return module + " does not say its version; this program was built for version " + WantedVelkorModuleVersion() +
           ". " + choice.remedy;
  const char* text = version();
  const std::string found = text ? text : "";
  if (found == WantedVelkorModuleVersion()) return {};
  return module + " is version " + found + "; this program was built for version " + WantedVelkorModuleVersion() +
         ". " + choice.remedy;
}

}  // namespace

std::string WantedVelkorModuleVersion() { return QUILLON_VERSION; }

std::optional<VelkorModuleVersion> FindVelkorModuleVersion(std::string& why) {
  const auto choice = chooseModule(why);
  if (!choice) return std::nullopt;
  VersionEntry version = nullptr;
  if (!loadModule(*choice, version, why)) return std::nullopt;
  const char* text = version ? version() : nullptr;
  return VelkorModuleVersion{text ? text : "(no version)", choice->library + ", " + choice->namedBy};
}

std::shared_ptr<platform::automation::Control> CreateVelkorControl(std::string& error) {
  const auto choice = chooseModule(error);
  if (!choice) return nullptr;
  if (error = moduleRefusal(*choice); !error.empty()) return nullptr;
  std::shared_ptr<platform::automation::Control> control;
  const auto hr = platform::automation::CreateControlFromLibrary(choice->library, choice->clsid, control);
  if (platform::automation::Failed(hr) || !control) {
    error = std::string("the Velkor control \"") + kVelkorControlProgId + "\" could not be created from " +
            choice->library + " (" + hresultText(hr) + ")";
    return nullptr;
  }
  return control;
}

}  // namespace quillon

namespace quillon {

std::shared_ptr<platform::automation::Control> CreateOstrinControl(std::string& error) {
  const auto choice = chooseModule(error);
  if (!choice) return nullptr;
  if (error = moduleRefusal(*choice); !error.empty()) return nullptr;
  const auto clsid = platform::automation::Guid::parse(velkor::kOstrinClsidText);
  std::shared_ptr<platform::automation::Control> control;
  const auto hr = clsid ? platform::automation::CreateControlFromLibrary(choice->library, *clsid, control)
                        : platform::automation::HRESULT{};
  if (!clsid || platform::automation::Failed(hr) || !control) {
    error = std::string("the capture control \"") + velkor::kOstrinProgId + "\" could not be created from " +
            choice->library + " (" + hresultText(hr) + ")";
    return nullptr;
  }
  return control;
}

}  // namespace quillon
