#include "quillon/output/record_steps.h"

namespace quillon {

namespace {

void reportWriteFailure(Exchange& exchange, const std::string& error) {
  if (!error.empty()) exchange.state().abortWith(error);
}

}  // namespace

void ReadTroubleRecordsAndWriteFiles(Exchange& exchange, TroubleTables& tables, const SaveFileNames& names) {
  RecordRequests requests(exchange, tables);
  for (int r = 0; r < kTroubleRecordsRead; ++r) {
    std::uint8_t record = static_cast<std::uint8_t>(r);
    requests.ReadTroubleRecord(record);
  }
  requests.ReadEventCounts1();
  requests.ReadEventCounts2();
  for (int g = 0; g < kEventTimeGroups; ++g) {
    std::uint8_t group = static_cast<std::uint8_t>(g);
    requests.ReadEventTimes(group);
  }
  reportWriteFailure(exchange, WriteTroubleFiles(names, tables));
}

void ReadSetpointMemoryFor(Exchange& exchange, MemoryTables& tables, int interfaceLevel) {
  MemoryRequests requests(exchange, tables);
  if (interfaceLevel < kInterfaceLevel32Bit) requests.ReadSetpointMemory16();
  else requests.ReadSetpointMemory32();
}

void WriteSetpointAndEventLogFiles(Exchange& exchange, MemoryTables& tables, const SaveFileNames& names,
                                   int interfaceLevel, std::string_view driveType) {
  reportWriteFailure(exchange, WriteSetpointFile(names, tables));
  if (!driveHasEventLog(interfaceLevel, driveType)) return;
  MemoryRequests(exchange, tables).ReadEventLogMemory();
  reportWriteFailure(exchange, WriteEventLogFile(names, tables));
}

void ReadDriveStatusAndWriteFile(Exchange& exchange, DriveStatusTable& table, const SaveFileNames& names,
                                 const std::string& interfaceVersionText, ProgramVersion version) {
  StatusRequests requests(exchange, table);
  requests.ReadDriveClock();
  requests.ReadSseqOutputs();
  requests.ReadPrCodes();
  reportWriteFailure(exchange, WriteDriveStatusFile(names, table, interfaceVersionText, version));
}

}  // namespace quillon
