#pragma once
// Identity of the Ostrin control and the DISPIDs it adds to the Velkor interface.
#include "platform/automation/dispatch.h"

namespace velkor {

inline constexpr const char* kOstrinClsidText = "{C7D116A8-14A0-11D6-B707-0040CA979388}";
inline constexpr const char* kOstrinProgId = "OSTRIN.OstrinCtrl.1";
inline constexpr const char* kOstrinDispatchIid = "{C7D116A6-14A0-11D6-B707-0040CA979388}";
inline constexpr const char* kOstrinEventsIid = "{C7D116A7-14A0-11D6-B707-0040CA979388}";

// _DOstrin: DISPIDs 1-43 as _DVelkor, then these.
enum OstrinDispId : platform::automation::DispId {
  DISPID_CaptureStart = 44,
  DISPID_CaptureStop = 45,
  DISPID_CaptureCount = 46,
  DISPID_CaptureSelect = 47,
  DISPID_CaptureRelease = 48,
  DISPID_CaptureMode = 49,
  DISPID_MyIpMask = 50,
  DISPID_MyIpMulti = 51,
  DISPID_MyIpMaskMulti = 52,
};

}  // namespace velkor
