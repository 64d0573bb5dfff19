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

std::string modulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&modulePath), &info) == 0 || !info.dli_fname) return {};
  return info.dli_fname;
}

// The socket layer is started when the module loads; a failure is shown once and every
// later request for a class fails.
int startSocketsOnLoad() {
  const int error = sockets::Startup();
  if (error != 0) {
    const std::string text = "Windows Socket initialization failure";
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
      platform_shell::QtMessageBoxes("Velkor").showMessage(text);
    } else {
      platform_shell::TerminalMessageBoxes(std::cerr, false).showMessage(text);
    }
  }
  return error;
}

const int socketStartup = startSocketsOnLoad();

const ModuleClass* classFor(const automation::Guid* clsid) {
  if (!clsid) return nullptr;
  for (const ModuleClass& c : ModuleClasses()) {
    if (automation::Guid::parse(c.clsid) == *clsid) return &c;
  }
  return nullptr;
}

}  // namespace

std::string ModuleLibraryPath() { return modulePath(); }

}  // namespace velkor

using namespace velkor;

extern "C" {

VELKOR_EXPORT automation::HRESULT DllGetClassObject(const automation::Guid* clsid, automation::ClassFactory** factory) {
  if (!clsid || !factory) return automation::E_POINTER;
  *factory = nullptr;
  if (socketStartup != 0) return automation::E_FAIL;
  static Factory<CVelkorCtrl> velkorFactory;
  static Factory<COstrinCtrl> ostrinFactory;
  const ModuleClass* c = classFor(clsid);
  if (!c || c->kind == ModuleClass::Kind::PropertyPage) return automation::CLASS_E_CLASSNOTAVAILABLE;
  const bool isVelkor = automation::Guid::parse(kVelkorClsidText) == *clsid;
  *factory = isVelkor ? static_cast<automation::ClassFactory*>(&velkorFactory)
                      : static_cast<automation::ClassFactory*>(&ostrinFactory);
  return automation::S_OK;
}

VELKOR_EXPORT automation::HRESULT DllRegisterServer() {
  automation::RegistrationStore store;
  return RegisterModule(store, modulePath());
}

VELKOR_EXPORT automation::HRESULT DllUnregisterServer() {
  automation::RegistrationStore store;
  return UnregisterModule(store);
}

VELKOR_EXPORT automation::HRESULT DllCanUnloadNow() { return liveObjects == 0 ? automation::S_OK : automation::S_FALSE; }

VELKOR_EXPORT const char* VelkorModuleVersion() { return QUILLON_VERSION; }

VELKOR_EXPORT automation::HRESULT VelkorDrawDesignTime(const automation::Guid* clsid, int width, int height,
                                                       const char* pngPath) {
  const ModuleClass* c = classFor(clsid);
  if (!c || c->kind != ModuleClass::Kind::Control) return automation::CLASS_E_CLASSNOTAVAILABLE;
  if (!pngPath || width <= 0 || height <= 0 || width > 4096 || height > 4096) return automation::E_INVALIDARG;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return automation::E_FAIL;
  return DrawDesignTime(c->label, width, height).save(QString::fromLocal8Bit(pngPath), "PNG") ? automation::S_OK
                                                                                                : automation::E_FAIL;
}

VELKOR_EXPORT automation::HRESULT VelkorShowPropertyPage(const automation::Guid* clsid, automation::Control* control) {
  const ModuleClass* c = classFor(clsid);
  if (!c || c->kind != ModuleClass::Kind::Control || !control) return automation::E_INVALIDARG;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return automation::E_FAIL;
  return RunPropertySheet(*control, std::string(c->userTypeName) + " Properties") ? automation::S_OK
                                                                                  : automation::S_FALSE;
}

}  // extern "C"
