// The control module's entry points: class objects, self-registration and unload check.
#include <dlfcn.h>

#include <atomic>
#include <memory>

#include "platform/automation/registry.h"
#include "velkor/control/velkor_ctrl.h"
#include "velkor/module/module.h"

namespace velkor {

namespace {

// Controls handed out and not yet destroyed: the module must stay loaded while any live.
std::atomic<long> liveObjects{0};

template <typename ControlClass>
class Factory : public automation::ClassFactory {
 public:
  automation::HRESULT createInstance(std::shared_ptr<automation::Control>& out) override {
    ++liveObjects;
    out = std::shared_ptr<automation::Control>(new ControlClass(), [](automation::Control* c) {
      delete c;
      --liveObjects;
    });
    return automation::S_OK;
  }
};

// The file this code was loaded from, as the store must name it.
std::string modulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&modulePath), &info) == 0 || !info.dli_fname) return {};
  return info.dli_fname;
}

struct ClassEntry {
  const char* clsid;
  const char* progId;
  const char* name;
};

constexpr ClassEntry kClasses[] = {
    {kVelkorClsidText, kVelkorProgId, "Velkor Control"},
};

automation::HRESULT registerClass(automation::RegistrationStore& store, const ClassEntry& c, const std::string& path) {
  const std::string clsidKey = std::string("CLSID/") + c.clsid;
  automation::HRESULT hr = automation::S_OK;
  auto set = [&](const std::string& key, const char* name, const std::string& value) {
    if (automation::Succeeded(hr)) hr = store.setValue(key, name, value);
  };
  set(clsidKey, "", c.name);
  set(clsidKey + "/InprocServer32", "", path);
  set(clsidKey + "/InprocServer32", "ThreadingModel", "Apartment");
  set(clsidKey + "/ProgID", "", c.progId);
  set(clsidKey + "/Control", "", "");
  set(std::string(c.progId), "", c.name);
  set(std::string(c.progId) + "/CLSID", "", c.clsid);
  return automation::Succeeded(hr) ? hr : automation::SELFREG_E_CLASS;
}

}  // namespace

std::string ModuleLibraryPath() { return modulePath(); }

}  // namespace velkor

using namespace velkor;

extern "C" {

VELKOR_EXPORT automation::HRESULT DllGetClassObject(const automation::Guid* clsid, automation::ClassFactory** factory) {
  if (!clsid || !factory) return automation::E_POINTER;
  *factory = nullptr;
  static Factory<CVelkorCtrl> velkorFactory;
  if (*clsid == *automation::Guid::parse(kVelkorClsidText)) {
    *factory = &velkorFactory;
    return automation::S_OK;
  }
  return automation::CLASS_E_CLASSNOTAVAILABLE;
}

VELKOR_EXPORT automation::HRESULT DllRegisterServer() {
  const std::string path = modulePath();
  if (path.empty()) return automation::SELFREG_E_CLASS;
  automation::RegistrationStore store;
  for (const auto& c : kClasses) {
    if (const auto hr = registerClass(store, c, path); automation::Failed(hr)) return hr;
  }
  return automation::S_OK;
}

VELKOR_EXPORT automation::HRESULT DllUnregisterServer() {
  automation::RegistrationStore store;
  automation::HRESULT result = automation::S_OK;
  for (const auto& c : kClasses) {
    if (automation::Failed(store.removeKey(std::string("CLSID/") + c.clsid))) result = automation::SELFREG_E_CLASS;
    if (automation::Failed(store.removeKey(c.progId))) result = automation::SELFREG_E_CLASS;
  }
  return result;
}

VELKOR_EXPORT automation::HRESULT DllCanUnloadNow() {
  return liveObjects == 0 ? automation::S_OK : automation::S_FALSE;
}

}  // extern "C"
