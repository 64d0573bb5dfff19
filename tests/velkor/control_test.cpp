// The Velkor control as a host uses it: everything through the dispatch interface by name,
// with a loopback peer playing the drive.
#include <gtest/gtest.h>

#include "platform/automation/dispatch.h"
#include "tests/velkor/host_support.h"
#include "velkor/control/velkor_ctrl.h"
#include "velkor/framing/framing.h"


using platform::automation::Variant;
using namespace testhost;
namespace fr = velkor::framing;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::int32_t getLong(platform::automation::Dispatch& d, const char* name) {
  Variant v;
  EXPECT_EQ(d.get(name, v), platform::automation::S_OK) << name;
  std::int32_t out = -12345;
  v.toInt32(out);
  return out;
}

bool getBool(platform::automation::Dispatch& d, const char* name) {
  Variant v;
  EXPECT_EQ(d.get(name, v), platform::automation::S_OK) << name;
  bool out = false;
  v.toBool(out);
  return out;
}

std::string getText(platform::automation::Dispatch& d, const char* name) {
  Variant v;
  EXPECT_EQ(d.get(name, v), platform::automation::S_OK) << name;
  std::string out;
  v.toText(out);
  return out;
}

void put(platform::automation::Dispatch& d, const char* name, const Variant& v) {
  EXPECT_EQ(d.put(name, v), platform::automation::S_OK) << name;
}

Bytes reply(const std::string& payload, std::uint8_t pn = 0) {
  fr::HeaderFields f;
  f.marker = fr::kMarkerReply;
  f.result = {'0', '1'};
  f.da = 3;
  f.sa = 9;
  f.pn = pn;
  f.id = 0x74;
  f.passwordId = 0x0102;
  f.seqNumber = 0x0304;
  return fr::buildDatagram(f, Bytes(payload.begin(), payload.end()), fr::ByteOrders{});
}

class DesignSite : public platform::automation::ControlSite {
 public:
  bool user = true;
  bool userMode() const override { return user; }
};

// An open control on loopback, its event recorder, and a peer as the drive.
struct Rig {
  std::shared_ptr<velkor::CVelkorCtrl> control = std::make_shared<velkor::CVelkorCtrl>();
  EventRecorder events;
  Peer drive;
  std::uint16_t myPort = freePort();

  Rig() {
    ensureApplication();
    control->advise(&events);
    put(*control, "DestIp", "127.0.0.1");
    put(*control, "DestPort", static_cast<std::int32_t>(drive.port()));
    put(*control, "MyPort", static_cast<std::int32_t>(myPort));
    put(*control, "SrcIpFilter", false);
  }
  void open() {
    put(*control, "PortOpen", true);
    EXPECT_TRUE(getBool(*control, "PortOpen"));
  }
  bool deliver(const Bytes& datagram) {
    const int before = events.receives;
    drive.sendTo(myPort, datagram);
    return runUntil([&] { return events.receives > before; }, 1500);
  }
};

// Records what would be sent instead of sending it, so broadcasts never leave the test.
class RecordingSocket : public platform::sockets::UdpSocket {
 public:
  struct Log {
    std::vector<bool> broadcast;
    std::vector<std::string> hosts;
    int pendingError = 0;
    int peekError = 0;
    std::size_t pending = 20;
    std::size_t readSize = 0;
    int removed = 0;
  };
  explicit RecordingSocket(Log& log) : log_(log) {}
  int create(std::uint16_t) override { return 0; }
  int setBroadcast(bool on) override {
    log_.broadcast.push_back(on);
    return 0;
  }
  int sendTo(std::span<const std::uint8_t>, const std::string& host, std::uint16_t) override {
    log_.hosts.push_back(host);
    return 0;
  }
  int pendingBytes(std::size_t& count) override {
    count = log_.pending;
    return log_.pendingError;
  }
  int peekFrom(std::span<std::uint8_t> buffer, std::size_t& received, platform::sockets::Endpoint& from) override {
    const Bytes marker{'R', 'S'};
    received = std::min(buffer.size(), marker.size());
    std::copy_n(marker.begin(), received, buffer.begin());
    from = {"127.0.0.1", 9};
    return log_.peekError;
  }
  int receive(std::span<std::uint8_t>, std::size_t& received) override {
    ++log_.removed;
    received = log_.readSize;
    return 0;
  }

 private:
  Log& log_;
};

class WatchedVelkor : public velkor::CVelkorCtrl {
 public:
  RecordingSocket::Log log;

 protected:
  std::unique_ptr<platform::sockets::UdpSocket> createSocket() override { return std::make_unique<RecordingSocket>(log); }
};

}  // namespace

