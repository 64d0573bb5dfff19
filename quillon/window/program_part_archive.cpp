// The archiver as the save run and the database download call it: a null window handle and
// an output buffer of 32767 blanks. What the archiver says of a failure goes to the terminal.
#include <iostream>
#include <string>

#include "platform/archive/unlha.h"
#include "quillon/window/program_parts.h"

namespace quillon {

namespace {
constexpr unsigned long kUnlhaOutputSize = 0x7FFF;
}

int RunUnlha(const std::string& command) {
  std::string output(kUnlhaOutputSize, ' ');
  const int result = Unlha(nullptr, command.c_str(), output.data(), kUnlhaOutputSize);
  if (result != 0) std::cerr << "quillon: archiver: " << output.c_str() << '\n';
  return result;
}

}  // namespace quillon
