#pragma once
// The Ostrin control: the whole Velkor control plus a capture buffer that stores a burst
// of datagrams for later replay, and the local adapters' address and mask lists.
#include <memory>
#include <string>
#include <vector>

#include "platform/sockets/adapters.h"
#include "velkor/capture/ostrin_ids.h"
#include "velkor/control/velkor_ctrl.h"

namespace velkor {

// A shared snapshot of the adapter list, taken afresh for each query.
class CAdapterList {
 public:
  explicit CAdapterList(std::shared_ptr<const platform::sockets::AdapterSnapshot> snapshot) : snapshot_(std::move(snapshot)) {}
  std::size_t adapterCount() const { return snapshot_ ? snapshot_->size() : 0; }
  std::vector<std::string> addresses() const;
  std::vector<std::string> masks() const;

 private:
  std::shared_ptr<const platform::sockets::AdapterSnapshot> snapshot_;
};

class COstrinCtrl : public CVelkorCtrl {
 public:
  struct CaptureEntry {
    std::string srcIp;
    std::int32_t srcPort = 0;
    std::int32_t rawCount = 0;
    std::array<std::uint8_t, framing::kMaxDatagram> buffer{};
  };

  platform::automation::HRESULT getIdOfName(std::string_view name, platform::automation::DispId& id) const override;
  platform::automation::HRESULT invoke(platform::automation::DispId id, platform::automation::InvokeKind kind,
                             std::span<const platform::automation::Variant> args, platform::automation::Variant* result) override;

  void OnSocketReceive(int errorCode) override;
  // Decodes the receive buffer into the result code, the decoded fields and InBufferCount.
  virtual void ParseReceivedHeader();

 protected:
  // The adapter list of this host; a test may give its own.
  virtual CAdapterList adapterList() const;
  // The address MyIp reports.
  virtual std::string hostAddress() const;
  // Also the broadcast address of a local adapter's network: its address lists are there to
  // ask every network of the host, and such a send is refused without the option.
  bool broadcastOptionFor(const std::string& destIp) const override;

 private:
  struct OstrinMember {
    platform::automation::DispId id;
    const char* name;
    platform::automation::HRESULT (COstrinCtrl::*get)(platform::automation::Variant&);
    platform::automation::HRESULT (COstrinCtrl::*put)(const platform::automation::Variant&);
    platform::automation::HRESULT (COstrinCtrl::*call)(std::span<const platform::automation::Variant>, platform::automation::Variant*);
  };
  static std::span<const OstrinMember> ostrinMembers();

  void storeCapture();
  // broadcastOptionFor's last answer: the adapters are looked at once per destination.
  mutable std::string checkedDestIp_;
  mutable bool checkedIsBroadcast_ = false;
  bool captureStart(std::int32_t maxCount);
  bool captureRelease();
  void captureSelect(std::int32_t index);
  static std::string elementOrEmpty(const std::vector<std::string>& list, std::int32_t n);

  platform::automation::HRESULT callCaptureStart(std::span<const platform::automation::Variant> args, platform::automation::Variant* result);
  platform::automation::HRESULT callCaptureStop(std::span<const platform::automation::Variant> args, platform::automation::Variant* result);
  platform::automation::HRESULT callCaptureRelease(std::span<const platform::automation::Variant> args, platform::automation::Variant* result);
  platform::automation::HRESULT getCaptureCount(platform::automation::Variant& v);
  platform::automation::HRESULT getCaptureSelect(platform::automation::Variant& v);
  platform::automation::HRESULT putCaptureSelect(const platform::automation::Variant& v);
  platform::automation::HRESULT getCaptureMode(platform::automation::Variant& v);
  platform::automation::HRESULT getMyIpMask(platform::automation::Variant& v);
  platform::automation::HRESULT callMyIpMulti(std::span<const platform::automation::Variant> args, platform::automation::Variant* result);
  platform::automation::HRESULT callMyIpMaskMulti(std::span<const platform::automation::Variant> args, platform::automation::Variant* result);

  // The buffer exists from a successful CaptureStart with a positive size until release.
  std::unique_ptr<std::vector<CaptureEntry>> captures_;
  std::int32_t capacity_ = 0;
  std::int32_t selected_ = 0;
  bool started_ = false;
};

}  // namespace velkor
