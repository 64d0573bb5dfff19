#pragma once
// Who the drive is: interface version (it chooses the request variants), type, software
// version, order number, panel name and ratings. Texts as the drive sent them; they keep their
// values from one run to the next until overwritten.
#include <cstdint>
#include <string>

namespace quillon {

struct DriveIdentity {
  std::string InterfaceVersionText;  // seven characters of the "QT" reply
  std::int16_t InterfaceLevel = 0;   // 6 or more: the 32-bit request set
  std::int16_t InterfaceMinor = 0;   // above 1: the 32-per-block trace requests are allowed
  std::string DriveType;
  std::string DriveSoftVersion;
  std::string OrderNumber1;
  std::string OrderNumber2;
  std::string PanelName;

  // Ratings, each as text with its unit left to the writer.
  std::string InverterVoltage;   // V
  std::string InverterCurrent;   // A
  std::string InverterCapacity;  // kVA
  std::string MotorOutput;       // kW
  std::string MotorPoles;        // P
  std::string MotorVoltage;      // V
  std::string MotorCurrent;      // A
  std::string MotorFrequency;    // Hz
  std::string MotorSpeed;        // min-1
};

inline constexpr int kWideRequestSetLevel = 6;

}  // namespace quillon
