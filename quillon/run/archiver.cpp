#include "quillon/run/archiver.h"

#include <iostream>

#include "platform/archive/unlha.h"

namespace quillon {
namespace {

// A null window handle and an output buffer of 32767 blanks.
constexpr unsigned long kUnlhaOutputSize = 0x7FFF;

}  // namespace

int RunUnlha(const std::string& command, const platform::shell::CodePage& codePage) {
  std::string output(kUnlhaOutputSize, ' ');
  const int result =
      UnlhaInCodePage(nullptr, command.c_str(), output.data(), kUnlhaOutputSize, codePage.name().c_str());
  if (result != 0) std::cerr << "quillon: archiver: " << output.c_str() << '\n';
  return result;
}

}  // namespace quillon
