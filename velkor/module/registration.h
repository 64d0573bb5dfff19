#pragma once
// What the module writes into the registration store: the type library, its interfaces,
// both controls and both property pages.
#include <span>
#include <string>

#include "platform/automation/registry.h"

namespace velkor {

struct ModuleClass {
  enum class Kind { Control, PropertyPage };
  Kind kind;
  const char* clsid;
  const char* progId;
  const char* userTypeName;
  const char* label;          // design-time text (controls)
  int toolboxBitmap;          // controls
  const char* dispatchIid;    // controls
  const char* dispatchName;
  const char* eventsIid;
  const char* eventsName;
  const char* propertyPage;   // controls: the CLSID of their only page
};

std::span<const ModuleClass> ModuleClasses();

inline constexpr const char* kTypeLibName = "VELKORLib";
inline constexpr const char* kTypeLibVersion = "1.4";
// Set client site first, invisible at run time, inside-out, cannot link inside, recompose
// on resize.
inline constexpr unsigned kMiscStatus = 0x20491;
inline constexpr const char* kPageCaption = "General";

// S_OK, SELFREG_E_TYPELIB or SELFREG_E_CLASS.
platform::automation::HRESULT RegisterModule(platform::automation::RegistrationStore& store, const std::string& modulePath);
platform::automation::HRESULT UnregisterModule(platform::automation::RegistrationStore& store);

}  // namespace velkor