TEST(VelkorControl, DispatchNamesIdsAndAccess) {
  velkor::CVelkorCtrl control;
  const std::pair<const char*, platform::automation::DispId> expected[] = {
      {"ReceiveAsRIO", 1},      {"DestBus", 2},           {"DestUnit", 3},          {"DestSlot", 4},
      {"DestStation", 5},       {"OutV27DA", 6},          {"OutV27SA", 7},          {"ByteOrderRIO", 8},
      {"ByteOrderV27", 9},      {"LoopBackMode", 10},     {"SrcIpFilter", 11},      {"OutPasswordID", 12},
      {"OutSeqNumber", 13},     {"MyIp", 14},             {"MyPort", 15},           {"DestIp", 16},
      {"DestPort", 17},         {"PortOpen", 18},         {"Result", 19},           {"Input", 20},
      {"InBufferCount", 21},    {"PeekRawInput", 22},     {"PeekRawInputHex", 23},  {"Output", 24},
      {"OutBufferCount", 25},   {"ConfirmRawOutput", 26}, {"ConfirmRawOutputHex", 27}, {"InRawCount", 28},
      {"InV27DA", 29},          {"InV27SA", 30},          {"InV27FT0", 31},         {"InV27LLLH", 32},
      {"InV27PN", 33},          {"InV27ID", 34},          {"OutRawCount", 35},      {"InSrcIp", 36},
      {"InSrcPort", 37},        {"OutResult", 38},        {"InputB", 39},           {"InPasswordID", 40},
      {"InSeqNumber", 41},      {"OutputIndividually", 42}, {"OutputIndividually2", 43},
  };
  for (const auto& [name, id] : expected) {
    platform::automation::DispId found = 0;
    EXPECT_EQ(control.getIdOfName(name, found), platform::automation::S_OK) << name;
    EXPECT_EQ(found, id) << name;
  }
  platform::automation::DispId id = 0;
  EXPECT_EQ(control.getIdOfName("destbus", id), platform::automation::S_OK);
  EXPECT_EQ(id, 2);
  EXPECT_EQ(control.getIdOfName("NoSuchThing", id), platform::automation::DISP_E_UNKNOWNNAME);

  Variant v;
  EXPECT_EQ(control.put("InBufferCount", 5), platform::automation::CTL_E_SETNOTSUPPORTED);
  EXPECT_EQ(control.put("MyIp", "1.2.3.4"), platform::automation::CTL_E_SETNOTSUPPORTED);
  EXPECT_EQ(control.get("Output", v), platform::automation::CTL_E_GETNOTSUPPORTED);
  EXPECT_EQ(control.invoke(99, platform::automation::InvokeKind::PropertyGet, {}, &v), platform::automation::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(control.put("DestBus", Variant::null()), platform::automation::DISP_E_TYPEMISMATCH);
  const Variant tooFew[] = {Variant(0)};
  EXPECT_EQ(control.call("OutputIndividually", tooFew, &v), platform::automation::DISP_E_BADPARAMCOUNT);

  // Initial state.
  EXPECT_TRUE(getBool(control, "SrcIpFilter"));
  EXPECT_FALSE(getBool(control, "PortOpen"));
  EXPECT_EQ(getText(control, "OutResult"), "00");
  EXPECT_EQ(getText(control, "Result"), "");
  EXPECT_EQ(getLong(control, "InV27FT0"), 0);
  EXPECT_EQ(getLong(control, "InV27ID"), 0);
}

TEST(VelkorControl, SettersClampAndCut) {
  velkor::CVelkorCtrl c;
  const struct {
    const char* name;
    std::int32_t in, out;
  } cases[] = {
      {"DestBus", 7, 3},       {"DestBus", -1, 3},      {"DestBus", 2, 2},        {"DestUnit", 8, 7},
      {"DestUnit", 5, 5},      {"DestSlot", 16, 15},    {"DestSlot", -3, 15},     {"DestStation", -1, 64},
      {"DestStation", 65, 64}, {"DestStation", 12, 12}, {"OutV27DA", 65, 64},     {"OutV27SA", -1, 64},
      {"OutV27SA", 64, 64},    {"OutPasswordID", 65536 + 5, 5}, {"OutPasswordID", -1, 65535},
      {"OutSeqNumber", 0x12345, 0x2345},
  };
  for (const auto& k : cases) {
    put(c, k.name, k.in);
    EXPECT_EQ(getLong(c, k.name), k.out) << k.name << " = " << k.in;
  }
  put(c, "OutResult", "A");
  EXPECT_EQ(getText(c, "OutResult"), "00");
  put(c, "OutResult", "");
  EXPECT_EQ(getText(c, "OutResult"), "00");
  put(c, "OutResult", "ABC");
  EXPECT_EQ(getText(c, "OutResult"), "AB");
  // Numbers given as text are coerced as automation does.
  put(c, "DestUnit", "3");
  EXPECT_EQ(getLong(c, "DestUnit"), 3);
}

TEST(VelkorControl, PersistenceRoundTripAndDefaults) {
  ensureApplication();
  velkor::CVelkorCtrl a;
  put(a, "DestBus", 1);
  put(a, "DestUnit", 2);
  put(a, "DestSlot", 3);
  put(a, "DestStation", 4);
  put(a, "OutV27DA", 5);
  put(a, "OutV27SA", 6);
  put(a, "OutPasswordID", 7);
  put(a, "OutSeqNumber", 8);
  put(a, "ByteOrderRIO", true);
  put(a, "ByteOrderV27", true);
  put(a, "LoopBackMode", true);
  put(a, "SrcIpFilter", false);
  put(a, "ReceiveAsRIO", true);
  put(a, "DestIp", "127.0.0.1");
  platform::automation::PropertyBag bag;
  ASSERT_EQ(a.saveProperties(bag), platform::automation::S_OK);
  EXPECT_FALSE(bag.contains("ReceiveAsRIO"));
  EXPECT_FALSE(bag.contains("DestIp"));

  const std::string path = testing::TempDir() + testhost::uniqueTempName("velkor_form") + ".txt";
  ASSERT_EQ(bag.saveFile(path), platform::automation::S_OK);
  platform::automation::PropertyBag loaded;
  ASSERT_EQ(loaded.loadFile(path), platform::automation::S_OK);

  velkor::CVelkorCtrl b;
  ASSERT_EQ(b.loadProperties(loaded), platform::automation::S_OK);
  for (const char* name : {"DestBus", "DestUnit", "DestSlot", "DestStation", "OutV27DA", "OutV27SA", "OutPasswordID",
                           "OutSeqNumber"})
    EXPECT_EQ(getLong(b, name), getLong(a, name)) << name;
  for (const char* name : {"ByteOrderRIO", "ByteOrderV27", "LoopBackMode", "SrcIpFilter"})
    EXPECT_EQ(getBool(b, name), getBool(a, name)) << name;
  EXPECT_FALSE(getBool(b, "ReceiveAsRIO"));
  EXPECT_EQ(getText(b, "DestIp"), "");

  // Loading writes members only: the prebuilt header still has its initial routing.
  Peer drive;
  EventRecorder events;
  b.advise(&events);
  put(b, "DestIp", "127.0.0.1");
  put(b, "DestPort", static_cast<std::int32_t>(drive.port()));
  put(b, "PortOpen", true);
  put(b, "Output", Variant::bytes({}));
  EXPECT_EQ(drive.receive(), fr::buildDatagram(fr::HeaderFields{}, {}, fr::ByteOrders{true, true}));
  EXPECT_TRUE(events.errors.empty());

  // Reset gives the defaults; a damaged set keeps defaults and clamps what is out of range.
  b.resetState();
  EXPECT_EQ(getLong(b, "DestBus"), 0);
  EXPECT_TRUE(getBool(b, "SrcIpFilter"));
  platform::automation::PropertyBag damaged;
  ASSERT_EQ(platform::automation::PropertyBag::fromText("DestBus = I4:99\nDestUnit = Text:\"x\"\nOutSeqNumber = I4:70000\n", damaged),
            platform::automation::S_OK);
  velkor::CVelkorCtrl c;
  c.loadProperties(damaged);
  EXPECT_EQ(getLong(c, "DestBus"), 3);
  EXPECT_EQ(getLong(c, "DestUnit"), 0);
  EXPECT_EQ(getLong(c, "OutSeqNumber"), 70000 & 0xFFFF);
  EXPECT_TRUE(getBool(c, "SrcIpFilter"));
}

TEST(VelkorControl, SendsThePrebuiltHeaderAndIndividualHeaders) {
  Rig rig;
  rig.open();
  auto& c = *rig.control;
  put(c, "Output", Variant::bytes({'Q', 'T'}));
  const Bytes worked = {0x53, 0x4E, 0x30, 0x30, 0, 0, 0, 0, 0x0C, 0, 0, 0, 0x40, 0x07, 0, 0x76, 0, 0, 0, 0, 0x51, 0x54};
  EXPECT_EQ(rig.drive.receive(), worked);
  EXPECT_EQ(getLong(c, "OutBufferCount"), 2);
  EXPECT_EQ(getLong(c, "OutRawCount"), 22);
  EXPECT_EQ(getText(c, "ConfirmRawOutputHex"), "53 4E 30 30 00 00 00 00 0C 00 00 00 40 07 00 76 00 00 00 00 51 54");
  EXPECT_EQ(getText(c, "ConfirmRawOutput").size(), 22u);

  // Text payloads go out in the ANSI code page; long ones are cut to 246 bytes.
  put(c, "Output", "caf\xC3\xA9");
  Bytes sent = rig.drive.receive();
  ASSERT_EQ(sent.size(), 24u);
  EXPECT_EQ(sent[23], 0xE9);
  put(c, "Output", std::string(300, 'x'));
  EXPECT_EQ(rig.drive.receive().size(), 266u);
  EXPECT_EQ(getLong(c, "OutBufferCount"), 246);
  // An array of other elements is converted element by element.
  platform::automation::SafeArray numbers;
  numbers.elementsAreBytes = false;
  numbers.lowerBound = 1;
  numbers.elements = {Variant(65), Variant(std::int16_t{66})};
  put(c, "Output", Variant(numbers));
  sent = rig.drive.receive();
  ASSERT_EQ(sent.size(), 22u);
  EXPECT_EQ(sent[20], 'A');
  EXPECT_EQ(sent[21], 'B');
  numbers.elements = {Variant(300)};
  EXPECT_EQ(c.put("Output", Variant(numbers)), platform::automation::DISP_E_OVERFLOW);

  // Routing and byte orders reach the prebuilt header.
  put(c, "DestBus", 1);
  put(c, "DestUnit", 2);
  put(c, "DestSlot", 3);
  put(c, "ByteOrderRIO", true);
  put(c, "OutPasswordID", 0x1234);
  put(c, "ByteOrderV27", true);
  put(c, "OutResult", "AB");
  put(c, "Output", Variant::bytes({}));
  sent = rig.drive.receive();
  ASSERT_EQ(sent.size(), 20u);
  EXPECT_EQ(sent[2], 'A');
  EXPECT_EQ(sent[4], 0x00);
  EXPECT_EQ(sent[5], 0xA3);
  EXPECT_EQ(sent[8], 0x00);
  EXPECT_EQ(sent[9], 10);
  EXPECT_EQ(sent[13], 0x00);  // V27 length follows the switch at the send
  EXPECT_EQ(sent[14], 5);
  EXPECT_EQ(sent[16], 0x34);  // the password keeps the order it was written in
  EXPECT_EQ(sent[17], 0x12);

  // Individual headers leave the prebuilt one and its counts alone.
  Variant ok;
  const Variant args[] = {Variant(5), Variant(2), Variant(3), Variant(0x102), Variant(7), Variant(8), Variant("QT")};
  ASSERT_EQ(c.call("OutputIndividually", args, &ok), platform::automation::S_OK);
  EXPECT_EQ(ok, Variant(true));
  sent = rig.drive.receive();
  ASSERT_EQ(sent.size(), 22u);
  EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 4), (Bytes{'S', 'N', 0, 0}));
  EXPECT_EQ(sent[4], 0x00);
  EXPECT_EQ(sent[5], 0xA3);  // bus 5 masked to 1
  EXPECT_EQ(sent[6], 0x01);
  EXPECT_EQ(sent[7], 0x02);
  EXPECT_EQ(sent[10], 7);
  EXPECT_EQ(sent[11], 8);
  EXPECT_EQ(getLong(c, "OutRawCount"), 20);
  const Variant args2[] = {Variant(0), Variant(0), Variant(0), Variant(0), Variant(0),
                           Variant(0), Variant(0x1234), Variant(0x5678), Variant::bytes({1})};
  ASSERT_EQ(c.call("OutputIndividually2", args2, &ok), platform::automation::S_OK);
  sent = rig.drive.receive();
  ASSERT_EQ(sent.size(), 21u);
  EXPECT_EQ(Bytes(sent.begin() + 16, sent.begin() + 20), (Bytes{0x34, 0x12, 0x78, 0x56}));
  EXPECT_TRUE(rig.events.errors.empty());
}

