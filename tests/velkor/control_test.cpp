// The Velkor control as a host uses it: everything through the dispatch interface by name,
// with a loopback peer playing the drive.
#include <gtest/gtest.h>

#include "platform/automation/dispatch.h"
#include "tests/velkor/host_support.h"
#include "velkor/control/velkor_ctrl.h"
#include "velkor/framing/framing.h"

using namespace testhost;
namespace pa = platform::automation;
namespace fr = velkor::framing;

namespace {

using Rig = ControlRig<velkor::CVelkorCtrl>;

// A reply with every header field set apart from its neighbours.
Bytes reply(const std::string& payload, std::uint8_t pn = 0) {
  fr::HeaderFields f;
  f.result = {'0', '1'};
  f.da = 3;
  f.sa = 9;
  f.pn = pn;
  f.id = 0x74;
  f.passwordId = 0x0102;
  f.seqNumber = 0x0304;
  return replyDatagram(payload, f);
}

std::string hexOf(const Bytes& bytes) { return fr::hexText(bytes); }

// OutputIndividually's arguments: all routing 0, then the payload.
std::vector<Variant> individually(const Variant& payload) { return {0, 0, 0, 0, 0, 0, payload}; }

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

// A control on the recording socket, with its events recorded.
class WatchedVelkor : public velkor::CVelkorCtrl {
 public:
  RecordingSocket::Log log;
  EventRecorder events;
  WatchedVelkor() { advise(&events); }

 protected:
  std::unique_ptr<platform::sockets::UdpSocket> createSocket() override { return std::make_unique<RecordingSocket>(log); }
};

class DesignSite : public pa::ControlSite {
 public:
  bool user = true;
  bool userMode() const override { return user; }
};

}  // namespace

