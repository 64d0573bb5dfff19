#include "velkor/capture/ostrin_ctrl.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace velkor {

using platform::automation::HRESULT;
using platform::automation::Variant;

std::vector<std::string> CAdapterList::addresses() const {
  return snapshot_ ? platform::sockets::FlatAddressList(*snapshot_) : std::vector<std::string>{};
}

std::vector<std::string> CAdapterList::masks() const {
  return snapshot_ ? platform::sockets::FlatMaskList(*snapshot_) : std::vector<std::string>{};
}

namespace {

bool sameNameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

HRESULT singleLong(std::span<const Variant> args, std::int32_t& out) {
  if (args.size() != 1) return platform::automation::DISP_E_BADPARAMCOUNT;
  return args[0].toInt32(out);
}

}  // namespace

std::span<const COstrinCtrl::OstrinMember> COstrinCtrl::ostrinMembers() {
  static const OstrinMember table[] = {
      {DISPID_CaptureStart, "CaptureStart", nullptr, nullptr, &COstrinCtrl::callCaptureStart},
      {DISPID_CaptureStop, "CaptureStop", nullptr, nullptr, &COstrinCtrl::callCaptureStop},
      {DISPID_CaptureCount, "CaptureCount", &COstrinCtrl::getCaptureCount, nullptr, nullptr},
      {DISPID_CaptureSelect, "CaptureSelect", &COstrinCtrl::getCaptureSelect, &COstrinCtrl::putCaptureSelect, nullptr},
      {DISPID_CaptureRelease, "CaptureRelease", nullptr, nullptr, &COstrinCtrl::callCaptureRelease},
      {DISPID_CaptureMode, "CaptureMode", &COstrinCtrl::getCaptureMode, nullptr, nullptr},
      {DISPID_MyIpMask, "MyIpMask", &COstrinCtrl::getMyIpMask, nullptr, nullptr},
      {DISPID_MyIpMulti, "MyIpMulti", nullptr, nullptr, &COstrinCtrl::callMyIpMulti},
      {DISPID_MyIpMaskMulti, "MyIpMaskMulti", nullptr, nullptr, &COstrinCtrl::callMyIpMaskMulti},
  };
  return table;
}

HRESULT COstrinCtrl::getIdOfName(std::string_view name, platform::automation::DispId& id) const {
  for (const OstrinMember& m : ostrinMembers()) {
    if (sameNameNoCase(m.name, name)) {
      id = m.id;
      return platform::automation::S_OK;
    }
  }
  return CVelkorCtrl::getIdOfName(name, id);
}

HRESULT COstrinCtrl::invoke(platform::automation::DispId id, platform::automation::InvokeKind kind, std::span<const Variant> args,
                            Variant* result) {
  const auto table = ostrinMembers();
  const auto it = std::find_if(table.begin(), table.end(), [&](const OstrinMember& m) { return m.id == id; });
  if (it == table.end()) return CVelkorCtrl::invoke(id, kind, args, result);
  const OstrinMember& m = *it;
  if (m.call) {
    if (kind != platform::automation::InvokeKind::Method) return platform::automation::DISP_E_MEMBERNOTFOUND;
    return (this->*m.call)(args, result);
  }
  if (kind == platform::automation::InvokeKind::PropertyGet) {
    if (!m.get) return platform::automation::CTL_E_GETNOTSUPPORTED;
    if (!args.empty()) return platform::automation::DISP_E_BADPARAMCOUNT;
    Variant value;
    const HRESULT hr = (this->*m.get)(value);
    if (platform::automation::Succeeded(hr) && result) *result = std::move(value);
    return hr;
  }
  if (kind == platform::automation::InvokeKind::PropertyPut) {
    if (!m.put) return platform::automation::CTL_E_SETNOTSUPPORTED;
    if (args.size() != 1) return platform::automation::DISP_E_BADPARAMCOUNT;
    return (this->*m.put)(args[0]);
  }
  return platform::automation::DISP_E_MEMBERNOTFOUND;
}

// --- reception -------------------------------------------------------------------------

void COstrinCtrl::OnSocketReceive(int errorCode) {
  if (!readAcceptedDatagram(errorCode)) return;
  if (!captures_) {
    ParseReceivedHeader();
    FireOnReceive();
    return;
  }
  // Storing depends only on the buffer having room, not on the started flag.
  if (static_cast<std::int32_t>(captures_->size()) < capacity_) storeCapture();
}

void COstrinCtrl::ParseReceivedHeader() { decodeReceiveBuffer(); }

void COstrinCtrl::storeCapture() {
  CaptureEntry entry;
  entry.srcIp = InSrcIp_;
  entry.srcPort = InSrcPort_;
  entry.rawCount = InRawCount_;
  entry.buffer = receiveBuffer_;
  captures_->push_back(std::move(entry));
}

// --- capture buffer --------------------------------------------------------------------

bool COstrinCtrl::captureStart(std::int32_t maxCount) {
  if (started_) return false;
  // The buffer grows as entries arrive instead of reserving MaxCount entries at once: a
  // large MaxCount then costs nothing until datagrams come, and cannot fail here.
  if (maxCount > capacity_ && !captures_) captures_ = std::make_unique<std::vector<CaptureEntry>>();
  capacity_ = maxCount;
  started_ = true;
  return true;
}

bool COstrinCtrl::captureRelease() {
  if (!captures_) return false;
  started_ = false;
  captures_.reset();
  capacity_ = selected_ = 0;
  return true;
}

