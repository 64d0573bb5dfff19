#pragma once
// The registration store: CLSIDs and ProgIDs mapped to the module library that serves them.
// A folder of small text files, one per key. A host consults the user's own store
// ($XDG_DATA_HOME/quillon/registry, ~/.local/share/quillon/registry) and then the system-wide
// one that the installed package fills (/var/lib/quillon/registry). $QUILLON_REGISTRY, when
// set, names the one store used instead of both: tests point it at a temporary folder and
// must never be served a module that happens to be installed on the machine.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/automation/result.h"

namespace platform::automation {

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0, data3 = 0;
  std::uint8_t data4[8] = {};
  // "{14115EC5-13C7-11D5-9B80-000039344F06}", braces required, any case.
  static std::optional<Guid> parse(std::string_view text);
  std::string toString() const;  // upper case, with braces
  bool operator==(const Guid&) const = default;
};

class RegistrationStore {
 public:
  explicit RegistrationStore(std::string root = defaultRoot());
  // The store that registration writes: $QUILLON_REGISTRY, else the user's own.
  static std::string defaultRoot();
  static std::string userRoot();
  static std::string systemRoot();
  const std::string& root() const { return root_; }

  // A key is a path such as "CLSID/{...}/InprocServer32"; values are named strings
  // ("" is the key's default value).
  HRESULT setValue(std::string_view key, std::string_view name, std::string_view value);
  std::optional<std::string> value(std::string_view key, std::string_view name = "") const;
  HRESULT removeKey(std::string_view key);  // with its subkeys
  std::vector<std::string> subkeys(std::string_view key) const;

 private:
  std::string root_;
};

// The stores a host consults, first match wins: $QUILLON_REGISTRY alone when set, otherwise
// the user's own store and then the system-wide one.
std::vector<RegistrationStore> SearchedStores(const std::string& systemRoot = RegistrationStore::systemRoot());

// Looks up a ProgID's CLSID ("ProgID/CLSID" in the store).
std::optional<Guid> ClsidFromProgId(const RegistrationStore& store, std::string_view progId);
// A ProgID or a CLSID in braces.
std::optional<Guid> ClassIdOf(const RegistrationStore& store, std::string_view progIdOrClsid);

// Which store names a class and the module library it names for it.
struct ServerRegistration {
  std::string storeRoot;
  Guid clsid;
  std::string library;
};
// The first of `stores` whose entry for the class names a library.
std::optional<ServerRegistration> FindServer(const std::vector<RegistrationStore>& stores,
                                             std::string_view progIdOrClsid);

// Loads a module library (once per process); nullptr with the loader's reason in `why`.
void* LoadModule(const std::string& libraryPath, std::string& why);
// One of a loaded module's exported entries, nullptr when it has none of that name.
void* ModuleEntry(void* module, const char* name);

// Creates a control from the given module library through its DllGetClassObject entry point.
HRESULT CreateControlFromLibrary(const std::string& libraryPath, const Guid& clsid, std::shared_ptr<Control>& out);

// Creates a control by CLSID: the store names its module library, which is loaded once
// and asked through its DllGetClassObject entry point for the class factory.
HRESULT CreateControl(const RegistrationStore& store, const Guid& clsid, std::shared_ptr<Control>& out);
// By ProgID or by CLSID text.
HRESULT CreateControl(const RegistrationStore& store, std::string_view progIdOrClsid, std::shared_ptr<Control>& out);

// Loads a module library (once per process) and runs its DllRegisterServer or
// DllUnregisterServer against the store of $QUILLON_REGISTRY / the user's store.
HRESULT RegisterServer(const std::string& libraryPath);
HRESULT UnregisterServer(const std::string& libraryPath);

// The entry points a module library exports (extern "C").
using DllGetClassObjectFn = HRESULT (*)(const Guid* clsid, ClassFactory** factory);
using DllRegisterServerFn = HRESULT (*)();
using DllCanUnloadNowFn = HRESULT (*)();

}  // namespace platform::automation
