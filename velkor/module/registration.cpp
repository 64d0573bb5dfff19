#include "velkor/module/registration.h"

#include "velkor/capture/ostrin_ids.h"
#include "velkor/control/velkor_ids.h"
#include "velkor/module/design_view.h"

namespace velkor {

namespace {

constexpr const char* kVelkorPageClsid = "{14115EC6-13C7-11D5-9B80-000039344F06}";
constexpr const char* kOstrinPageClsid = "{C7D116A9-14A0-11D6-B707-0040CA979388}";
// The automation layer's own marshaller for dispatch interfaces.
constexpr const char* kDispatchProxyStub = "{00020420-0000-0000-C000-000000000046}";

constexpr ModuleClass kClasses[] = {
    {ModuleClass::Kind::Control, kVelkorClsidText, kVelkorProgId, "Velkor Control", kVelkorLabel, 1,
     kVelkorDispatchIid, "_DVelkor", kVelkorEventsIid, "_DVelkorEvents", kVelkorPageClsid},
    {ModuleClass::Kind::PropertyPage, kVelkorPageClsid, "VELKOR.VelkorPropPage.1", "Velkor Property Page", "", 0,
     nullptr, nullptr, nullptr, nullptr, nullptr},
    {ModuleClass::Kind::Control, kOstrinClsidText, kOstrinProgId, "Ostrin Control", kOstrinLabel, 5,
     kOstrinDispatchIid, "_DOstrin", kOstrinEventsIid, "_DOstrinEvents", kOstrinPageClsid},
    {ModuleClass::Kind::PropertyPage, kOstrinPageClsid, "OSTRIN.OstrinPropPage.1", "Ostrin Property Page", "", 0,
     nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Collects the first failure of a run of store writes.
struct Writer {
  platform::automation::RegistrationStore& store;
  bool ok = true;
  void set(const std::string& key, const char* name, const std::string& value) {
    if (ok) ok = platform::automation::Succeeded(store.setValue(key, name, value));
  }
};

void registerInterface(Writer& w, const char* iid, const char* name) {
  const std::string key = std::string("Interface/") + iid;
  w.set(key, "", name);
  w.set(key + "/ProxyStubClsid32", "", kDispatchProxyStub);
  w.set(key + "/TypeLib", "", kVelkorTypeLibId);
  w.set(key + "/TypeLib", "Version", kTypeLibVersion);
}

bool registerTypeLibrary(platform::automation::RegistrationStore& store, const std::string& modulePath) {
  Writer w{store};
  const std::string key = std::string("TypeLib/") + kVelkorTypeLibId + "/" + kTypeLibVersion;
  w.set(key, "", kTypeLibName);
  w.set(key + "/0/linux", "", modulePath);
  w.set(key + "/FLAGS", "", "0");
  for (const ModuleClass& c : kClasses) {
    if (c.kind != ModuleClass::Kind::Control) continue;
    registerInterface(w, c.dispatchIid, c.dispatchName);
    registerInterface(w, c.eventsIid, c.eventsName);
  }
  return w.ok;
}

bool registerClass(platform::automation::RegistrationStore& store, const ModuleClass& c, const std::string& modulePath) {
  Writer w{store};
  const std::string key = std::string("CLSID/") + c.clsid;
  w.set(key, "", c.userTypeName);
  w.set(key + "/InprocServer32", "", modulePath);
  w.set(key + "/ProgID", "", c.progId);
  w.set(c.progId, "", c.userTypeName);
  w.set(std::string(c.progId) + "/CLSID", "", c.clsid);
  if (c.kind == ModuleClass::Kind::Control) {
    w.set(key + "/InprocServer32", "ThreadingModel", "Apartment");
    w.set(key + "/Control", "", "");
    w.set(key + "/ToolboxBitmap32", "", modulePath + ", " + std::to_string(c.toolboxBitmap));
    w.set(key + "/MiscStatus", "", "0");
    w.set(key + "/MiscStatus/1", "", std::to_string(kMiscStatus));
    w.set(key + "/TypeLib", "", kVelkorTypeLibId);
    w.set(key + "/Version", "", kTypeLibVersion);
    w.set(key + "/PropertyPages", "", c.propertyPage);
  } else {
    w.set(key, "Caption", kPageCaption);
  }
  return w.ok;
}

}  // namespace

std::span<const ModuleClass> ModuleClasses() { return kClasses; }

platform::automation::HRESULT RegisterModule(platform::automation::RegistrationStore& store, const std::string& modulePath) {
  if (modulePath.empty() || !registerTypeLibrary(store, modulePath)) return platform::automation::SELFREG_E_TYPELIB;
  for (const ModuleClass& c : kClasses) {
    if (!registerClass(store, c, modulePath)) return platform::automation::SELFREG_E_CLASS;
  }
  return platform::automation::S_OK;
}

platform::automation::HRESULT UnregisterModule(platform::automation::RegistrationStore& store) {
  bool typeLibOk = platform::automation::Succeeded(store.removeKey(std::string("TypeLib/") + kVelkorTypeLibId + "/" + kTypeLibVersion));
  for (const ModuleClass& c : kClasses) {
    if (c.kind != ModuleClass::Kind::Control) continue;
    for (const char* iid : {c.dispatchIid, c.eventsIid})
      typeLibOk = platform::automation::Succeeded(store.removeKey(std::string("Interface/") + iid)) && typeLibOk;
  }
  // The library's key goes when no version of it is left.
  const std::string libKey = std::string("TypeLib/") + kVelkorTypeLibId;
  if (store.subkeys(libKey).empty()) store.removeKey(libKey);
  if (!typeLibOk) return platform::automation::SELFREG_E_TYPELIB;
  bool classesOk = true;
  for (const ModuleClass& c : kClasses) {
    classesOk = platform::automation::Succeeded(store.removeKey(std::string("CLSID/") + c.clsid)) && classesOk;
    classesOk = platform::automation::Succeeded(store.removeKey(c.progId)) && classesOk;
  }
  return classesOk ? platform::automation::S_OK : platform::automation::SELFREG_E_CLASS;
}

}  // namespace velkor