void COstrinCtrl::captureSelect(std::int32_t index) {
  const std::int32_t count = captures_ ? static_cast<std::int32_t>(captures_->size()) : 0;
  if (index < 0 || index >= count) return;
  const CaptureEntry& entry = (*captures_)[static_cast<std::size_t>(index)];
  InSrcIp_ = entry.srcIp;
  InSrcPort_ = entry.srcPort;
  InRawCount_ = entry.rawCount;
  receiveBuffer_ = entry.buffer;
  ParseReceivedHeader();
  selected_ = index;
}

HRESULT COstrinCtrl::callCaptureStart(std::span<const Variant> args, Variant* result) {
  std::int32_t maxCount = 0;
  if (const HRESULT hr = singleLong(args, maxCount); platform::automation::Failed(hr)) return hr;
  const bool ok = captureStart(maxCount);
  if (result) *result = Variant(ok);
  return platform::automation::S_OK;
}

HRESULT COstrinCtrl::callCaptureStop(std::span<const Variant> args, Variant* result) {
  if (!args.empty()) return platform::automation::DISP_E_BADPARAMCOUNT;
  started_ = false;
  if (result) *result = Variant(true);
  return platform::automation::S_OK;
}

HRESULT COstrinCtrl::callCaptureRelease(std::span<const Variant> args, Variant* result) {
  if (!args.empty()) return platform::automation::DISP_E_BADPARAMCOUNT;
  const bool ok = captureRelease();
  if (result) *result = Variant(ok);
  return platform::automation::S_OK;
}

HRESULT COstrinCtrl::getCaptureCount(Variant& v) {
  v = Variant(captures_ ? static_cast<std::int32_t>(captures_->size()) : std::int32_t{0});
  return platform::automation::S_OK;
}

HRESULT COstrinCtrl::getCaptureSelect(Variant& v) {
  v = Variant(selected_);
  return platform::automation::S_OK;
}

HRESULT COstrinCtrl::putCaptureSelect(const Variant& v) {
  std::int32_t index = 0;
  if (const HRESULT hr = v.toInt32(index); platform::automation::Failed(hr)) return hr;
  captureSelect(index);
  return platform::automation::S_OK;
}

HRESULT COstrinCtrl::getCaptureMode(Variant& v) {
  v = Variant(captures_ != nullptr);
  return platform::automation::S_OK;
}

// --- adapter addresses -----------------------------------------------------------------

CAdapterList COstrinCtrl::adapterList() const { return CAdapterList(platform::sockets::TakeAdapterSnapshot()); }

std::string COstrinCtrl::hostAddress() const { return platform::sockets::firstLocalIpv4(); }

bool COstrinCtrl::broadcastOptionFor(const std::string& destIp) const {
  if (CVelkorCtrl::broadcastOptionFor(destIp)) return true;
  if (destIp == checkedDestIp_) return checkedIsBroadcast_;
  checkedDestIp_ = destIp;
  checkedIsBroadcast_ = false;
  in_addr dest{};
  if (::inet_pton(AF_INET, destIp.c_str(), &dest) != 1) return false;
  const CAdapterList adapters = adapterList();
  const auto addresses = adapters.addresses();
  const auto masks = adapters.masks();
  for (std::size_t i = 0; i < addresses.size() && i < masks.size(); ++i) {
    in_addr address{}, mask{};
    if (::inet_pton(AF_INET, addresses[i].c_str(), &address) != 1 || ::inet_pton(AF_INET, masks[i].c_str(), &mask) != 1)
      continue;
    // A host route (mask 255.255.255.255) has no broadcast address of its own.
    if (mask.s_addr != INADDR_BROADCAST && (address.s_addr | ~mask.s_addr) == dest.s_addr) checkedIsBroadcast_ = true;
  }
  return checkedIsBroadcast_;
}

std::string COstrinCtrl::elementOrEmpty(const std::vector<std::string>& list, std::int32_t n) {
  return n >= 0 && static_cast<std::size_t>(n) < list.size() ? list[static_cast<std::size_t>(n)] : std::string();
}

HRESULT COstrinCtrl::getMyIpMask(Variant& v) {
  const std::string host = hostAddress();
  const CAdapterList adapters = adapterList();
  const auto addresses = adapters.addresses();
  const auto masks = adapters.masks();
  std::string mask;
  for (std::size_t i = 0; i < addresses.size() && i < masks.size(); ++i) {
    if (!host.empty() && addresses[i] == host) mask = masks[i];  // the last match wins
  }
  v = Variant(mask);
  return platform::automation::S_OK;
}

HRESULT COstrinCtrl::callMyIpMulti(std::span<const Variant> args, Variant* result) {
  std::int32_t n = 0;
  if (const HRESULT hr = singleLong(args, n); platform::automation::Failed(hr)) return hr;
  if (result) *result = Variant(elementOrEmpty(adapterList().addresses(), n));
  return platform::automation::S_OK;
}

HRESULT COstrinCtrl::callMyIpMaskMulti(std::span<const Variant> args, Variant* result) {
  std::int32_t n = 0;
  if (const HRESULT hr = singleLong(args, n); platform::automation::Failed(hr)) return hr;
  if (result) *result = Variant(elementOrEmpty(adapterList().masks(), n));
  return platform::automation::S_OK;
}

}  // namespace velkor
