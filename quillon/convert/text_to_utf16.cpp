// Build-time helper: a UTF-8 text file as the configuration tool's product definitions are
// stored, UTF-16 little-endian with a byte-order mark and CR LF line ends.
// usage: text_to_utf16 <input.xml> <output.pdn>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "quillon/convert/utf16_text.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <input> <output>\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::string lines;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') lines += '\r';
    lines += c;
  }
  const std::string bytes = quillon::Utf8ToUtf16LeWithMark(lines);
  const std::filesystem::path partial = std::string(argv[2]) + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", partial.c_str());
      return 1;
    }
  }
  std::filesystem::rename(partial, argv[2]);
  return 0;
}