TEST(VelkorControl, DispatchNamesIdsAndAccess) {
  velkor::CVelkorCtrl control;
  // Hosts bind by these ids: their order is the interface.
  const char* names[] = {
      "ReceiveAsRIO",  "DestBus",          "DestUnit",        "DestSlot",         "DestStation",         "OutV27DA",
      "OutV27SA",      "ByteOrderRIO",     "ByteOrderV27",    "LoopBackMode",     "SrcIpFilter",         "OutPasswordID",
      "OutSeqNumber",  "MyIp",             "MyPort",          "DestIp",           "DestPort",            "PortOpen",
      "Result",        "Input",            "InBufferCount",   "PeekRawInput",     "PeekRawInputHex",     "Output",
      "OutBufferCount", "ConfirmRawOutput", "ConfirmRawOutputHex", "InRawCount",  "InV27DA",             "InV27SA",
      "InV27FT0",      "InV27LLLH",        "InV27PN",         "InV27ID",          "OutRawCount",         "InSrcIp",
      "InSrcPort",     "OutResult",        "InputB",          "InPasswordID",     "InSeqNumber",         "OutputIndividually",
      "OutputIndividually2"};
  for (std::size_t i = 0; i < std::size(names); ++i) {
    pa::DispId found = 0;
    EXPECT_EQ(control.getIdOfName(names[i], found), pa::S_OK) << names[i];
    EXPECT_EQ(found, static_cast<pa::DispId>(i + 1)) << names[i];
  }
  pa::DispId id = 0;
  EXPECT_EQ(control.getIdOfName("destbus", id), pa::S_OK);
  EXPECT_EQ(id, 2);
  EXPECT_EQ(control.getIdOfName("NoSuchThing", id), pa::DISP_E_UNKNOWNNAME);

  Variant v;
  EXPECT_EQ(control.put("InBufferCount", 5), pa::CTL_E_SETNOTSUPPORTED);
  EXPECT_EQ(control.put("MyIp", "1.2.3.4"), pa::CTL_E_SETNOTSUPPORTED);
  EXPECT_EQ(control.get("Output", v), pa::CTL_E_GETNOTSUPPORTED);
  EXPECT_EQ(control.invoke(99, pa::InvokeKind::PropertyGet, {}, &v), pa::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(control.put("DestBus", Variant::null()), pa::DISP_E_TYPEMISMATCH);
  const Variant tooFew[] = {Variant(0)};
  EXPECT_EQ(control.call("OutputIndividually", tooFew, &v), pa::DISP_E_BADPARAMCOUNT);

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
  const std::pair<const char*, const char*> results[] = {{"A", "00"}, {"", "00"}, {"ABC", "AB"}};
  for (const auto& [in, out] : results) {
    put(c, "OutResult", in);
    EXPECT_EQ(getText(c, "OutResult"), out) << in;
  }
  // Numbers given as text are coerced as automation does.
  put(c, "DestUnit", "3");
  EXPECT_EQ(getLong(c, "DestUnit"), 3);
}

TEST(VelkorControl, PersistenceRoundTripAndDefaults) {
  ensureApplication();
  velkor::CVelkorCtrl a;
  const char* kept[] = {"DestBus",      "DestUnit",     "DestSlot",     "DestStation",  "OutV27DA",    "OutV27SA",
                        "OutPasswordID", "OutSeqNumber", "ByteOrderRIO", "ByteOrderV27", "LoopBackMode", "SrcIpFilter"};
  const Variant values[] = {1, 2, 3, 4, 5, 6, 7, 8, true, true, true, false};
  for (std::size_t i = 0; i < std::size(kept); ++i) put(a, kept[i], values[i]);
  put(a, "ReceiveAsRIO", true);
  put(a, "DestIp", "127.0.0.1");
  pa::PropertyBag bag;
  ASSERT_EQ(a.saveProperties(bag), pa::S_OK);
  EXPECT_FALSE(bag.contains("ReceiveAsRIO"));
  EXPECT_FALSE(bag.contains("DestIp"));

  const std::string path = testing::TempDir() + "velkor_form_" + std::to_string(::getpid()) + ".txt";
  ASSERT_EQ(bag.saveFile(path), pa::S_OK);
  pa::PropertyBag loaded;
  ASSERT_EQ(loaded.loadFile(path), pa::S_OK);
  std::filesystem::remove(path);

  velkor::CVelkorCtrl b;
  ASSERT_EQ(b.loadProperties(loaded), pa::S_OK);
  for (const char* name : kept) EXPECT_EQ(get(b, name), get(a, name)) << name;
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
  pa::PropertyBag damaged;
  ASSERT_EQ(pa::PropertyBag::fromText("DestBus = I4:99\nDestUnit = Text:\"x\"\nOutSeqNumber = I4:70000\n", damaged), pa::S_OK);
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
  const std::string worked = "53 4E 30 30 00 00 00 00 0C 00 00 00 40 07 00 76 00 00 00 00 51 54";
  put(c, "Output", Variant::bytes({'Q', 'T'}));
  EXPECT_EQ(hexOf(rig.drive.receive()), worked);
  EXPECT_EQ(getLong(c, "OutBufferCount"), 2);
  EXPECT_EQ(getLong(c, "OutRawCount"), 22);
  EXPECT_EQ(getText(c, "ConfirmRawOutputHex"), worked);
  EXPECT_EQ(getText(c, "ConfirmRawOutput").size(), 22u);

  // Text payloads go out in the ANSI code page; long ones are cut to 246 bytes.
  put(c, "Output", "caf\xC3\xA9");
  EXPECT_EQ(hexOf(rig.drive.receive()).substr(60), "63 61 66 E9");
  put(c, "Output", std::string(300, 'x'));
  EXPECT_EQ(rig.drive.receive().size(), 266u);
  EXPECT_EQ(getLong(c, "OutBufferCount"), 246);
  // An array of other elements is converted element by element.
  pa::SafeArray numbers;
  numbers.elementsAreBytes = false;
  numbers.lowerBound = 1;
  numbers.elements = {Variant(65), Variant(std::int16_t{66})};
  put(c, "Output", Variant(numbers));
  EXPECT_EQ(hexOf(rig.drive.receive()).substr(60), "41 42");
  numbers.elements = {Variant(300)};
  EXPECT_EQ(c.put("Output", Variant(numbers)), pa::DISP_E_OVERFLOW);

  // Routing and byte orders reach the prebuilt header; the V27 length follows the order at the
  // send, the password keeps the order it was written in.
  const std::pair<const char*, Variant> settings[] = {{"DestBus", 1},         {"DestUnit", 2},         {"DestSlot", 3},
                                                      {"ByteOrderRIO", true}, {"OutPasswordID", 0x1234}, {"ByteOrderV27", true},
                                                      {"OutResult", "AB"}};
  for (const auto& [name, value] : settings) put(c, name, value);
  put(c, "Output", Variant::bytes({}));
  EXPECT_EQ(hexOf(rig.drive.receive()), "53 4E 41 42 00 A3 00 00 00 0A 00 00 40 00 05 76 34 12 00 00");

  // Individual headers leave the prebuilt one and its counts alone; the bus is masked.
  EXPECT_EQ(call(c, "OutputIndividually", {5, 2, 3, 0x102, 7, 8, "QT"}), Variant(true));
  EXPECT_EQ(hexOf(rig.drive.receive()), "53 4E 00 00 00 A3 01 02 00 0C 07 08 40 00 07 76 00 00 00 00 51 54");
  EXPECT_EQ(getLong(c, "OutRawCount"), 20);
  call(c, "OutputIndividually2", {0, 0, 0, 0, 0, 0, 0x1234, 0x5678, Variant::bytes({1})});
  EXPECT_EQ(hexOf(rig.drive.receive()).substr(48), "34 12 78 56 01");
  EXPECT_TRUE(rig.events.errors.empty());
}

TEST(VelkorControl, ReceivesDecodesAndHandsOverCopies) {
  Rig rig;
  rig.open();
  auto& c = *rig.control;
  ASSERT_TRUE(rig.deliver(reply("HELLO", 3)));
  EXPECT_EQ(getText(c, "Result"), "01");
  const std::pair<const char*, std::int32_t> decoded[] = {
      {"InV27DA", 3},           {"InV27SA", 9},          {"InV27FT0", 0x40},       {"InV27LLLH", 10},
      {"InV27PN", 3},           {"InV27ID", 0x74},       {"InPasswordID", 0x0102}, {"InSeqNumber", 0x0304},
      {"InSrcPort", static_cast<std::int32_t>(rig.drive.port())}, {"InRawCount", 25}, {"InBufferCount", 5}};
  for (const auto& [name, value] : decoded) EXPECT_EQ(getLong(c, name), value) << name;
  EXPECT_EQ(getText(c, "InSrcIp"), "127.0.0.1");
  EXPECT_EQ(getText(c, "PeekRawInputHex"), hexOf(reply("HELLO", 3)));
  EXPECT_EQ(getText(c, "PeekRawInput").substr(20), "HELLO");
  EXPECT_EQ(getLong(c, "InBufferCount"), 5);  // peeking consumes nothing

  const Variant first = get(c, "InputB");
  ASSERT_NE(first.array(), nullptr);
  EXPECT_EQ(first.array()->lowerBound, 0);
  EXPECT_EQ(bytesOf(first), (Bytes{'H', 'E', 'L', 'L', 'O'}));
  EXPECT_EQ(getLong(c, "InBufferCount"), 0);
  EXPECT_EQ(getLong(c, "InRawCount"), 0);
  const Variant second = get(c, "InputB");
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
  EXPECT_EQ(get(c, "Input"), Variant("\xC2\x81\xC3\xBF"));

  // Closing clears counts and decoded fields, keeps the received result.
  ASSERT_TRUE(rig.deliver(reply("X")));
  put(c, "PortOpen", false);
  for (const char* name : {"InBufferCount", "InV27DA", "InSrcPort", "OutRawCount"}) EXPECT_EQ(getLong(c, name), 0) << name;
  EXPECT_EQ(getText(c, "InSrcIp"), "");
  EXPECT_EQ(getText(c, "Result"), "01");
  EXPECT_TRUE(rig.events.errors.empty());
}

TEST(VelkorControl, CodePageIsWhatTheHostGivesIt) {
  Rig rig;
  rig.open();
  auto& c = *rig.control;
  pa::DispId id = 0;
  EXPECT_EQ(c.getIdOfName("CodePage", id), pa::S_OK);
  EXPECT_EQ(id, velkor::DISPID_CodePage);
  EXPECT_EQ(getText(c, "CodePage"), "windows-1252");
  put(c, "Output", "\xE3\x81\x82");  // あ: windows-1252 has no such character
  EXPECT_EQ(rig.drive.receive().back(), '?');

  put(c, "CodePage", "SHIFT_JIS");
  EXPECT_EQ(getText(c, "CodePage"), "SHIFT_JIS");
  put(c, "Output", "\xE3\x81\x82");
  EXPECT_EQ(hexOf(rig.drive.receive()).substr(60), "82 A0");
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
  EXPECT_EQ(hexOf(rig.drive.receive()).substr(60), "06 30 93 FA 82");

  // A name iconv does not know, or a page that moves ASCII, is refused and nothing changes.
  EXPECT_EQ(c.put("CodePage", "no-such-code-page"), pa::CTL_E_INVALIDPROPERTYVALUE);
  EXPECT_EQ(c.put("CodePage", "UTF-16"), pa::CTL_E_INVALIDPROPERTYVALUE);
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
    rig.sendAndSettle(datagram);
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
  rig.sendAndSettle(reply("x"));
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
  Bytes huge = reply("");
  huge.resize(300, 'h');
  const struct {
    Bytes& datagram;
    int v27Length, raw, payload;
  } lengths[] = {{lying, 4, 30, 10}, {lying, 7, 30, 2}, {huge, 252, 266, 246}};
  for (const auto& k : lengths) {
    fr::put16(k.datagram, fr::kOffV27Length, k.v27Length, false);
    ASSERT_TRUE(rig.deliver(k.datagram));
    EXPECT_EQ(getLong(c, "InRawCount"), k.raw) << k.v27Length;
    EXPECT_EQ(getLong(c, "InBufferCount"), k.payload) << k.v27Length;
  }

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
  rig.sendAndSettle(reply("x"));
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
  put(w, "DestIp", "255.255.255.255");
  put(w, "PortOpen", true);
  w.OnSocketReceive(0);
  EXPECT_EQ(w.events.receives, 0);
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
  EXPECT_EQ(bytesOf(get(c, "InputB")), (Bytes{'M', 'X', '2', '0', '3'}));
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
  EXPECT_EQ(c.put("Output", "QT"), pa::S_OK);
  EXPECT_EQ(get(c, "Input"), Variant(""));
  EXPECT_TRUE(get(c, "InputB").isEmpty());
  get(c, "PeekRawInput");
  EXPECT_EQ(call(c, "OutputIndividually", individually("x")), Variant(false));
  EXPECT_EQ(events.errors, (std::vector<std::int32_t>{10022, 10022, 10022, 10022, 10022}));
  get(c, "PeekRawInputHex");  // no port test here
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
  pa::SafeArray locked;
  locked.bytes = {1, 2};
  locked.locked = true;
  EXPECT_EQ(c.put("Output", Variant(locked)), pa::S_OK);
  EXPECT_EQ(call(c, "OutputIndividually", individually(Variant(locked))), Variant(false));
  EXPECT_EQ(events.errors, (std::vector<std::int32_t>{10014, 10014}));
  // A payload that cannot be converted is the call's own error, nothing is raised.
  events.errors.clear();
  EXPECT_EQ(c.put("Output", Variant::null()), pa::DISP_E_TYPEMISMATCH);
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
  put(w, "DestIp", "127.0.0.1");
  put(w, "SrcIpFilter", false);
  put(w, "PortOpen", true);
  ASSERT_TRUE(getBool(w, "PortOpen"));
  auto& errors = w.events.errors;

  w.log.readSize = 0;  // a read that returns nothing
  w.OnSocketReceive(0);
  EXPECT_EQ(errors, (std::vector<std::int32_t>{10057}));

  errors.clear();
  w.log.pendingError = 10050;
  w.OnSocketReceive(10054);  // notification error first, then the failed count
  EXPECT_EQ(errors, (std::vector<std::int32_t>{10054, 10050}));

  errors.clear();
  w.log.pendingError = 0;
  w.log.peekError = 10040;  // longer than the peek: fine
  w.log.readSize = 20;
  w.OnSocketReceive(0);
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(w.events.receives, 1);
  w.log.peekError = 10055;
  const int removedBefore = w.log.removed;
  w.OnSocketReceive(0);
  EXPECT_EQ(errors, (std::vector<std::int32_t>{10055}));
  EXPECT_EQ(w.log.removed, removedBefore + 1);  // the failed datagram is taken off
  EXPECT_EQ(w.events.receives, 1);
}

TEST(VelkorControl, BroadcastOptionFollowsDestIpAndRunModeGatesAccess) {
  WatchedVelkor w;
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
  EXPECT_EQ(get(w, "Input"), Variant(""));
  EXPECT_EQ(call(w, "OutputIndividually", individually("x")), Variant(true));
  EXPECT_EQ(w.log.hosts.size(), 3u);
  w.ambientPropertiesChanged();
  EXPECT_FALSE(getBool(w, "PortOpen"));
  put(w, "PortOpen", true);  // ignored outside run mode
  EXPECT_FALSE(getBool(w, "PortOpen"));
  EXPECT_TRUE(w.events.errors.empty());
}

TEST(VelkorControl, HandlersMayCloseThePortOrDestroyTheControl) {
  Rig rig;
  rig.open();
  auto& c = *rig.control;
  rig.events.onReceiveHandler = [&] {
    get(c, "InputB");
    put(c, "PortOpen", false);
  };
  ASSERT_TRUE(rig.deliver(reply("bye")));
  settle();
  EXPECT_FALSE(getBool(c, "PortOpen"));
  rig.events.onReceiveHandler = nullptr;
  rig.open();
  ASSERT_TRUE(rig.deliver(reply("again")));

  // Inside an error event: the sanitizer build catches any use after the handler.
  auto owner = std::make_shared<WatchedVelkor>();
  WatchedVelkor* raw = owner.get();
  pa::FunctionEventSink sink([&](pa::DispId, std::span<const Variant>) { owner.reset(); });
  raw->advise(&sink);
  put(*raw, "DestIp", "127.0.0.1");
  put(*raw, "PortOpen", true);
  raw->OnSocketReceive(10054);
  EXPECT_EQ(owner, nullptr);
}
