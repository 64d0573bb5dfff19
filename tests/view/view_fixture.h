#pragma once
// Saves made by the program's own writers for the viewer tests: one bank written as the
// trace-back workbook (with the simulated drive's database) and as the CSV set, in a folder
// laid out as a save folder.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace view_test {

// A folder of its own under the temporary folder, removed at the end.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The bank both forms hold: 4 signals in a layout of 128 samples:
//   group 1: 128 samples, signals 1-2, fault sample 40, sampling 1001
//   group 2:  64 samples, signal 3,    fault sample 20, sampling 2002
//   group 3:  64 samples, no signal,   fault sample 10, sampling 3003
//   group 4:  signal 4, which the save does not record the group of
// Signal 1 is SPD_REF (a percent item of 16384), signal 3 an address the database does not
// know. Sample s of signal i is SampleOf(i, s); signal 1 peaks once, at sample 77.
inline constexpr int kSignals = 4;
inline constexpr int kRows = 128;
inline constexpr int kBank = 3;
inline constexpr int kPeakSample = 77;
inline constexpr std::int32_t kPeak = 50000;
inline constexpr const char* kUnknownAddress = "&H00099990";
std::int32_t SampleOf(int signal, int sample);

// The panel name and order number hold commas, as drive texts may.
inline constexpr const char* kPanelName = "Line, 7";
inline constexpr const char* kOrderNumber = "ORD,1 SN9";
inline constexpr const char* kFaultTime = "2014/03/12  08:15:02";

// Writes the workbook into `appFolder`/TRBSAVE and returns it; fails the test when it cannot.
std::filesystem::path WriteWorkbook(const std::filesystem::path& appFolder);
// Writes the CSV set into `appFolder`/TRBSAVE/TRB_<panel>_<date>_<time> and returns the folder.
std::filesystem::path WriteCsvSet(const std::filesystem::path& appFolder);

// Packs `folder` (kept) into `archive` with the program's archiver.
bool Pack(const std::filesystem::path& folder, const std::filesystem::path& archive);

void WriteText(const std::filesystem::path& file, const std::string& text);
std::string ReadText(const std::filesystem::path& file);
// The lines of a text without their CR LF; a rest without one comes last as "unterminated: ...".
std::vector<std::string> CrlfLines(const std::string& text);
// How often `what` occurs in `text`, overlaps counted.
std::size_t Count(const std::string& text, const std::string& what);

}  // namespace view_test
