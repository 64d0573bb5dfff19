// Makes the database archive the simulated drive stores: an LZH archive of the given files,
// written out as a C++ source that defines drivesim::StoredDatabaseArchive().
//
//   make_stored_archive OUTPUT.cpp NAME=FILE [NAME=utf16:FILE]...
//
// "utf16:" stores a UTF-8 text file as UTF-16 little-endian with a byte-order mark and CR LF
// line ends, the form product definition files have.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "drivesim/lzh_store.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::optional<Bytes> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void putUnit(Bytes& out, std::uint32_t unit) {
  out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

// UTF-8 to UTF-16LE with a byte-order mark; LF (or CR LF) becomes CR LF.
std::optional<Bytes> utf16Text(const Bytes& utf8) {
  Bytes out;
  putUnit(out, 0xFEFF);
  for (std::size_t i = 0; i < utf8.size();) {
    const std::uint8_t lead = utf8[i];
    int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= utf8.size()) return std::nullopt;
    std::uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const std::uint8_t next = utf8[i + static_cast<std::size_t>(k)];
      if ((next & 0xC0) != 0x80) return std::nullopt;
      code = code << 6 | (next & 0x3F);
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (code == '\r') continue;
    if (code == '\n') putUnit(out, '\r');
    if (code >= 0x10000) {
      code -= 0x10000;
      putUnit(out, 0xD800 | (code >> 10));
      putUnit(out, 0xDC00 | (code & 0x3FF));
    } else {
      putUnit(out, code);
    }
  }
  return out;
}

std::string sourceText(const Bytes& archive) {
  std::string text =
      "// Made by make_stored_archive when the tree is built; do not edit.\n"
      "#include \"drivesim/drive_profile.h\"\n\n"
      "namespace drivesim {\nnamespace {\nconstexpr std::uint8_t kArchive[] = {";
  char number[8];
  for (std::size_t i = 0; i < archive.size(); ++i) {
    if (i % 16 == 0) text += "\n ";
    std::snprintf(number, sizeof number, " %u,", static_cast<unsigned>(archive[i]));
    text += number;
  }
  text +=
      "\n};\n}  // namespace\n\n"
      "std::vector<std::uint8_t> StoredDatabaseArchive() { return {std::begin(kArchive), std::end(kArchive)}; }\n\n"
      "}  // namespace drivesim\n";
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: make_stored_archive OUTPUT.cpp NAME=FILE [NAME=utf16:FILE]...\n";
    return 64;
  }
  std::vector<drivesim::LzhMember> members;
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    const std::size_t equals = argument.find('=');
    if (equals == std::string::npos || equals == 0) {
      std::cerr << "make_stored_archive: " << argument << " is not NAME=FILE\n";
      return 64;
    }
    std::string path = argument.substr(equals + 1);
    const bool asUtf16 = path.rfind("utf16:", 0) == 0;
    if (asUtf16) path = path.substr(6);
    std::optional<Bytes> data = readFile(path);
    if (data && asUtf16) data = utf16Text(*data);
    if (!data) {
      std::cerr << "make_stored_archive: cannot read " << path << (asUtf16 ? " as UTF-8 text" : "") << "\n";
      return 1;
    }
    members.push_back({argument.substr(0, equals), std::move(*data)});
  }
  const std::string output = argv[1];
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out << sourceText(drivesim::StoredLzhArchive(members));
  out.close();
  if (!out) {
    std::cerr << "make_stored_archive: cannot write " << output << "\n";
    return 1;
  }
  return 0;
}
