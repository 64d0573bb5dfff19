// drivesim: a simulated drive on loopback for trying the program and for the tests.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <sstream>
#include <string>

#include "drivesim/lzh_store.h"
#include "drivesim/simulated_drive.h"

namespace {

const char* kUsage =
    "Usage: drivesim [--address ADDR] [--port N] [--type TYPE] [--level N] [--minor N] [options]\n"
    "\n"
    "A simulated drive: answers every command of the drive vocabulary from one generated drive,\n"
    "each reply to the address and port its request came from. Stops on SIGINT or SIGTERM.\n"
    "\n"
    "  --address ADDR        listen address (default 127.0.0.1): inside 127.0.0.0/8 only, but\n"
    "                        any address in a network namespace other than the machine's own\n"
    "                        (a test's plant; 0.0.0.0 also hears broadcasts)\n"
    "  --port N              UDP port (default 22359; 0: any free port, printed at start)\n"
    "  --type TYPE           drive type name (default RX-Fenn)\n"
    "  --level N             interface level 0-9; 6 or more: the 32-bit request set (default 6)\n"
    "  --minor N             interface minor 0-999 (default 2)\n"
    "  --soft-version TEXT   firmware version, 8 characters (default SIM01.00, the version whose\n"
    "                        drive database the build makes; another one gives CSV sets)\n"
    "  --banks LIST          recorded banks 0-7, comma-separated, or \"none\" (default 0,2,5)\n"
    "  --setting WORD=VALUE  the 16-bit word at byte address WORD of the drive's memory (0x...\n"
    "                        or decimal, even) holds VALUE (-32768 to 65535, or 0x...);\n"
    "                        repeatable. ACC_TIME1 of RX-Fenn is 0x24059000 (high) and\n"
    "                        0x24059002 (low word)\n"
    "  --event-count N=VALUE event counter N (1-15) counts VALUE; repeatable\n"
    "  --archive FILE        the drive's stored database archive (\"FB\"/\"FR\"); without it the\n"
    "                        drive reports an erased area\n"
    "  --archive-member NAME[=FILE]\n"
    "                        instead of --archive: a stored archive of these members, in the\n"
    "                        order given, each named exactly NAME (\"TRBSAVE/x.csv\", \"../x\", a\n"
    "                        name twice ...), with FILE's bytes or a line of text; repeatable\n"
    "  --codepage NAME       code page the drive sends its texts in (default windows-1252;\n"
    "                        with --japanese CP932)\n"
    "  --japanese            a Japanese plant's texts: a panel name whose halves split a\n"
    "                        double-byte character, order numbers in kanji and full-width\n"
    "                        letters\n"
    "  --panel-name TEXT     the panel name (UTF-8, sent in the code page)\n"
    "  --new-fault-after SECONDS\n"
    "                        record a new fault SECONDS after the start and again every SECONDS:\n"
    "                        the first empty bank (or the oldest) gets a new time stamp and a\n"
    "                        new fault list; a line says which bank\n"
    "  --rio-msb-first       RIO header fields most significant byte first\n"
    "  --v27-msb-first       V27 header fields most significant byte first\n"
    "\n"
    "Misbehaviour:\n"
    "  --nak-command CMD     refuse every request of command CMD (letters, e.g. MX2)\n"
    "  --nak-request N       refuse the N-th datagram received (1 = first, re-sends counted)\n"
    "  --nak-code N          tool error code of these refusals (0-255, default 31)\n"
    "  --silent              never answer\n"
    "  --silent-first K      leave the first K datagrams unanswered\n"
    "  --silent-after K      answer the first K datagrams, then fall silent\n"
    "  --delay MS            wait MS milliseconds before each reply\n"
    "  --short CMD           cut the replies of CMD (\"*\": all) to half their length\n"
    "  --non-hex CMD         text replies of CMD (\"*\": all) with G for every hex digit\n"
    "  --oversized-layout    group layout whose signal counts add up to more than 255\n"
    "  --status-byte N       positive replies start with byte N (0-255) instead of 06\n"
    "  --header-only CMD     replies of CMD (\"*\": all) without payload: the 20-byte header\n"
    "  --header-bytes N      with --header-only, cut that header to N bytes (10-20)\n"
    "  --answer-after-resend K\n"
    "                        answer a request only once its K-th re-send has come in, and then\n"
    "                        to the port its first sending came from; re-sends get no reply\n"
    "  --help                this text\n";

std::optional<int> number(const std::string& text, int low, int high) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < low || v > high) return std::nullopt;
  return static_cast<int>(v);
}

