// The Ostrin control through dispatch: capture buffer with loopback bursts, its limits
// and replay, and the adapter address lists.
#include <gtest/gtest.h>

#include "tests/velkor/host_support.h"
#include "velkor/capture/ostrin_ctrl.h"
#include "velkor/framing/framing.h"

using platform::automation::Variant;
using namespace testhost;
namespace fr = velkor::framing;
using Bytes = std::vector<std::uint8_t>;

namespace {

Variant call(platform::automation::Dispatch& d, const char* name, std::vector<Variant> args = {}) {
  Variant result;
  EXPECT_EQ(d.call(name, args, &result), platform::automation::S_OK) << name;
  return result;
}

std::int32_t longOf(platform::automation::Dispatch& d, const char* name) {
  Variant v;
  EXPECT_EQ(d.get(name, v), platform::automation::S_OK) << name;
  std::int32_t out = -1;
  v.toInt32(out);
  return out;
}

Bytes reply(std::uint8_t da, const std::string& payload) {
  fr::HeaderFields f;
  f.marker = fr::kMarkerReply;
  f.result = {'0', static_cast<std::uint8_t>('0' + da)};
  f.da = da;
  return fr::buildDatagram(f, Bytes(payload.begin(), payload.end()), fr::ByteOrders{});
}

struct OstrinRig {
  std::shared_ptr<velkor::COstrinCtrl> control = std::make_shared<velkor::COstrinCtrl>();
  EventRecorder events;
  Peer drive;
  std::uint16_t myPort = freePort();
  OstrinRig() {
    ensureApplication();
    control->advise(&events);
    control->put("DestIp", "127.0.0.1");
    control->put("DestPort", static_cast<std::int32_t>(drive.port()));
    control->put("MyPort", static_cast<std::int32_t>(myPort));
    control->put("SrcIpFilter", false);
    control->put("PortOpen", true);
  }
  // Sends a burst and waits until the socket has nothing more for the control.
  void burst(std::initializer_list<std::uint8_t> das) {
    for (std::uint8_t da : das) drive.sendTo(myPort, reply(da, std::string(da, 'p')));
    settle();
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
  const std::pair<const char*, platform::automation::DispId> ids[] = {
      {"DestBus", 2},        {"OutputIndividually2", 43}, {"CaptureStart", 44}, {"CaptureStop", 45},
      {"CaptureCount", 46},  {"CaptureSelect", 47},       {"CaptureRelease", 48}, {"CaptureMode", 49},
      {"MyIpMask", 50},      {"MyIpMulti", 51},           {"MyIpMaskMulti", 52}, {"CodePage", 100}};
  for (const auto& [name, id] : ids) {
    platform::automation::DispId found = 0;
    EXPECT_EQ(c.getIdOfName(name, found), platform::automation::S_OK) << name;
    EXPECT_EQ(found, id) << name;
  }
  EXPECT_EQ(c.put("CaptureCount", 1), platform::automation::CTL_E_SETNOTSUPPORTED);
  EXPECT_EQ(c.put("DestBus", 9), platform::automation::S_OK);
  EXPECT_EQ(longOf(c, "DestBus"), 3);
  EXPECT_EQ(c.put("CodePage", "CP932"), platform::automation::S_OK);  // the Velkor control's, beyond both interfaces
  Variant v;
  EXPECT_EQ(c.get("CodePage", v), platform::automation::S_OK);
  EXPECT_EQ(v, Variant("CP932"));
  EXPECT_EQ(c.call("CaptureStart", {}, &v), platform::automation::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(call(c, "CaptureRelease"), Variant(false));
  EXPECT_EQ(longOf(c, "CaptureCount"), 0);
  EXPECT_EQ(c.call("CaptureMode", {}, &v), platform::automation::DISP_E_MEMBERNOTFOUND);  // a property, not a method
}

TEST(OstrinControl, CaptureBufferFillsStopsAtCapacityAndGrows) {
  OstrinRig rig;
  auto& c = *rig.control;
  EXPECT_EQ(call(c, "CaptureStart", {Variant(2)}), Variant(true));
  EXPECT_EQ(call(c, "CaptureStart", {Variant(10)}), Variant(false));  // already started
  Variant mode;
  c.get("CaptureMode", mode);
  EXPECT_EQ(mode, Variant(true));
  rig.burst({1, 2, 3});
  EXPECT_EQ(longOf(c, "CaptureCount"), 2);
  EXPECT_EQ(rig.events.receives, 0);  // stored, not reported; the third is lost
  EXPECT_EQ(longOf(c, "InBufferCount"), 0);

  // Stop keeps the buffer; a larger start keeps the entries and makes room for more.
  EXPECT_EQ(call(c, "CaptureStop"), Variant(true));
  EXPECT_EQ(call(c, "CaptureStart", {Variant(5)}), Variant(true));
  EXPECT_EQ(longOf(c, "CaptureCount"), 2);
  call(c, "CaptureStop");
  rig.burst({4, 5, 6, 7});  // stored after stop while there is room
  EXPECT_EQ(longOf(c, "CaptureCount"), 5);
  EXPECT_EQ(rig.events.receives, 0);

  // Replay: the selected entry becomes the current reply.
  c.put("CaptureSelect", 1);
  EXPECT_EQ(longOf(c, "CaptureSelect"), 1);
  Variant result;
  c.get("Result", result);
  EXPECT_EQ(result, Variant("02"));
  EXPECT_EQ(longOf(c, "InV27DA"), 2);
  EXPECT_EQ(longOf(c, "InBufferCount"), 2);
  EXPECT_EQ(longOf(c, "InRawCount"), 22);
  Variant payload;
  c.get("InputB", payload);
  EXPECT_EQ(bytesOf(payload), (Bytes{'p', 'p'}));
  c.put("CaptureSelect", 4);
  EXPECT_EQ(longOf(c, "InV27DA"), 6);  // 3 was lost
  c.put("CaptureSelect", 5);  // out of range: nothing changes
  c.put("CaptureSelect", -1);
  EXPECT_EQ(longOf(c, "CaptureSelect"), 4);
  EXPECT_EQ(longOf(c, "InV27DA"), 6);
  EXPECT_EQ(rig.events.receives, 0);

  // Closing the port leaves the buffer; release returns to reporting each datagram.
  c.put("PortOpen", false);
  EXPECT_EQ(longOf(c, "CaptureCount"), 5);
  c.put("PortOpen", true);
  EXPECT_EQ(call(c, "CaptureRelease"), Variant(true));
  EXPECT_EQ(longOf(c, "CaptureCount"), 0);
  EXPECT_EQ(longOf(c, "CaptureSelect"), 0);
  c.get("CaptureMode", mode);
  EXPECT_EQ(mode, Variant(false));
  rig.drive.sendTo(rig.myPort, reply(9, "x"));
  ASSERT_TRUE(runUntil([&] { return rig.events.receives == 1; }));
  EXPECT_EQ(longOf(c, "InV27DA"), 9);

  // A start of 0 or less makes no buffer; a huge one costs nothing until datagrams come.
  EXPECT_EQ(call(c, "CaptureStart", {Variant(0)}), Variant(true));
  c.get("CaptureMode", mode);
  EXPECT_EQ(mode, Variant(false));
  call(c, "CaptureStop");
  EXPECT_EQ(call(c, "CaptureStart", {Variant(0x7FFFFFFF)}), Variant(true));
  rig.burst({1});
  EXPECT_EQ(longOf(c, "CaptureCount"), 1);
  EXPECT_EQ(rig.events.receives, 1);
  EXPECT_TRUE(rig.events.errors.empty());
}

TEST(OstrinControl, AdapterAddressAndMaskLists) {
  FakeAdapters fake;
  EXPECT_EQ(call(fake, "MyIpMulti", {Variant(0)}), Variant("192.168.1.10"));
  EXPECT_EQ(call(fake, "MyIpMulti", {Variant(1)}), Variant("10.0.0.5"));
  EXPECT_EQ(call(fake, "MyIpMulti", {Variant(2)}), Variant("192.168.1.10"));
  EXPECT_EQ(call(fake, "MyIpMulti", {Variant(3)}), Variant(""));
  EXPECT_EQ(call(fake, "MyIpMulti", {Variant(-1)}), Variant(""));
  EXPECT_EQ(call(fake, "MyIpMaskMulti", {Variant(1)}), Variant("255.0.0.0"));
  Variant mask;
  fake.get("MyIpMask", mask);
  EXPECT_EQ(mask, Variant("255.255.0.0"));  // the last entry with the host's address

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
