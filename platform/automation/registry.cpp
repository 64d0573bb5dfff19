#include "platform/automation/registry.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

namespace platform::automation {

namespace fs = std::filesystem;

namespace {

constexpr const char* kValuesFile = ".values";  // a key's named values; subkeys are folders

bool parseHex(std::string_view text, std::uint64_t& out) {
  if (text.empty()) return false;
  const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out, 16);
  return ec == std::errc() && p == text.data() + text.size();
}

// "CLSID/{...}/InprocServer32" as a relative path; rejects anything that could leave the root.
std::optional<fs::path> keyPath(std::string_view key) {
  fs::path path;
  std::string part;
  auto flush = [&]() -> bool {
    if (part.empty()) return true;
    if (part.front() == '.') return false;
    path /= part;
    part.clear();
    return true;
  };
  for (char c : key) {
    if (c == '/' || c == '\\') {
      if (!flush()) return std::nullopt;
    } else if (c == '\0' || c == '\n' || c == '\t') {
      return std::nullopt;
    } else {
      part.push_back(c);
    }
  }
  if (!flush() || path.empty()) return std::nullopt;
  return path;
}

using Values = std::vector<std::pair<std::string, std::string>>;

Values readValues(const fs::path& file) {
  Values values;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    values.emplace_back(line.substr(0, tab), line.substr(tab + 1));
  }
  return values;
}

bool writeValues(const fs::path& file, const Values& values) {
  const fs::path temp = file.string() + ".new";
  {
    std::ofstream out(temp, std::ios::trunc);
    for (const auto& [name, value] : values) out << name << '\t' << value << '\n';
    out.close();
    if (!out) return false;
  }
  std::error_code ec;
  fs::rename(temp, file, ec);
  return !ec;
}

std::mutex& moduleMutex() {
  static std::mutex m;
  return m;
}

// Module libraries stay loaded for the life of the process: controls created from them
// may outlive any one host object.
void* loadModule(const std::string& path, std::string* why = nullptr) {
  static std::vector<std::pair<std::string, void*>> loaded;
  std::lock_guard lock(moduleMutex());
  for (const auto& [p, handle] : loaded) {
    if (p == path) return handle;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle) {
    loaded.emplace_back(path, handle);
  } else if (why) {
    const char* error = dlerror();
    *why = error ? error : "cannot be loaded";
  }
  return handle;
}

}  // namespace

std::optional<Guid> Guid::parse(std::string_view text) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  const std::string_view body = text.substr(1, 36);
  if (body[8] != '-' || body[13] != '-' || body[18] != '-' || body[23] != '-') return std::nullopt;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) continue;
    if (!std::isxdigit(static_cast<unsigned char>(body[i]))) return std::nullopt;
  }
  Guid g;
  std::uint64_t v = 0;
  parseHex(body.substr(0, 8), v);
  g.data1 = static_cast<std::uint32_t>(v);
  parseHex(body.substr(9, 4), v);
  g.data2 = static_cast<std::uint16_t>(v);
  parseHex(body.substr(14, 4), v);
  g.data3 = static_cast<std::uint16_t>(v);
  parseHex(body.substr(19, 2), v);
  g.data4[0] = static_cast<std::uint8_t>(v);
  parseHex(body.substr(21, 2), v);
  g.data4[1] = static_cast<std::uint8_t>(v);
  for (int i = 0; i < 6; ++i) {
    parseHex(body.substr(24 + 2 * i, 2), v);
    g.data4[2 + i] = static_cast<std::uint8_t>(v);
  }
  return g;
}

std::string Guid::toString() const {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1, data2, data3,
                data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6], data4[7]);
  return buf;
}

RegistrationStore::RegistrationStore(std::string root) : root_(std::move(root)) {}

std::string RegistrationStore::defaultRoot() {
  if (const char* own = std::getenv("QUILLON_REGISTRY"); own && *own) return own;
  return userRoot();
}

std::string RegistrationStore::systemRoot() { return QUILLON_SYSTEM_REGISTRY; }

std::string RegistrationStore::userRoot() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
    return (fs::path(data) / "quillon" / "registry").string();
  const char* home = std::getenv("HOME");
  return (fs::path(home && *home ? home : ".") / ".local" / "share" / "quillon" / "registry").string();
}

HRESULT RegistrationStore::setValue(std::string_view key, std::string_view name, std::string_view value) {
  const auto rel = keyPath(key);
  if (!rel || name.find_first_of("\t\n") != std::string_view::npos || value.find('\n') != std::string_view::npos)
    return E_INVALIDARG;
  const fs::path dir = fs::path(root_) / *rel;
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) return E_FAIL;
  const fs::path file = dir / kValuesFile;
  Values values = readValues(file);
  bool replaced = false;
  for (auto& [n, v] : values) {
    if (n == name) {
      v = value;
      replaced = true;
    }
  }
  if (!replaced) values.emplace_back(std::string(name), std::string(value));
  return writeValues(file, values) ? S_OK : E_FAIL;
}