std::optional<std::vector<int>> bankList(const std::string& text) {
  std::vector<int> banks;
  if (text == "none") return banks;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    const auto bank = number(item, 0, drivesim::kBankCount - 1);
    if (!bank) return std::nullopt;
    banks.push_back(*bank);
  }
  return banks;
}

// Decimal, or hexadecimal after "0x".
std::optional<long long> wholeNumber(const std::string& text, long long low, long long high) {
  const bool hex = text.size() > 2 && (text.starts_with("0x") || text.starts_with("0X"));
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < low || v > high) return std::nullopt;
  return v;
}

// NAME=VALUE with both parts whole numbers in their ranges.
std::optional<std::pair<long long, long long>> numberPair(const std::string& text, long long lowKey, long long highKey,
                                                           long long lowValue, long long highValue) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos) return std::nullopt;
  const auto key = wholeNumber(text.substr(0, equals), lowKey, highKey);
  const auto value = wholeNumber(text.substr(equals + 1), lowValue, highValue);
  if (!key || !value) return std::nullopt;
  return std::make_pair(*key, *value);
}

std::optional<std::vector<std::uint8_t>> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// NAME=FILE, or NAME alone with a short text of its own.
std::optional<drivesim::LzhMember> archiveMember(const std::string& argument, std::size_t index) {
  const std::size_t equals = argument.find('=');
  drivesim::LzhMember member{argument.substr(0, equals), {}};
  if (equals == std::string::npos) {
    const std::string text = "member " + std::to_string(index) + " of the simulated drive's archive\r\n";
    member.data.assign(text.begin(), text.end());
    return member;
  }
  auto bytes = fileBytes(argument.substr(equals + 1));
  if (!bytes) return std::nullopt;
  member.data = std::move(*bytes);
  return member;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "drivesim: %s\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  drivesim::DriveOptions drive;
  drivesim::Misbehaviour misbehaviour;
  drivesim::DriveEndpoint endpoint;
  endpoint.port = drivesim::kDefaultPort;
  std::vector<drivesim::LzhMember> members;
  bool japanese = false;
  int newFaultSeconds = 0;
  std::optional<std::string> codePage, panelName;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string(argv[++i]);
    };
    auto numberValue = [&](int low, int high) -> std::optional<int> {
      const auto v = value();
      return v ? number(*v, low, high) : std::nullopt;
    };
    std::optional<int> n;
    std::optional<std::string> text;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--address" && (text = value())) {
      endpoint.address = *text;
    } else if (arg == "--port" && (n = numberValue(0, 65535))) {
      endpoint.port = static_cast<std::uint16_t>(*n);
    } else if (arg == "--type" && (text = value())) {
      drive.driveType = *text;
    } else if (arg == "--level" && (n = numberValue(0, 9))) {
      drive.interfaceLevel = *n;
    } else if (arg == "--minor" && (n = numberValue(0, 999))) {
      drive.interfaceMinor = *n;
    } else if (arg == "--soft-version" && (text = value())) {
      if (text->size() != 8) return fail("--soft-version wants 8 characters, e.g. SIM02.00");
      drive.softVersion = *text;
    } else if (arg == "--banks" && (text = value())) {
      const auto banks = bankList(*text);
      if (!banks) return fail("--banks wants bank numbers 0-7 separated by commas, or none");
      drive.recordedBanks = *banks;
    } else if (arg == "--setting" && (text = value())) {
      const auto word = numberPair(*text, 0, 0xFFFFFFFFLL, -32768, 65535);
      if (!word || word->first % 2 != 0)
        return fail("--setting wants WORD=VALUE: an even byte address and a 16-bit value, e.g. 0x24059002=120");
      drive.recordOverrides.memoryWords[word->first] = static_cast<std::int16_t>(static_cast<std::uint16_t>(word->second));
    } else if (arg == "--event-count" && (text = value())) {
      const auto count = numberPair(*text, 1, 15, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max());
      if (!count) return fail("--event-count wants N=VALUE: a counter 1-15 and a 32-bit count, e.g. 3=5200");
      drive.recordOverrides.eventCounts[static_cast<int>(count->first)] = static_cast<std::int32_t>(count->second);
    } else if (arg == "--archive" && (text = value())) {
      auto bytes = fileBytes(*text);
      if (!bytes) return fail("cannot read the archive " + *text);
      drive.archive = std::move(*bytes);
    } else if (arg == "--archive-member" && (text = value())) {
      auto member = archiveMember(*text, members.size() + 1);
      if (!member) return fail("cannot read the file of the archive member " + *text);
      members.push_back(std::move(*member));
    } else if (arg == "--codepage" && (text = value())) {
      codePage = *text;
    } else if (arg == "--japanese") {
      japanese = true;
    } else if (arg == "--panel-name" && (text = value())) {
      panelName = *text;
    } else if (arg == "--new-fault-after" && (n = numberValue(1, 86400 * 365))) {
      newFaultSeconds = *n;
    } else if (arg == "--rio-msb-first") {
      endpoint.orders.rioMsbFirst = true;
    } else if (arg == "--v27-msb-first") {
      endpoint.orders.v27MsbFirst = true;
    } else if (arg == "--nak-command" && (text = value())) {
      misbehaviour.nakCommand = *text;
    } else if (arg == "--nak-request" && (n = numberValue(1, 1 << 30))) {
      misbehaviour.nakRequestNumber = *n;
    } else if (arg == "--nak-code" && (n = numberValue(0, 255))) {
      misbehaviour.nakCode = static_cast<std::uint8_t>(*n);
    } else if (arg == "--silent") {
      misbehaviour.silent = true;
    } else if (arg == "--silent-first" && (n = numberValue(0, 1 << 30))) {
      misbehaviour.silentFirst = *n;
    } else if (arg == "--silent-after" && (n = numberValue(1, 1 << 30))) {
      misbehaviour.silentAfter = *n;
    } else if (arg == "--delay" && (n = numberValue(0, 600000))) {
      misbehaviour.delayMs = *n;
    } else if (arg == "--short" && (text = value())) {
      misbehaviour.shortCommand = *text;
    } else if (arg == "--non-hex" && (text = value())) {
      misbehaviour.nonHexCommand = *text;
    } else if (arg == "--header-only" && (text = value())) {
      misbehaviour.headerOnlyCommand = *text;
    } else if (arg == "--header-bytes" && (n = numberValue(10, 20))) {
      misbehaviour.headerOnlyBytes = *n;
    } else if (arg == "--answer-after-resend" && (n = numberValue(1, 1 << 30))) {
      misbehaviour.answerAfterResends = *n;
    } else if (arg == "--status-byte" && (n = numberValue(0, 255))) {
      misbehaviour.statusByte = static_cast<std::uint8_t>(*n);
    } else if (arg == "--oversized-layout") {
      misbehaviour.oversizedLayout = true;
    } else {
      return fail("bad or incomplete option " + arg + " (see --help)");
    }
  }

  if (!members.empty()) {
    if (drive.archive) return fail("--archive and --archive-member exclude each other");
    drive.archive = drivesim::StoredLzhArchive(members);
  }
  if (japanese) drive = drivesim::JapaneseDrive(std::move(drive));
  if (codePage) drive.codePage = *codePage;
  if (panelName) drive.panelName = *panelName;
  if (std::string why; !platform::shell::CodePage::Named(drive.codePage, &why)) return fail("--codepage: " + why);

  // Signals are taken by sigwait below, not by handlers.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  drivesim::SimulatedDrive sim(drivesim::DriveProfile(drive), misbehaviour);
  std::string error;
  if (!sim.start(endpoint, error)) return fail(error);
  std::printf("drivesim: %s (interface %s) on %s:%u\n", sim.profile().driveType().c_str(),
              sim.profile().interfaceVersionText().c_str(), endpoint.address.c_str(), sim.port());
  std::fflush(stdout);

  // Waits for a stop signal; with new faults asked for, records one each time the wait runs out.
  const timespec faultPeriod{newFaultSeconds, 0};
  for (;;) {
    const int signal = newFaultSeconds > 0 ? sigtimedwait(&stopSignals, nullptr, &faultPeriod)
                                           : sigwaitinfo(&stopSignals, nullptr);
    if (signal == SIGINT || signal == SIGTERM) break;
    if (signal < 0 && errno == EAGAIN) {
      const int bank = sim.recordNewFault();
      const drivesim::TimeStamp t = drivesim::NewFaultTime(sim.profile().newFaultInBank(bank));
      std::printf("drivesim: new fault recorded in bank %d (%04d/%02d/%02d %02d:%02d:%02d)\n", bank, 2000 + t.year,
                  t.month, t.day, t.hour, t.minute, t.second);
      std::fflush(stdout);
    }
  }
  sim.stop();
  std::printf("drivesim: stopped after %zu requests\n", sim.requestCount());
  return 0;
}
