// The Ostrin control through dispatch: capture buffer with loopback bursts, its limits
// and replay, and the adapter address lists.
#include <gtest/gtest.h>

#include "tests/velkor/host_support.h"
#include "velkor/capture/ostrin_ctrl.h"
#include "velkor/framing/framing.h"

using namespace testhost;
namespace fr = velkor::framing;

namespace {

using platform::automation::DispId;

// An open Ostrin control; a burst is sent and waited out until the socket has nothing more.
struct OstrinRig : ControlRig<velkor::COstrinCtrl> {
  OstrinRig() { open(); }
  void burst(std::initializer_list<std::uint8_t> das) {
    for (std::uint8_t da : das) drive.sendTo(myPort, replyFrom(da, std::string(da, 'p')));
    settle();
  }
  static Bytes replyFrom(std::uint8_t da, const std::string& payload) {
    fr::HeaderFields f;
    f.result = {'0', static_cast<std::uint8_t>('0' + da)};
    f.da = da;
    return replyDatagram(payload, f);
  }
};

class FakeAdapters : public velkor::COstrinCtrl {
 protected:
  velkor::CAdapterList adapterList() const override {
    auto snapshot = std::make_shared<platform::sockets::AdapterSnapshot>();
    snapshot->push_back({"eth0", {{"192.168.1.10", "255.255.255.0"}, {"0.0.0.0", "0.0.0.0"}}});
    snapshot->push_back({"eth1", {{"10.0.0.5", "255.0.0.0"}}});
    snapshot->push_back({"eth2", {{"192.168.1.10", "255.255.0.0"}}});
    return velkor::CAdapterList(snapshot);
  }
  std::string hostAddress() const override { return "192.168.1.10"; }
};

}  // namespace