std::optional<std::string> RegistrationStore::value(std::string_view key, std::string_view name) const {
  const auto rel = keyPath(key);
  if (!rel) return std::nullopt;
  for (const auto& [n, v] : readValues(fs::path(root_) / *rel / kValuesFile)) {
    if (n == name) return v;
  }
  return std::nullopt;
}

HRESULT RegistrationStore::removeKey(std::string_view key) {
  const auto rel = keyPath(key);
  if (!rel) return E_INVALIDARG;
  std::error_code ec;
  fs::remove_all(fs::path(root_) / *rel, ec);
  return ec ? E_FAIL : S_OK;
}

std::vector<std::string> RegistrationStore::subkeys(std::string_view key) const {
  std::vector<std::string> out;
  fs::path dir(root_);
  if (!key.empty()) {
    const auto rel = keyPath(key);
    if (!rel) return out;
    dir /= *rel;
  }
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory()) out.push_back(it->path().filename().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<RegistrationStore> SearchedStores(const std::string& systemRoot) {
  if (const char* own = std::getenv("QUILLON_REGISTRY"); own && *own) return {RegistrationStore(own)};
  return {RegistrationStore(RegistrationStore::userRoot()), RegistrationStore(systemRoot)};
}

std::optional<Guid> ClsidFromProgId(const RegistrationStore& store, std::string_view progId) {
  if (progId.empty()) return std::nullopt;
  const auto text = store.value(std::string(progId) + "/CLSID");
  return text ? Guid::parse(*text) : std::nullopt;
}

std::optional<Guid> ClassIdOf(const RegistrationStore& store, std::string_view progIdOrClsid) {
  return progIdOrClsid.starts_with('{') ? Guid::parse(progIdOrClsid) : ClsidFromProgId(store, progIdOrClsid);
}

namespace {

std::optional<std::string> serverLibrary(const RegistrationStore& store, const Guid& clsid) {
  auto library = store.value("CLSID/" + clsid.toString() + "/InprocServer32");
  if (!library || library->empty()) return std::nullopt;
  return library;
}

}  // namespace

std::optional<ServerRegistration> FindServer(const std::vector<RegistrationStore>& stores,
                                             std::string_view progIdOrClsid) {
  for (const RegistrationStore& store : stores) {
    const auto clsid = ClassIdOf(store, progIdOrClsid);
    if (!clsid) continue;
    if (auto library = serverLibrary(store, *clsid)) return ServerRegistration{store.root(), *clsid, *library};
  }
  return std::nullopt;
}

void* LoadModule(const std::string& libraryPath, std::string& why) { return loadModule(libraryPath, &why); }

void* ModuleEntry(void* module, const char* name) { return module ? dlsym(module, name) : nullptr; }

HRESULT CreateControl(const RegistrationStore& store, const Guid& clsid, std::shared_ptr<Control>& out) {
  const auto library = serverLibrary(store, clsid);
  if (!library) return REGDB_E_CLASSNOTREG;
  return CreateControlFromLibrary(*library, clsid, out);
}

HRESULT CreateControlFromLibrary(const std::string& libraryPath, const Guid& clsid, std::shared_ptr<Control>& out) {
  void* module = loadModule(libraryPath);
  if (!module) return CO_E_DLLNOTFOUND;
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(module, "DllGetClassObject"));
  if (!getClassObject) return CO_E_DLLNOTFOUND;
  ClassFactory* factory = nullptr;  // owned by the module
  const HRESULT hr = getClassObject(&clsid, &factory);
  if (Failed(hr)) return hr;
  if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
  std::shared_ptr<Control> created;
  const HRESULT made = factory->createInstance(created);
  if (Failed(made)) return made;
  if (!created) return E_FAIL;
  out = std::move(created);
  return S_OK;
}

HRESULT CreateControl(const RegistrationStore& store, std::string_view progIdOrClsid, std::shared_ptr<Control>& out) {
  const std::optional<Guid> clsid = ClassIdOf(store, progIdOrClsid);
  if (!clsid) return CO_E_CLASSSTRING;
  return CreateControl(store, *clsid, out);
}

namespace {

HRESULT runModuleEntry(const std::string& libraryPath, const char* name) {
  void* module = loadModule(libraryPath);
  if (!module) return CO_E_DLLNOTFOUND;
  auto entry = reinterpret_cast<DllRegisterServerFn>(dlsym(module, name));
  return entry ? entry() : CO_E_DLLNOTFOUND;
}

}  // namespace

HRESULT RegisterServer(const std::string& libraryPath) { return runModuleEntry(libraryPath, "DllRegisterServer"); }

HRESULT UnregisterServer(const std::string& libraryPath) { return runModuleEntry(libraryPath, "DllUnregisterServer"); }

}  // namespace platform::automation
