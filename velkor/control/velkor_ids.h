#pragma once
// Identity of the Velkor control and the DISPIDs of _DVelkor and _DVelkorEvents.
#include "platform/automation/dispatch.h"
#include "platform/automation/registry.h"

namespace velkor {

inline constexpr const char* kVelkorClsidText = "{14115EC5-13C7-11D5-9B80-000039344F06}";
inline constexpr const char* kVelkorProgId = "VELKOR.VelkorCtrl.1";
inline constexpr const char* kVelkorDispatchIid = "{14115EC3-13C7-11D5-9B80-000039344F06}";
inline constexpr const char* kVelkorEventsIid = "{14115EC4-13C7-11D5-9B80-000039344F06}";
inline constexpr const char* kVelkorTypeLibId = "{14115EC2-13C7-11D5-9B80-000039344F06}";
inline constexpr int kTypeLibMajor = 1, kTypeLibMinor = 4;

// _DVelkor
enum VelkorDispId : platform::automation::DispId {
  DISPID_ReceiveAsRIO = 1,
  DISPID_DestBus = 2,
  DISPID_DestUnit = 3,
  DISPID_DestSlot = 4,
  DISPID_DestStation = 5,
  DISPID_OutV27DA = 6,
  DISPID_OutV27SA = 7,
  DISPID_ByteOrderRIO = 8,
  DISPID_ByteOrderV27 = 9,
  DISPID_LoopBackMode = 10,
  DISPID_SrcIpFilter = 11,
  DISPID_OutPasswordID = 12,
  DISPID_OutSeqNumber = 13,
  DISPID_MyIp = 14,
  DISPID_MyPort = 15,
  DISPID_DestIp = 16,
  DISPID_DestPort = 17,
  DISPID_PortOpen = 18,
  DISPID_Result = 19,
  DISPID_Input = 20,
  DISPID_InBufferCount = 21,
  DISPID_PeekRawInput = 22,
  DISPID_PeekRawInputHex = 23,
  DISPID_Output = 24,
  DISPID_OutBufferCount = 25,
  DISPID_ConfirmRawOutput = 26,
  DISPID_ConfirmRawOutputHex = 27,
  DISPID_InRawCount = 28,
  DISPID_InV27DA = 29,
  DISPID_InV27SA = 30,
  DISPID_InV27FT0 = 31,
  DISPID_InV27LLLH = 32,
  DISPID_InV27PN = 33,
  DISPID_InV27ID = 34,
  DISPID_OutRawCount = 35,
  DISPID_InSrcIp = 36,
  DISPID_InSrcPort = 37,
  DISPID_OutResult = 38,
  DISPID_InputB = 39,
  DISPID_InPasswordID = 40,
  DISPID_InSeqNumber = 41,
  DISPID_OutputIndividually = 42,
  DISPID_OutputIndividually2 = 43,
  // Beyond the original interface: the ANSI code page of Input, Output and the other text
  // members, given by the host (the module keeps no setting of its own). A number clear of
  // _DVelkor's 1-43 and of the 44-52 that _DOstrin adds on top, with room for both to grow.
  DISPID_CodePage = 100,
};

// _DVelkorEvents
enum VelkorEventDispId : platform::automation::DispId {
  DISPID_OnReceive = 1,
  DISPID_OnError = 2,  // one long argument, ErrorCode
};

// Version of the persisted property set (major 1, minor 4).
inline constexpr std::int32_t kPersistedVersion = 0x00010004;

}  // namespace velkor
