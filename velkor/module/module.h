#pragma once
// Entry points of libvelkor.so. The first four are the in-process server's (see
// platform/automation/registry.h); the version lets a host refuse a module of another build;
// the last two serve design tools such as velkor-module.
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

// The version this module was built as; a host compares it with the version it was built for.
VELKOR_EXPORT const char* VelkorModuleVersion();

// The design-time look of a control class, written as a PNG file.
VELKOR_EXPORT automation::HRESULT VelkorDrawDesignTime(const automation::Guid* clsid, int width, int height,
                                                       const char* pngPath);
// The control's property sheet, modal; needs a running QApplication. S_OK for OK, S_FALSE
// for Cancel.
VELKOR_EXPORT automation::HRESULT VelkorShowPropertyPage(const automation::Guid* clsid, automation::Control* control);
}

using VelkorModuleVersionFn = const char* (*)();
using VelkorDrawDesignTimeFn = automation::HRESULT (*)(const automation::Guid*, int, int, const char*);
using VelkorShowPropertyPageFn = automation::HRESULT (*)(const automation::Guid*, automation::Control*);