TEST(VelkorControl, ReceivesDecodesAndHandsOverCopies) {
  Rig rig;
  rig.open();
  auto& c = *rig.control;
  ASSERT_TRUE(rig.deliver(reply("HELLO", 3)));
  EXPECT_EQ(getText(c, "Result"), "01");
  EXPECT_EQ(getLong(c, "InV27DA"), 3);
  EXPECT_EQ(getLong(c, "InV27SA"), 9);
  EXPECT_EQ(getLong(c, "InV27FT0"), 0x40);
  EXPECT_EQ(getLong(c, "InV27LLLH"), 10);
  EXPECT_EQ(getLong(c, "InV27PN"), 3);
  EXPECT_EQ(getLong(c, "InV27ID"), 0x74);
  EXPECT_EQ(getLong(c, "InPasswordID"), 0x0102);
  EXPECT_EQ(getLong(c, "InSeqNumber"), 0x0304);
  EXPECT_EQ(getText(c, "InSrcIp"), "127.0.0.1");
  EXPECT_EQ(getLong(c, "InSrcPort"), rig.drive.port());
  EXPECT_EQ(getLong(c, "InRawCount"), 25);
  EXPECT_EQ(getLong(c, "InBufferCount"), 5);
  EXPECT_EQ(getText(c, "PeekRawInputHex").size(), 25u * 3 - 1);
  EXPECT_EQ(getText(c, "PeekRawInput").substr(20), "HELLO");
  EXPECT_EQ(getLong(c, "InBufferCount"), 5);  // peeking consumes nothing

  Variant first;
  ASSERT_EQ(c.get("InputB", first), platform::automation::S_OK);
  ASSERT_NE(first.array(), nullptr);
  EXPECT_EQ(first.array()->lowerBound, 0);
  EXPECT_EQ(bytesOf(first), (Bytes{'H', 'E', 'L', 'L', 'O'}));
  EXPECT_EQ(getLong(c, "InBufferCount"), 0);
  EXPECT_EQ(getLong(c, "InRawCount"), 0);
  Variant second;
  ASSERT_EQ(c.get("InputB", second), platform::automation::S_OK);
  ASSERT_NE(second.array(), nullptr);
  EXPECT_EQ(second.array()->size(), 0u);

  // The host owns its copy: a new datagram does not change it.
  ASSERT_TRUE(rig.deliver(reply("\x15" "AB")));
  EXPECT_EQ(bytesOf(first), (Bytes{'H', 'E', 'L', 'L', 'O'}));
  EXPECT_EQ(getText(c, "Input"), "\x15" "AB");
  EXPECT_EQ(getText(c, "Input"), "");

  // A 20-byte reply: 59 characters of hex. Bytes the code page has no character for
  // survive the text path.
  ASSERT_TRUE(rig.deliver(reply("")));
  EXPECT_EQ(getText(c, "PeekRawInputHex").size(), 59u);
  ASSERT_TRUE(rig.deliver(reply("\x81\xFF")));
  Variant text;
  c.get("Input", text);
  EXPECT_EQ(text, Variant("\xC2\x81\xC3\xBF"));

  // Closing clears counts and decoded fields, keeps the received result.
  ASSERT_TRUE(rig.deliver(reply("X")));
  put(c, "PortOpen", false);
  EXPECT_EQ(getLong(c, "InBufferCount"), 0);
  EXPECT_EQ(getLong(c, "InV27DA"), 0);
  EXPECT_EQ(getLong(c, "InSrcPort"), 0);
  EXPECT_EQ(getText(c, "InSrcIp"), "");
  EXPECT_EQ(getLong(c, "OutRawCount"), 0);
  EXPECT_EQ(getText(c, "Result"), "01");
  EXPECT_TRUE(rig.events.errors.empty());
}

