// velkor-module: the control module's entry points from a shell.
//   velkor-module [--system] [--module PATH] register | unregister | list
//   velkor-module [--module PATH] draw CLASS FILE.png [WIDTHxHEIGHT]
//   velkor-module [--module PATH] page CLASS
// CLASS is a ProgID ("VELKOR.VelkorCtrl.1") or a CLSID in braces. register and unregister
// write the store of $QUILLON_REGISTRY, else the user's own, or with --system the
// system-wide one; the other commands read the stores a host consults.
#include <dlfcn.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/registry.h"
#include "platform/shell/install_layout.h"

// Fontconfig keeps its caches for the life of the process; the leak checker of the
// sanitizer build is told so.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace {

using platform::automation::HRESULT;

constexpr const char* kUsage =
    "usage: velkor-module [--system] [--module PATH] register | unregister | list\n"
    "       velkor-module [--module PATH] draw CLASS FILE.png [WIDTHxHEIGHT]\n"
    "       velkor-module [--module PATH] page CLASS\n"
    "       velkor-module --help\n";

int usage() {
  std::cerr << kUsage;
  return 2;
}

std::string hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

// The module that belongs to this program: installed beside it or in its build tree.
std::string defaultModulePath() {
  const auto module = platform::shell::VelkorModuleOf(platform::shell::RunningProgram());
  return module ? module->string() : platform::shell::kVelkorModuleFile;
}

// By its absolute path: the module records the path it was loaded by in the store.
void* openModule(const std::string& path) {
  std::error_code ec;
  const std::string absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
  void* handle = dlopen((ec ? path : absolute).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) std::cerr << "velkor-module: cannot load " << path << ": " << dlerror() << "\n";
  return handle;
}

template <typename Fn>
Fn entry(void* module, const char* name) {
  auto fn = reinterpret_cast<Fn>(dlsym(module, name));
  if (!fn) std::cerr << "velkor-module: the module has no entry point " << name << "\n";
  return fn;
}

std::optional<platform::automation::Guid> classId(const std::string& name) {
  std::optional<platform::automation::Guid> clsid;
  if (name.starts_with('{')) {
    clsid = platform::automation::Guid::parse(name);
  } else if (const auto found = platform::automation::FindServer(platform::automation::SearchedStores(), name)) {
    clsid = found->clsid;
  }
  if (!clsid) std::cerr << "velkor-module: unknown class " << name << " (is the module registered?)\n";
  return clsid;
}

int runEntry(void* module, const char* name, const char* done) {
  auto fn = entry<HRESULT (*)()>(module, name);
  if (!fn) return 1;
  const std::string root = platform::automation::RegistrationStore::defaultRoot();
  const HRESULT hr = fn();
  if (platform::automation::Failed(hr)) {
    std::cerr << "velkor-module: " << name << " failed with " << hex(hr) << " (may this user write " << root
              << "?)\n";
    return 1;
  }
  std::cout << done << " in " << root << "\n";
  return 0;
}

// Every store a host consults, each headed by its folder; stores without classes print nothing.
int list() {
  for (const platform::automation::RegistrationStore& store : platform::automation::SearchedStores()) {
    const std::vector<std::string> classes = store.subkeys("CLSID");
    if (classes.empty()) continue;
    std::cout << store.root() << ":\n";
    for (const std::string& clsid : classes) {
      const std::string key = "CLSID/" + clsid;
      std::cout << "  " << clsid << "  " << store.value(key + "/ProgID").value_or("") << "  \""
                << store.value(key).value_or("") << "\"  " << store.value(key + "/InprocServer32").value_or("")
                << "\n";
    }
  }
  return 0;
}

bool parseSize(const std::string& text, int& w, int& h) {
  return std::sscanf(text.c_str(), "%dx%d", &w, &h) == 2 && w > 0 && h > 0;
}

int draw(void* module, const std::vector<std::string>& args) {
  if (args.size() < 2) return usage();
  int w = 100, h = 50;
  if (args.size() > 2 && !parseSize(args[2], w, h)) return usage();
  const auto clsid = classId(args[0]);
  auto fn = entry<HRESULT (*)(const platform::automation::Guid*, int, int, const char*)>(module, "VelkorDrawDesignTime");
  if (!clsid || !fn) return 1;
  const HRESULT hr = fn(&*clsid, w, h, args[1].c_str());
  if (platform::automation::Failed(hr)) {
    std::cerr << "velkor-module: drawing failed with " << hex(hr) << "\n";
    return 1;
  }
  std::cout << args[1] << "\n";
  return 0;
}

int page(void* module, const std::vector<std::string>& args) {
  if (args.size() != 1) return usage();
  const auto clsid = classId(args[0]);
  auto fn = entry<HRESULT (*)(const platform::automation::Guid*, platform::automation::Control*)>(module, "VelkorShowPropertyPage");
  if (!clsid || !fn) return 1;
  const auto found = platform::automation::FindServer(platform::automation::SearchedStores(), clsid->toString());
  std::shared_ptr<platform::automation::Control> control;
  if (const HRESULT hr = found ? platform::automation::CreateControlFromLibrary(found->library, *clsid, control)
                               : platform::automation::REGDB_E_CLASSNOTREG;
      platform::automation::Failed(hr)) {
    std::cerr << "velkor-module: cannot create " << args[0] << ": " << hex(hr) << "\n";
    return 1;
  }
  const HRESULT hr = fn(&*clsid, control.get());
  for (const char* name : {"ByteOrderRIO", "ByteOrderV27", "SrcIpFilter", "LoopBackMode"}) {
    platform::automation::Variant v;
    bool on = false;
    if (platform::automation::Succeeded(control->get(name, v))) v.toBool(on);
    std::cout << name << " = " << (on ? "True" : "False") << "\n";
  }
  return hr == platform::automation::S_OK ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string modulePath = defaultModulePath();
  bool system = false;
  while (!args.empty() && args[0].starts_with("--")) {
    if (args[0] == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (args[0] == "--system") {
      system = true;
      args.erase(args.begin());
    } else if (args[0] == "--module" && args.size() >= 2) {
      modulePath = args[1];
      args.erase(args.begin(), args.begin() + 2);
    } else {
      return usage();
    }
  }
  if (args.empty()) return usage();
  const std::string command = args[0];
  args.erase(args.begin());
  // The module writes and the host reads the store of $QUILLON_REGISTRY alone when it is set.
  if (system) setenv("QUILLON_REGISTRY", platform::automation::RegistrationStore::systemRoot().c_str(), 1);
  if (command == "list") return list();
  const bool registration = command == "register" || command == "unregister";
  if (!registration && command != "draw" && command != "page") return usage();
  if (system && !registration) return usage();

  if (registration) {
    void* module = openModule(modulePath);
    if (!module) return 1;
    return command == "register" ? runEntry(module, "DllRegisterServer", "registered")
                                 : runEntry(module, "DllUnregisterServer", "unregistered");
  }
  // Drawing works offscreen; the page needs the window system.
  if (command == "draw" && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  void* module = openModule(modulePath);
  if (!module) return 1;
  if (command == "draw") return draw(module, args);
  return page(module, args);
}