TEST(OstrinControl, KeepsTheVelkorInterfaceAndAddsItsOwn) {
  velkor::COstrinCtrl c;
  const std::pair<const char*, DispId> ids[] = {
      {"DestBus", 2},        {"OutputIndividually2", 43}, {"CaptureStart", 44}, {"CaptureStop", 45},
      {"CaptureCount", 46},  {"CaptureSelect", 47},       {"CaptureRelease", 48}, {"CaptureMode", 49},
      {"MyIpMask", 50},      {"MyIpMulti", 51},           {"MyIpMaskMulti", 52}, {"CodePage", 100}};
  for (const auto& [name, id] : ids) {
    DispId found = 0;
    EXPECT_EQ(c.getIdOfName(name, found), platform::automation::S_OK) << name;
    EXPECT_EQ(found, id) << name;
  }
  EXPECT_EQ(c.put("CaptureCount", 1), platform::automation::CTL_E_SETNOTSUPPORTED);
  EXPECT_EQ(c.put("DestBus", 9), platform::automation::S_OK);
  EXPECT_EQ(getLong(c, "DestBus"), 3);
  EXPECT_EQ(c.put("CodePage", "CP932"), platform::automation::S_OK);  // the Velkor control's, beyond both interfaces
  EXPECT_EQ(get(c, "CodePage"), Variant("CP932"));
  Variant v;
  EXPECT_EQ(c.call("CaptureStart", {}, &v), platform::automation::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(call(c, "CaptureRelease"), Variant(false));
  EXPECT_EQ(getLong(c, "CaptureCount"), 0);
  EXPECT_EQ(c.call("CaptureMode", {}, &v), platform::automation::DISP_E_MEMBERNOTFOUND);  // a property, not a method
}

TEST(OstrinControl, CaptureBufferFillsStopsAtCapacityAndGrows) {
  OstrinRig rig;
  auto& c = *rig.control;
  EXPECT_EQ(call(c, "CaptureStart", {Variant(2)}), Variant(true));
  EXPECT_EQ(call(c, "CaptureStart", {Variant(10)}), Variant(false));  // already started
  EXPECT_TRUE(getBool(c, "CaptureMode"));
  rig.burst({1, 2, 3});
  EXPECT_EQ(getLong(c, "CaptureCount"), 2);
  EXPECT_EQ(rig.events.receives, 0);  // stored, not reported; the third is lost
  EXPECT_EQ(getLong(c, "InBufferCount"), 0);

  // Stop keeps the buffer; a larger start keeps the entries and makes room for more.
  EXPECT_EQ(call(c, "CaptureStop"), Variant(true));
  EXPECT_EQ(call(c, "CaptureStart", {Variant(5)}), Variant(true));
  EXPECT_EQ(getLong(c, "CaptureCount"), 2);
  call(c, "CaptureStop");
  rig.burst({4, 5, 6, 7});  // stored after stop while there is room
  EXPECT_EQ(getLong(c, "CaptureCount"), 5);
  EXPECT_EQ(rig.events.receives, 0);

  // Replay: the selected entry becomes the current reply.
  c.put("CaptureSelect", 1);
  EXPECT_EQ(getLong(c, "CaptureSelect"), 1);
  EXPECT_EQ(getText(c, "Result"), "02");
  EXPECT_EQ(getLong(c, "InV27DA"), 2);
  EXPECT_EQ(getLong(c, "InBufferCount"), 2);
  EXPECT_EQ(getLong(c, "InRawCount"), 22);
  EXPECT_EQ(bytesOf(get(c, "InputB")), (Bytes{'p', 'p'}));
  c.put("CaptureSelect", 4);
  EXPECT_EQ(getLong(c, "InV27DA"), 6);  // 3 was lost
  c.put("CaptureSelect", 5);  // out of range: nothing changes
  c.put("CaptureSelect", -1);
  EXPECT_EQ(getLong(c, "CaptureSelect"), 4);
  EXPECT_EQ(getLong(c, "InV27DA"), 6);
  EXPECT_EQ(rig.events.receives, 0);

  // Closing the port leaves the buffer; release returns to reporting each datagram.
  c.put("PortOpen", false);
  EXPECT_EQ(getLong(c, "CaptureCount"), 5);
  c.put("PortOpen", true);
  EXPECT_EQ(call(c, "CaptureRelease"), Variant(true));
  EXPECT_EQ(getLong(c, "CaptureCount"), 0);
  EXPECT_EQ(getLong(c, "CaptureSelect"), 0);
  EXPECT_FALSE(getBool(c, "CaptureMode"));
  ASSERT_TRUE(rig.deliver(OstrinRig::replyFrom(9, "x")));
  EXPECT_EQ(getLong(c, "InV27DA"), 9);

  // A start of 0 or less makes no buffer; a huge one costs nothing until datagrams come.
  EXPECT_EQ(call(c, "CaptureStart", {Variant(0)}), Variant(true));
  EXPECT_FALSE(getBool(c, "CaptureMode"));
  call(c, "CaptureStop");
  EXPECT_EQ(call(c, "CaptureStart", {Variant(0x7FFFFFFF)}), Variant(true));
  rig.burst({1});
  EXPECT_EQ(getLong(c, "CaptureCount"), 1);
  EXPECT_EQ(rig.events.receives, 1);
  EXPECT_TRUE(rig.events.errors.empty());
}

TEST(OstrinControl, AdapterAddressAndMaskLists) {
  FakeAdapters fake;
  const std::pair<int, const char*> addresses[] = {{0, "192.168.1.10"}, {1, "10.0.0.5"}, {2, "192.168.1.10"}, {3, ""}, {-1, ""}};
  for (const auto& [index, address] : addresses) EXPECT_EQ(call(fake, "MyIpMulti", {index}), Variant(address)) << index;
  EXPECT_EQ(call(fake, "MyIpMaskMulti", {Variant(1)}), Variant("255.0.0.0"));
  EXPECT_EQ(get(fake, "MyIpMask"), Variant("255.255.0.0"));  // the last entry with the host's address

  // This host: loopback is among the adapters, with its mask.
  velkor::COstrinCtrl real;
  bool foundLoopback = false;
  for (int i = 0; i < 64; ++i) {
    const Variant address = call(real, "MyIpMulti", {Variant(i)});
    if (address == Variant("")) break;
    if (address == Variant("127.0.0.1")) {
      foundLoopback = true;
      EXPECT_EQ(call(real, "MyIpMaskMulti", {Variant(i)}), Variant("255.0.0.0"));
    }
  }
  EXPECT_TRUE(foundLoopback);
}
