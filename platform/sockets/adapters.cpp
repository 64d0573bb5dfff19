#include "platform/sockets/adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

namespace platform::sockets {

namespace {

constexpr const char* kUnconfigured = "0.0.0.0";

std::string ipv4Text(const sockaddr* sa) {
  if (!sa || sa->sa_family != AF_INET) return kUnconfigured;
  char text[INET_ADDRSTRLEN] = {};
  const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
  return inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) ? text : kUnconfigured;
}

Adapter& adapterNamed(AdapterSnapshot& snapshot, const std::string& name) {
  for (Adapter& a : snapshot) {
    if (a.name == name) return a;
  }
  snapshot.push_back(Adapter{name, {}});
  return snapshot.back();
}

}  // namespace

std::shared_ptr<const AdapterSnapshot> TakeAdapterSnapshot() {
  auto snapshot = std::make_shared<AdapterSnapshot>();
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return snapshot;
  for (const ifaddrs* it = list; it; it = it->ifa_next) {
    if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET) continue;
    adapterNamed(*snapshot, it->ifa_name ? it->ifa_name : "")
        .addresses.push_back({ipv4Text(it->ifa_addr), ipv4Text(it->ifa_netmask)});
  }
  freeifaddrs(list);
  return snapshot;
}

std::vector<std::string> FlatAddressList(const AdapterSnapshot& snapshot) {
  std::vector<std::string> out;
  for (const Adapter& a : snapshot)
    for (const AdapterAddress& e : a.addresses)
      if (e.address != kUnconfigured) out.push_back(e.address);
  return out;
}

std::vector<std::string> FlatMaskList(const AdapterSnapshot& snapshot) {
  std::vector<std::string> out;
  for (const Adapter& a : snapshot)
    for (const AdapterAddress& e : a.addresses)
      if (e.address != kUnconfigured) out.push_back(e.mask);
  return out;
}

}  // namespace platform::sockets