TEST(VelkorControl, CodePageIsWhatTheHostGivesIt) {
  Rig rig;
  rig.open();
  auto& c = *rig.control;
  platform::automation::DispId id = 0;
  EXPECT_EQ(c.getIdOfName("CodePage", id), platform::automation::S_OK);
  EXPECT_EQ(id, velkor::DISPID_CodePage);
  EXPECT_EQ(getText(c, "CodePage"), "windows-1252");
  put(c, "Output", "\xE3\x81\x82");  // あ: windows-1252 has no such character
  EXPECT_EQ(rig.drive.receive().back(), '?');

  put(c, "CodePage", "SHIFT_JIS");
  EXPECT_EQ(getText(c, "CodePage"), "SHIFT_JIS");
  put(c, "Output", "\xE3\x81\x82");
  Bytes sent = rig.drive.receive();
  ASSERT_EQ(sent.size(), 22u);
  EXPECT_EQ(sent[20], 0x82);
  EXPECT_EQ(sent[21], 0xA0);
  put(c, "OutResult", "\xEF\xBD\xB1" "0");  // ｱ is one byte there
  put(c, "Output", Variant::bytes({}));
  EXPECT_EQ(rig.drive.receive()[2], 0xB1);
  put(c, "OutResult", "00");

  // Replies are read in it; half a character comes back as its byte when sent again.
  ASSERT_TRUE(rig.deliver(reply("\x06" "0\x93\xFA\x82")));
  EXPECT_EQ(getText(c, "PeekRawInput").substr(20), "\x06" "0\xE6\x97\xA5\xC2\x82");
  const std::string text = getText(c, "Input");
  EXPECT_EQ(text, "\x06" "0\xE6\x97\xA5\xC2\x82");
  put(c, "Output", text);
  sent = rig.drive.receive();
  EXPECT_EQ(Bytes(sent.begin() + 20, sent.end()), (Bytes{0x06, '0', 0x93, 0xFA, 0x82}));

  // A name iconv does not know, or a page that moves ASCII, is refused and nothing changes.
  EXPECT_EQ(c.put("CodePage", "no-such-code-page"), platform::automation::CTL_E_INVALIDPROPERTYVALUE);
  EXPECT_EQ(c.put("CodePage", "UTF-16"), platform::automation::CTL_E_INVALIDPROPERTYVALUE);
  EXPECT_EQ(getText(c, "CodePage"), "SHIFT_JIS");
  // Another control keeps its own.
  velkor::CVelkorCtrl other;
  EXPECT_EQ(getText(other, "CodePage"), "windows-1252");
  EXPECT_TRUE(rig.events.errors.empty());
}

