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
VELKOR_EXPORT platform::automation::HRESULT DllGetClassObject(const platform::automation::Guid* clsid, platform::automation::ClassFactory** factory);
VELKOR_EXPORT platform::automation::HRESULT DllRegisterServer();
VELKOR_EXPORT platform::automation::HRESULT DllUnregisterServer();
VELKOR_EXPORT platform::automation::HRESULT DllCanUnloadNow();

// The version this module was built as; a host compares it with the version it was built for.
VELKOR_EXPORT const char* VelkorModuleVersion();

// The design-time look of a control class, written as a PNG file.
VELKOR_EXPORT platform::automation::HRESULT VelkorDrawDesignTime(const platform::automation::Guid* clsid, int width, int height,
                                                       const char* pngPath);
// The control's property sheet, modal; needs a running QApplication. S_OK for OK, S_FALSE
// for Cancel.
VELKOR_EXPORT platform::automation::HRESULT VelkorShowPropertyPage(const platform::automation::Guid* clsid, platform::automation::Control* control);
}

using VelkorModuleVersionFn = const char* (*)();
using VelkorDrawDesignTimeFn = platform::automation::HRESULT (*)(const platform::automation::Guid*, int, int, const char*);
using VelkorShowPropertyPageFn = platform::automation::HRESULT (*)(const platform::automation::Guid*, platform::automation::Control*);
