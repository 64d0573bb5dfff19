#pragma once
// Entry points of libvelkor.so (see platform/automation/registry.h for their use).
#include <string>

#include "platform/automation/registry.h"

#define VELKOR_EXPORT __attribute__((visibility("default")))

namespace velkor {
// The path of the loaded module file, as DllRegisterServer records it.
std::string ModuleLibraryPath();
}

extern "C" {
VELKOR_EXPORT automation::HRESULT DllGetClassObject(const automation::Guid* clsid, automation::ClassFactory** factory);
VELKOR_EXPORT automation::HRESULT DllRegisterServer();
VELKOR_EXPORT automation::HRESULT DllUnregisterServer();
VELKOR_EXPORT automation::HRESULT DllCanUnloadNow();
}