TEST(VelkorControl, AcceptanceDropsAndCaps) {
  Rig rig;
  rig.open();
  auto& c = *rig.control;
  auto dropped = [&](const Bytes& datagram) {
    const int before = rig.events.receives;
    rig.drive.sendTo(rig.myPort, datagram);
    settle();
    // The next good reply must be the one that arrives: the dropped one is gone.
    const bool next = rig.deliver(reply("OK"));
    return next && rig.events.receives == before + 1 && getLong(c, "InBufferCount") == 2;
  };
  Bytes nine = reply("");
  nine.resize(9);
  EXPECT_TRUE(dropped(nine));
  Bytes request = reply("x");
  request[0] = 'S';
  request[1] = 'N';
  EXPECT_TRUE(dropped(request));
  EXPECT_TRUE(dropped(Bytes{}));  // an empty datagram is taken off the queue too

  // RIO role: requests accepted, replies dropped.
  put(c, "ReceiveAsRIO", true);
  ASSERT_TRUE(rig.deliver(request));
  EXPECT_EQ(getLong(c, "InBufferCount"), 1);
  const int before = rig.events.receives;
  rig.drive.sendTo(rig.myPort, reply("x"));
  settle();
  EXPECT_EQ(rig.events.receives, before);
  put(c, "ReceiveAsRIO", false);
  ASSERT_TRUE(rig.deliver(reply("sync")));

  // Short datagrams: missing header bytes read as 0, no payload.
  Bytes twelve = reply("");
  twelve.resize(12);
  ASSERT_TRUE(rig.deliver(twelve));
  EXPECT_EQ(getLong(c, "InRawCount"), 12);
  EXPECT_EQ(getLong(c, "InV27FT0"), 0);
  EXPECT_EQ(getLong(c, "InV27ID"), 0);
  EXPECT_EQ(getLong(c, "InBufferCount"), 0);

  // The V27 length decides the payload, capped at what arrived.
  Bytes lying = reply(std::string(10, 'z'));
  fr::put16(lying, fr::kOffV27Length, 4, false);
  ASSERT_TRUE(rig.deliver(lying));
  EXPECT_EQ(getLong(c, "InBufferCount"), 10);
  fr::put16(lying, fr::kOffV27Length, 7, false);
  ASSERT_TRUE(rig.deliver(lying));
  EXPECT_EQ(getLong(c, "InBufferCount"), 2);
  Bytes huge = reply("");
  huge.resize(300, 'h');
  fr::put16(huge, fr::kOffV27Length, 252, false);
  ASSERT_TRUE(rig.deliver(huge));
  EXPECT_EQ(getLong(c, "InRawCount"), 266);
  EXPECT_EQ(getLong(c, "InBufferCount"), 246);

  Bytes zeroResult = reply("");
  zeroResult[2] = 0;
  ASSERT_TRUE(rig.deliver(zeroResult));
  EXPECT_EQ(getText(c, "Result"), "");
  EXPECT_TRUE(rig.events.errors.empty());
}

