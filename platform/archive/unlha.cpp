#include "platform/archive/unlha.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/archive/lzh_reader.h"
#include "platform/archive/lzh_writer.h"

namespace platform::archive {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kAllFiles = "*.*";

// Blank-separated words; a quoted part keeps its blanks, and text right after a closing quote
// (the "\" behind the folder) belongs to the same word.
bool SplitWords(const std::string& text, std::vector<std::string>& words, std::vector<bool>& quoted) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    std::string word;
    bool wasQuoted = false;
    while (i < text.size() && text[i] != ' ') {
      if (text[i] != '"') {
        word += text[i++];
        continue;
      }
      const std::size_t close = text.find('"', i + 1);
      if (close == std::string::npos) return false;
      word.append(text, i + 1, close - i - 1);
      wasQuoted = true;
      i = close + 1;
    }
    words.push_back(std::move(word));
    quoted.push_back(wasQuoted);
  }
  return true;
}

std::string WithoutTrailingSeparator(std::string path) {
  if (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

void WriteOutput(const std::string& text, char* output, unsigned long size) {
  if (!output || size == 0) return;
  const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
  std::memcpy(output, text.data(), n);
  output[n] = '\0';
}

int Pack(const UnlhaCommand& command, const std::string& codePage, std::string& message) {
  PackedFolder packed;
  if (!WriteLzhArchive(command.archive, command.folder, packed, message, codePage)) return kUnlhaPackFailed;
  message = "packed " + std::to_string(packed.files.size()) + " files into " + command.archive;
  if (!command.deleteAfterPacking) return kUnlhaDone;
  std::size_t kept = 0;
  for (const fs::path& file : packed.files) {
    std::error_code ec;
    if (!fs::remove(file, ec) || ec) ++kept;
  }
  if (kept == 0) return kUnlhaDone;
  message += "; " + std::to_string(kept) + " packed files could not be deleted";
  return kUnlhaNotAllDeleted;
}

int Extract(const UnlhaCommand& command, const std::string& codePage, std::string& message) {
  std::error_code ec;
  if (!fs::is_directory(command.folder, ec)) {
    message = "the folder " + command.folder + " does not exist";
    return kUnlhaExtractFailed;
  }
  ExtractPolicy policy;
  policy.nameCodePage = codePage;
  if (const std::string why = ExtractArchiveFile(command.archive, command.folder, policy); !why.empty()) {
    message = "the archive " + command.archive + " was not extracted: " + why;
    return kUnlhaExtractFailed;
  }
  message = "extracted " + command.archive + " into " + command.folder;
  return kUnlhaDone;
}

}  // namespace

bool ParseUnlhaCommand(const std::string& text, UnlhaCommand& command, std::string& error) {
  std::vector<std::string> words;
  std::vector<bool> quoted;
  command = {};
  if (!SplitWords(text, words, quoted) || words.size() < 3 || !quoted[1] || !quoted[2] ||
      (words[0] != "a" && words[0] != "e")) {
    error = "unknown archiver command: " + text;
    return false;
  }
  command.action = words[0][0];
  command.archive = words[1];
  command.folder = WithoutTrailingSeparator(words[2]);
  for (std::size_t i = 3; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "-n1" || word == "-gm1") continue;
    if (command.action == 'a' && word == kAllFiles) continue;
    if (command.action == 'a' && word == "-d") {
      command.deleteAfterPacking = true;
      continue;
    }
    error = "unknown archiver option \"" + word + "\" in: " + text;
    return false;
  }
  if (command.archive.empty() || command.folder.empty()) {
    error = "the archiver command names no archive or folder: " + text;
    return false;
  }
  return true;
}

}  // namespace platform::archive

int Unlha(void* window, const char* commandText, char* output, unsigned long size) {
  return UnlhaInCodePage(window, commandText, output, size, platform::archive::kDefaultNameCodePage);
}

int UnlhaInCodePage(void* /*window*/, const char* commandText, char* output, unsigned long size, const char* codePage) {
  using namespace platform::archive;
  UnlhaCommand command;
  std::string message;
  int result = kUnlhaBadCommand;
  const std::string names = codePage ? codePage : kDefaultNameCodePage;
  if (!KnownCodePage(names))
    message = "unknown code page for member names: " + names;
  else if (commandText && ParseUnlhaCommand(commandText, command, message))
    result = command.action == 'a' ? Pack(command, names, message) : Extract(command, names, message);
  else if (!commandText)
    message = "no archiver command";
  WriteOutput(message, output, size);
  return result;
}
