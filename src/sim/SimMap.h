#pragma once

// Byte addresses and bits of the simulated chip's register map. The simulator keeps its own
// copy: it sits below the register protocol and must not depend on it.
namespace velk::simmap {

inline constexpr int kFlsCyc = 0x00;
inline constexpr int kFirstOutput = 0x02;
inline constexpr int kLastOutput = 0x0E;
inline constexpr int kGyroOfst = 0x14;
inline constexpr int kGyroScale = 0x16;
inline constexpr int kAlmMag1 = 0x20;
inline constexpr int kAlmSmp1 = 0x24;
inline constexpr int kAlmCtrl = 0x28;
inline constexpr int kAuxDac = 0x30;
inline constexpr int kMscCtrl = 0x34;
inline constexpr int kSmplPrd = 0x36;
inline constexpr int kSensAvg = 0x38;
inline constexpr int kPwrMde = 0x3A;
inline constexpr int kStatus = 0x3C;
inline constexpr int kCommand = 0x3E;
inline constexpr int kKeyCodeAddress = 0x50;
inline constexpr int kRevDay = 0x52;
inline constexpr int kMonYear = 0x54;
inline constexpr int kProduct = 0x56;

// Status bits.
inline constexpr int kSupplyLow = 0x001;
inline constexpr int kSupplyHigh = 0x002;
inline constexpr int kControlWrite = 0x004;
inline constexpr int kSpiWrite = 0x008;
inline constexpr int kOverrange = 0x010;
inline constexpr int kDiagError = 0x020;
inline constexpr int kAlarm1 = 0x100;

// Output word flags.
inline constexpr int kNewData = 0x8000;
inline constexpr int kErrorAlarm = 0x4000;

// Command bits.
inline constexpr int kAutoNull = 0x01;
inline constexpr int kRestoreCalibration = 0x02;
inline constexpr int kLatchDac = 0x04;
inline constexpr int kFlashUpdate = 0x08;
inline constexpr int kSoftwareReset = 0x80;

inline constexpr int kUnityScale = 0x800;

}  // namespace velk::simmap
