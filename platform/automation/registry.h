#pragma once
// The registration store: CLSIDs and ProgIDs mapped to the module library that serves them.
// A folder of small text files, one per key; the root is $QUILLON_REGISTRY if set, else
// $XDG_DATA_HOME/quillon/registry (~/.local/share/quillon/registry). Tests set their own root.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/automation/result.h"

namespace automation {

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
  static std::string defaultRoot();
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

// Looks up a ProgID's CLSID ("ProgID/CLSID" in the store).
std::optional<Guid> ClsidFromProgId(const RegistrationStore& store, std::string_view progId);

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

}  // namespace automation
