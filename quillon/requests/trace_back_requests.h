#pragma once
// The trace-back requests: group layout and per-bank group values ("MX1", "MX2", "MX3"),
// signal addresses ("MZ1", "Mz1", "mz1"), samples ("MZ2", "Mz2", "mzx"), and the bank's time,
// fault lists and version ("MY1", "MY51", "MY52", "MV"). With the run aborted they send nothing
// and change nothing; a malformed reply ends the run with a message and nothing of it is kept.
#include <cstdint>
#include <string>

#include "quillon/requests/exchange.h"
#include "quillon/requests/progress.h"
#include "quillon/requests/trace_back_tables.h"

namespace quillon {

inline constexpr int kMaxBlockNumber = 0xFF;  // block numbers travel as two hex digits
inline constexpr int kMaxSignalCount = 0xFF;  // `SignalsPerBank` is one byte

class GroupRequests {
 public:
  GroupRequests(Exchange& exchange, TraceBackTables& tables) : exchange_(exchange), tables_(tables) {}

  // Ends the run, storing nothing, when the signal counts add up to more than 255.
  void ReadGroupLayout();                        // "MX1"
  void ReadGroupSampling(std::uint8_t& bank);    // "MX2" + bank
  void ReadGroupFaultIndex(std::uint8_t& bank);  // "MX3" + bank

 private:
  Exchange& exchange_;
  TraceBackTables& tables_;
};

class SignalAddressRequests {
 public:
  SignalAddressRequests(Exchange& exchange, TraceBackTables& tables) : exchange_(exchange), tables_(tables) {}

  void ReadSignalAddresses16(std::uint8_t& bank);      // "MZ1", text, 8 per block
  void ReadSignalAddresses32(std::uint8_t& bank);      // "Mz1", binary, 8 per block
  void ReadSignalAddresses32Wide(std::uint8_t& bank);  // "mz1", binary, 32 per block

 private:
  enum class Form { Text16, Binary32 };
  void readAddresses(std::uint8_t bank, const char* command, Form form, int perBlock);

  Exchange& exchange_;
  TraceBackTables& tables_;
};

class SampleRequests {
 public:
  SampleRequests(Exchange& exchange, TraceBackTables& tables, ProgressBar& progress)
      : exchange_(exchange), tables_(tables), progress_(progress) {}

  // `validBankCount` scales the progress bar. Before the first request each checks that every
  // signal's blocks can be numbered in two hex digits, and otherwise ends the run.
  void ReadBankSamples16(std::uint8_t& bank, int validBankCount);      // "MZ2", 31 x 16-bit per block
  void ReadBankSamples32(std::uint8_t& bank, int validBankCount);      // "Mz2", 15 x 32-bit per block
  void ReadBankSamples32Wide(std::uint8_t& bank, int validBankCount);  // "mzx", 61 x 32-bit per block

  struct Variant;  // letters, samples per block, sample width, depth rule

 private:
  void readSamples(std::uint8_t bank, int validBankCount, const Variant& variant);
  int depthOfSignal(const Variant& variant, int signal) const;
  std::string layoutProblem(const Variant& variant) const;
  bool readSignal(std::uint8_t bank, int signal, int depth, int validBankCount, const Variant& variant);

  Exchange& exchange_;
  TraceBackTables& tables_;
  ProgressBar& progress_;
};

class BankRecordRequests {
 public:
  BankRecordRequests(Exchange& exchange, TraceBackTables& tables) : exchange_(exchange), tables_(tables) {}

  void ReadBankTime(std::uint8_t& bank);     // "MY1" + bank
  void ReadBankFaults1(std::uint8_t& bank);  // "MY51" + bank: entries 1-15
  void ReadBankFaults2(std::uint8_t& bank);  // "MY52" + bank: entries 16-30
  void ReadBankVersion(std::uint8_t& bank);  // "MV" + bank

 private:
  void readFaults(std::uint8_t bank, const char* command, int firstEntry);
  bool bankInTables(std::uint8_t bank, std::size_t rows, const char* command);

  Exchange& exchange_;
  TraceBackTables& tables_;
};

// Blocks a signal of `depth` samples needs with `perBlock` per block: depth div n + 1.
int BlockCount(int depth, int perBlock);

}  // namespace quillon
