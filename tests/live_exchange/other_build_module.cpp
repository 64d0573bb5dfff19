// A stand-in for libvelkor.so of another build: the entry points a host looks for, a version
// of its own (OTHER_MODULE_VERSION, or none at all as older modules have), and no class served.
#include "platform/automation/registry.h"

#define EXPORTED extern "C" __attribute__((visibility("default")))

EXPORTED platform::automation::HRESULT DllGetClassObject(const platform::automation::Guid*, platform::automation::ClassFactory** factory) {
  if (factory) *factory = nullptr;
  return platform::automation::CLASS_E_CLASSNOTAVAILABLE;
}

#ifdef OTHER_MODULE_VERSION
EXPORTED const char* VelkorModuleVersion() { return OTHER_MODULE_VERSION; }
#endif
