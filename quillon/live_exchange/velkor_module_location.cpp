// Where the program finds the control module when the registration store does not name a
// loadable one (an installed program looks beside itself, a build-tree program in the tree),
// and which version the registered one gives itself.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/automation/registry.h"
#include "quillon/live_exchange/velkor_exchange.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

std::string hresultText(automation::HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

std::vector<fs::path> moduleCandidates() {
  std::vector<fs::path> candidates;
  std::error_code ec;
  const fs::path program = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path prefix = program.parent_path().parent_path();
    const fs::path name = fs::path(QUILLON_VELKOR_BUILD_MODULE).filename();
    candidates.push_back(prefix / QUILLON_INSTALL_LIBDIR / name);
    candidates.push_back(prefix / "lib" / name);
  }
  candidates.emplace_back(QUILLON_VELKOR_INSTALLED_MODULE);
  candidates.emplace_back(QUILLON_VELKOR_BUILD_MODULE);
  return candidates;
}

std::optional<fs::path> findModule() {
  for (const fs::path& candidate : moduleCandidates()) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate.lexically_normal();
  }
  return std::nullopt;
}

}  // namespace

std::optional<VelkorModuleVersion> RegisteredVelkorVersion() {
  const automation::RegistrationStore store;
  const std::optional<automation::Guid> clsid = automation::ClsidFromProgId(store, kVelkorControlProgId);
  if (!clsid) return std::nullopt;
  const std::string key = "CLSID/" + clsid->toString();
  const std::optional<std::string> version = store.value(key + "/Version");
  if (!version) return std::nullopt;
  return VelkorModuleVersion{*version, store.value(key + "/InprocServer32").value_or("")};
}

std::shared_ptr<automation::Control> CreateVelkorControl(std::string& error) {
  std::shared_ptr<automation::Control> control;
  if (automation::Succeeded(automation::CreateControl(automation::RegistrationStore(), kVelkorControlProgId, control)) &&
      control)
    return control;

  const auto module = findModule();
  if (!module) {
    error = std::string("the Velkor control \"") + kVelkorControlProgId +
            "\" is not registered and libvelkor.so was not found beside the program; "
            "register it with: velkor-module register --module <path to libvelkor.so>";
    return nullptr;
  }
  if (const auto hr = automation::RegisterServer(module->string()); automation::Failed(hr)) {
    error = "the Velkor control module " + module->string() + " could not be registered (" + hresultText(hr) + ")";
    return nullptr;
  }
  const auto hr = automation::CreateControl(automation::RegistrationStore(), kVelkorControlProgId, control);
  if (automation::Failed(hr) || !control) {
    error = std::string("the Velkor control \"") + kVelkorControlProgId + "\" could not be created from " +
            module->string() + " (" + hresultText(hr) + ")";
    return nullptr;
  }
  return control;
}

}  // namespace quillon
