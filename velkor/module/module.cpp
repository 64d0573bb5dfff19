// The control module's entry points: class objects, self-registration, unload check, and
// the design-time helpers.
#include "velkor/module/module.h"

#include <dlfcn.h>

#include <QGuiApplication>
#include <atomic>
#include <iostream>
#include <memory>

#include "platform/shell/message_box.h"
#include "platform/sockets/udp_socket.h"
#include "velkor/capture/ostrin_ctrl.h"
#include "velkor/control/velkor_ctrl.h"
#include "velkor/module/design_view.h"
#include "velkor/module/registration.h"

namespace velkor {

namespace {

// Controls handed out and not yet destroyed: the module must stay loaded while any live.
std::atomic<long> liveObjects{0};

template <typename ControlClass>
class Factory : public platform::automation::ClassFactory {
 public:
  platform::automation::HRESULT createInstance(std::shared_ptr<platform::automation::Control>& out) override {
    ++liveObjects;
    out = std::shared_ptr<platform::automation::Control>(new ControlClass(), [](platform::automation::Control* c) {
      delete c;
      --liveObjects;
    });
    return platform::automation::S_OK;
  }
};

std::string modulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&modulePath), &info) == 0 || !info.dli_fname) return {};
  return info.dli_fname;
}

// The socket layer is started when the module loads; a failure is shown once and every
// later request for a class fails.
int startSocketsOnLoad() {
  const int error = platform::sockets::Startup();
  if (error != 0) {
    const std::string text = "Windows Socket initialization failure";
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
      platform::shell::QtMessageBoxes("Velkor").showMessage(text);
    } else {
      platform::shell::TerminalMessageBoxes(std::cerr, false).showMessage(text);
    }
  }
  return error;
}

const int socketStartup = startSocketsOnLoad();

const ModuleClass* classFor(const platform::automation::Guid* clsid) {
  if (!clsid) return nullptr;
  for (const ModuleClass& c : ModuleClasses()) {
    if (platform::automation::Guid::parse(c.clsid) == *clsid) return &c;
  }
  return nullptr;
}

}  // namespace

std::string ModuleLibraryPath() { return modulePath(); }

}  // namespace velkor

using namespace velkor;

extern "C" {

VELKOR_EXPORT platform::automation::HRESULT DllGetClassObject(const platform::automation::Guid* clsid, platform::automation::ClassFactory** factory) {
  if (!clsid || !factory) return platform::automation::E_POINTER;
  *factory = nullptr;
  if (socketStartup != 0) return platform::automation::E_FAIL;
  static Factory<CVelkorCtrl> velkorFactory;
  static Factory<COstrinCtrl> ostrinFactory;
  const ModuleClass* c = classFor(clsid);
  if (!c || c->kind == ModuleClass::Kind::PropertyPage) return platform::automation::CLASS_E_CLASSNOTAVAILABLE;
  const bool isVelkor = platform::automation::Guid::parse(kVelkorClsidText) == *clsid;
  *factory = isVelkor ? static_cast<platform::automation::ClassFactory*>(&velkorFactory)
                      : static_cast<platform::automation::ClassFactory*>(&ostrinFactory);
  return platform::automation::S_OK;
}

VELKOR_EXPORT platform::automation::HRESULT DllRegisterServer() {
  platform::automation::RegistrationStore store;
  return RegisterModule(store, modulePath());
}

VELKOR_EXPORT platform::automation::HRESULT DllUnregisterServer() {
  platform::automation::RegistrationStore store;
  return UnregisterModule(store);
}

VELKOR_EXPORT platform::automation::HRESULT DllCanUnloadNow() { return liveObjects == 0 ? platform::automation::S_OK : platform::automation::S_FALSE; }

VELKOR_EXPORT const char* VelkorModuleVersion() { return QUILLON_VERSION; }

VELKOR_EXPORT platform::automation::HRESULT VelkorDrawDesignTime(const platform::automation::Guid* clsid, int width, int height,
                                                       const char* pngPath) {
  const ModuleClass* c = classFor(clsid);
  if (!c || c->kind != ModuleClass::Kind::Control) return platform::automation::CLASS_E_CLASSNOTAVAILABLE;
  if (!pngPath || width <= 0 || height <= 0 || width > 4096 || height > 4096) return platform::automation::E_INVALIDARG;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return platform::automation::E_FAIL;
  return DrawDesignTime(c->label, width, height).save(QString::fromLocal8Bit(pngPath), "PNG") ? platform::automation::S_OK
                                                                                                : platform::automation::E_FAIL;
}

VELKOR_EXPORT platform::automation::HRESULT VelkorShowPropertyPage(const platform::automation::Guid* clsid, platform::automation::Control* control) {
  const ModuleClass* c = classFor(clsid);
  if (!c || c->kind != ModuleClass::Kind::Control || !control) return platform::automation::E_INVALIDARG;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return platform::automation::E_FAIL;
  return RunPropertySheet(*control, std::string(c->userTypeName) + " Properties") ? platform::automation::S_OK
                                                                                  : platform::automation::S_FALSE;
}

}  // extern "C"
