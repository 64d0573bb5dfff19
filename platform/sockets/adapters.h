#pragma once
// The local network adapters' IPv4 addresses and subnet masks, from getifaddrs, grouped by
// adapter (interface name) in the order the system lists them.
#include <memory>
#include <string>
#include <vector>

namespace platform::sockets {

struct AdapterAddress {
  std::string address;  // dotted decimal, "0.0.0.0" for an unconfigured entry
  std::string mask;
};

struct Adapter {
  std::string name;
  std::vector<AdapterAddress> addresses;
};

using AdapterSnapshot = std::vector<Adapter>;

// A fresh snapshot; empty when the system cannot list its adapters.
std::shared_ptr<const AdapterSnapshot> TakeAdapterSnapshot();

// Flat lists over a snapshot: every address that is not "0.0.0.0", adapter by adapter, and
// the mask of each, so the i-th mask belongs to the i-th address.
std::vector<std::string> FlatAddressList(const AdapterSnapshot& snapshot);
std::vector<std::string> FlatMaskList(const AdapterSnapshot& snapshot);

}  // namespace platform::sockets