TEST(VelkorControl, SourceFilterComparesSenderWithDestIp) {
  Rig rig;
  auto& c = *rig.control;
  put(c, "SrcIpFilter", true);
  put(c, "DestIp", "127.0.0.2");
  rig.open();
  rig.drive.sendTo(rig.myPort, reply("x"));
  settle();
  EXPECT_EQ(rig.events.receives, 0);
  put(c, "DestIp", "127.0.0.1");  // ignored while open
  EXPECT_EQ(getText(c, "DestIp"), "127.0.0.2");
  put(c, "PortOpen", false);
  put(c, "DestIp", "127.0.0.1");
  rig.open();
  ASSERT_TRUE(rig.deliver(reply("y")));
  EXPECT_EQ(getLong(c, "InBufferCount"), 1);

  // "255.255.255.255" is nobody's sender address: every reply is dropped.
  WatchedVelkor w;
  EventRecorder events;
  w.advise(&events);
  put(w, "DestIp", "255.255.255.255");
  put(w, "PortOpen", true);
  w.OnSocketReceive(0);
  EXPECT_EQ(events.receives, 0);
  EXPECT_EQ(w.log.removed, 1);
}

TEST(VelkorControl, LoopBackModeRepliesToItself) {
  Rig rig;
  auto& c = *rig.control;
  put(c, "DestPort", static_cast<std::int32_t>(rig.myPort));
  put(c, "LoopBackMode", true);
  rig.open();
  put(c, "Output", Variant::bytes({'M', 'X', '2', '0', '3'}));
  ASSERT_TRUE(runUntil([&] { return rig.events.receives == 1; }));
  EXPECT_EQ(bytesOf([&] {
              Variant v;
              c.get("InputB", v);
              return v;
            }()),
            (Bytes{'M', 'X', '2', '0', '3'}));
  EXPECT_EQ(getLong(c, "InV27ID"), 0x74);
  EXPECT_EQ(getText(c, "Result"), "00");
  EXPECT_EQ(getLong(c, "InSrcPort"), rig.myPort);
  put(c, "LoopBackMode", false);
  put(c, "Output", "QT");
  settle();
  EXPECT_EQ(rig.events.receives, 1);  // "SN" back to itself is not a reply
}

