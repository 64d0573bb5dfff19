// velkor-module: the control module's entry points from a shell.
//   velkor-module [--module PATH] register | unregister | list
//   velkor-module [--module PATH] draw CLASS FILE.png [WIDTHxHEIGHT]
//   velkor-module [--module PATH] page CLASS
// CLASS is a ProgID ("VELKOR.VelkorCtrl.1") or a CLSID in braces. The store is the one of
// $QUILLON_REGISTRY, else the user's.
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

// Fontconfig keeps its caches for the life of the process; the leak checker of the
// sanitizer build is told so.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace {

using automation::HRESULT;

constexpr const char* kModuleFile = "libvelkor.so";

int usage() {
  std::cerr << "usage: velkor-module [--module PATH] register | unregister | list\n"
               "       velkor-module [--module PATH] draw CLASS FILE.png [WIDTHxHEIGHT]\n"
               "       velkor-module [--module PATH] page CLASS\n";
  return 2;
}

std::string hex(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}

// Beside this program (build tree), else ../lib of the install prefix.
std::string defaultModulePath() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return kModuleFile;
  const auto dir = exe.parent_path();
  for (const auto& candidate : {dir / kModuleFile, dir.parent_path() / "lib" / kModuleFile,
                                dir.parent_path() / "lib" / "x86_64-linux-gnu" / kModuleFile}) {
    if (std::filesystem::exists(candidate)) return candidate.string();
  }
  return (dir / kModuleFile).string();
}

void* openModule(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) std::cerr << "velkor-module: cannot load " << path << ": " << dlerror() << "\n";
  return handle;
}

template <typename Fn>
Fn entry(void* module, const char* name) {
  auto fn = reinterpret_cast<Fn>(dlsym(module, name));
  if (!fn) std::cerr << "velkor-module: the module has no entry point " << name << "\n";
  return fn;
}

std::optional<automation::Guid> classId(const automation::RegistrationStore& store, const std::string& name) {
  auto clsid = name.starts_with('{') ? automation::Guid::parse(name) : automation::ClsidFromProgId(store, name);
  if (!clsid) std::cerr << "velkor-module: unknown class " << name << " (is the module registered?)\n";
  return clsid;
}

int runEntry(void* module, const char* name, const char* done) {
  auto fn = entry<HRESULT (*)()>(module, name);
  if (!fn) return 1;
  const HRESULT hr = fn();
  if (automation::Failed(hr)) {
    std::cerr << "velkor-module: " << name << " failed with " << hex(hr) << "\n";
    return 1;
  }
  std::cout << done << " in " << automation::RegistrationStore().root() << "\n";
  return 0;
}

int list() {
  const automation::RegistrationStore store;
  for (const std::string& clsid : store.subkeys("CLSID")) {
    const std::string key = "CLSID/" + clsid;
    std::cout << clsid << "  " << store.value(key + "/ProgID").value_or("") << "  \"" << store.value(key).value_or("")
              << "\"  " << store.value(key + "/InprocServer32").value_or("") << "\n";
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
  const automation::RegistrationStore store;
  const auto clsid = classId(store, args[0]);
  auto fn = entry<HRESULT (*)(const automation::Guid*, int, int, const char*)>(module, "VelkorDrawDesignTime");
  if (!clsid || !fn) return 1;
  const HRESULT hr = fn(&*clsid, w, h, args[1].c_str());
  if (automation::Failed(hr)) {
    std::cerr << "velkor-module: drawing failed with " << hex(hr) << "\n";
    return 1;
  }
  std::cout << args[1] << "\n";
  return 0;
}

int page(void* module, const std::vector<std::string>& args) {
  if (args.size() != 1) return usage();
  const automation::RegistrationStore store;
  const auto clsid = classId(store, args[0]);
  auto fn = entry<HRESULT (*)(const automation::Guid*, automation::Control*)>(module, "VelkorShowPropertyPage");
  if (!clsid || !fn) return 1;
  std::shared_ptr<automation::Control> control;
  if (const HRESULT hr = automation::CreateControl(store, *clsid, control); automation::Failed(hr)) {
    std::cerr << "velkor-module: cannot create " << args[0] << ": " << hex(hr) << "\n";
    return 1;
  }
  const HRESULT hr = fn(&*clsid, control.get());
  for (const char* name : {"ByteOrderRIO", "ByteOrderV27", "SrcIpFilter", "LoopBackMode"}) {
    automation::Variant v;
    bool on = false;
    if (automation::Succeeded(control->get(name, v))) v.toBool(on);
    std::cout << name << " = " << (on ? "True" : "False") << "\n";
  }
  return hr == automation::S_OK ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string modulePath = defaultModulePath();
  if (args.size() >= 2 && args[0] == "--module") {
    modulePath = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) return usage();
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "list") return list();
  if (command != "register" && command != "unregister" && command != "draw" && command != "page") return usage();

  // Drawing and pages need the window system; offscreen works without a display.
  // Everything but the page works without a display.
  if (command != "page" && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  void* module = openModule(modulePath);
  if (!module) return 1;
  if (command == "register") return runEntry(module, "DllRegisterServer", "registered");
  if (command == "unregister") return runEntry(module, "DllUnregisterServer", "unregistered");
  if (command == "draw") return draw(module, args);
  return page(module, args);
}