TEST(VelkorControl, ErrorsAreEventsAndCallsSucceed) {
  ensureApplication();
  velkor::CVelkorCtrl c;
  EventRecorder events;
  c.advise(&events);
  Variant v;
  // Closed: each misuse raises 10022 and the access itself succeeds.
  EXPECT_EQ(c.put("Output", "QT"), platform::automation::S_OK);
  EXPECT_EQ(c.get("Input", v), platform::automation::S_OK);
  EXPECT_EQ(v, Variant(""));
  EXPECT_EQ(c.get("InputB", v), platform::automation::S_OK);
  EXPECT_TRUE(v.isEmpty());
  EXPECT_EQ(c.get("PeekRawInput", v), platform::automation::S_OK);
  const Variant args[] = {Variant(0), Variant(0), Variant(0), Variant(0), Variant(0), Variant(0), Variant("x")};
  EXPECT_EQ(c.call("OutputIndividually", args, &v), platform::automation::S_OK);
  EXPECT_EQ(v, Variant(false));
  EXPECT_EQ(events.errors, (std::vector<std::int32_t>{10022, 10022, 10022, 10022, 10022}));
  EXPECT_EQ(c.get("PeekRawInputHex", v), platform::automation::S_OK);  // no port test here
  EXPECT_EQ(events.errors.size(), 5u);

  // No destination: 10039, stays closed.
  events.errors.clear();
  put(c, "PortOpen", true);
  EXPECT_EQ(events.errors, (std::vector<std::int32_t>{10039}));
  EXPECT_FALSE(getBool(c, "PortOpen"));

  // A port that is taken: the socket layer's own code (address in use).
  Peer holder;
  events.errors.clear();
  put(c, "DestIp", "127.0.0.1");
  put(c, "MyPort", static_cast<std::int32_t>(holder.port()));
  put(c, "PortOpen", true);
  EXPECT_EQ(events.errors, (std::vector<std::int32_t>{10048}));
  EXPECT_FALSE(getBool(c, "PortOpen"));
  events.errors.clear();
  put(c, "MyPort", 70000);
  put(c, "PortOpen", true);
  EXPECT_EQ(events.errors, (std::vector<std::int32_t>{10022}));

  // Open: a locked array is unreadable (10014), a name that does not resolve is 10022.
  put(c, "MyPort", 0);
  put(c, "PortOpen", true);
  ASSERT_TRUE(getBool(c, "PortOpen"));
  events.errors.clear();
  platform::automation::SafeArray locked;
  locked.bytes = {1, 2};
  locked.locked = true;
  EXPECT_EQ(c.put("Output", Variant(locked)), platform::automation::S_OK);
  const Variant lockedArgs[] = {Variant(0), Variant(0), Variant(0), Variant(0), Variant(0), Variant(0), Variant(locked)};
  EXPECT_EQ(c.call("OutputIndividually", lockedArgs, &v), platform::automation::S_OK);
  EXPECT_EQ(v, Variant(false));
  EXPECT_EQ(events.errors, (std::vector<std::int32_t>{10014, 10014}));
  // A payload that cannot be converted is the call's own error, nothing is raised.
  events.errors.clear();
  EXPECT_EQ(c.put("Output", Variant::null()), platform::automation::DISP_E_TYPEMISMATCH);
  EXPECT_TRUE(events.errors.empty());
  put(c, "PortOpen", false);
  put(c, "DestIp", "no-such-host.invalid");
  put(c, "PortOpen", true);
  put(c, "Output", "x");
  EXPECT_EQ(events.errors, (std::vector<std::int32_t>{10022}));
  EXPECT_TRUE(getBool(c, "PortOpen"));  // open stays open
}

TEST(VelkorControl, ReceiveFailuresReportTheSocketCodes) {
  WatchedVelkor w;
  EventRecorder events;
  w.advise(&events);
  put(w, "DestIp", "127.0.0.1");
  put(w, "SrcIpFilter", false);
  put(w, "PortOpen", true);
  ASSERT_TRUE(getBool(w, "PortOpen"));

  w.log.readSize = 0;  // a read that returns nothing
  w.OnSocketReceive(0);
  EXPECT_EQ(events.errors, (std::vector<std::int32_t>{10057}));

  events.errors.clear();
  w.log.pendingError = 10050;
  w.OnSocketReceive(10054);  // notification error first, then the failed count
  EXPECT_EQ(events.errors, (std::vector<std::int32_t>{10054, 10050}));

  events.errors.clear();
  w.log.pendingError = 0;
  w.log.peekError = 10040;  // longer than the peek: fine
  w.log.readSize = 20;
  w.OnSocketReceive(0);
  EXPECT_TRUE(events.errors.empty());
  EXPECT_EQ(events.receives, 1);
  w.log.peekError = 10055;
  const int removedBefore = w.log.removed;
  w.OnSocketReceive(0);
  EXPECT_EQ(events.errors, (std::vector<std::int32_t>{10055}));
  EXPECT_EQ(w.log.removed, removedBefore + 1);  // the failed datagram is taken off
  EXPECT_EQ(events.receives, 1);
}

TEST(VelkorControl, BroadcastOptionFollowsDestIpAndRunModeGatesAccess) {
  WatchedVelkor w;
  EventRecorder events;
  w.advise(&events);
  put(w, "DestIp", "255.255.255.255");
  put(w, "DestPort", 22359);
  put(w, "PortOpen", true);
  put(w, "Output", "QT");
  put(w, "PortOpen", false);
  put(w, "DestIp", "127.0.0.1");
  put(w, "PortOpen", true);
  put(w, "Output", "QT");
  EXPECT_EQ(w.log.broadcast, (std::vector<bool>{true, false}));
  EXPECT_EQ(w.log.hosts, (std::vector<std::string>{"255.255.255.255", "127.0.0.1"}));

  // Design mode: Output does nothing at all, the individual send still works, and the
  // container leaving run mode closes the port.
  DesignSite site;
  w.setClientSite(&site);
  site.user = false;
  put(w, "Output", "QT");
  EXPECT_EQ(w.log.hosts.size(), 2u);
  Variant v;
  EXPECT_EQ(w.get("Input", v), platform::automation::S_OK);
  EXPECT_EQ(v, Variant(""));
  const Variant args[] = {Variant(0), Variant(0), Variant(0), Variant(0), Variant(0), Variant(0), Variant("x")};
  w.call("OutputIndividually", args, &v);
  EXPECT_EQ(v, Variant(true));
  EXPECT_EQ(w.log.hosts.size(), 3u);
  w.ambientPropertiesChanged();
  EXPECT_FALSE(getBool(w, "PortOpen"));
  put(w, "PortOpen", true);  // ignored outside run mode
  EXPECT_FALSE(getBool(w, "PortOpen"));
  EXPECT_TRUE(events.errors.empty());
}

TEST(VelkorControl, HandlerMayClosePortInsideOnReceive) {
  Rig rig;
  rig.open();
  auto& c = *rig.control;
  rig.events.onReceiveHandler = [&] {
    Variant v;
    c.get("InputB", v);
    put(c, "PortOpen", false);
  };
  ASSERT_TRUE(rig.deliver(reply("bye")));
  settle();
  EXPECT_FALSE(getBool(c, "PortOpen"));
  rig.events.onReceiveHandler = nullptr;
  rig.open();
  ASSERT_TRUE(rig.deliver(reply("again")));
}

TEST(VelkorControl, HandlerMayDestroyTheControlInsideOnError) {
  auto owner = std::make_shared<WatchedVelkor>();
  WatchedVelkor* raw = owner.get();
  platform::automation::FunctionEventSink sink([&](platform::automation::DispId, std::span<const Variant>) { owner.reset(); });
  raw->advise(&sink);
  put(*raw, "DestIp", "127.0.0.1");
  put(*raw, "PortOpen", true);
  raw->OnSocketReceive(10054);  // the sanitizer build catches any use after the handler
  EXPECT_EQ(owner, nullptr);
}
