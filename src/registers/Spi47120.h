#pragma once

#include <cstdint>

#include "core/Analyzer.h"
#include "registers/ChipSleep.h"
#include "registers/Reg47120.h"
#include "transport/parallel/ParallelSpi.h"
#include "transport/usb/UsbSpiDrivers.h"

namespace velk {

// What one register read gave, kept by whoever needs it after the next read.
struct RegisterReading {
  int16_t slot = 0;
  int32_t word = 0;    // the raw 16-bit word
  int32_t field = 0;   // the code: masked to the field, sign-extended when signed
  float value = 0.0f;  // field x scale + offset
  float scale = 0.0f;  // the value of one count the value was made with
  float offset = 0.0f;
  bool newData = false;     // only for slots with a new-data flag
  bool errorAlarm = false;  // only for slots with an error/alarm flag
};

// Module Spi47120: the only road to the sensor. Registers are named by slot; the transport
// is chosen afresh on every call from InterfaceType. Results stay in the public members
// until the next read, as the last reading.
class Spi47120 {
 public:
  Spi47120(const Analyzer& config, const Reg47120& table, ParallelSpi& parallel, UsbSpiDrivers& usb,
           ChipSleep* sleep = nullptr)
      : config_(config), table_(table), parallel_(parallel), usb_(usb), sleep_(sleep) {}

  int32_t RegData = 0;        // decoded value: masked, sign-extended when signed
  float RegValue = 0.0f;      // RegData x RegScale + RegOffset
  int16_t RegHighByte = 0;    // bits 15..8 of the raw word
  int16_t RegLowByte = 0;     // bits 7..0 of the raw word
  int32_t NewDataBit = 0;     // raw AND 0x8000, for slots with a new-data flag
  int32_t ErrorAlarmBit = 0;  // raw AND 0x4000, for slots with an error/alarm flag

  // Slots outside 0..65 and unreadable slots are refused without any effect (an empty reading).
  RegisterReading ReadRegister(int16_t slot);
  // False when nothing was sent: a slot outside the table, or a chip asleep after a power-down
  // (refused through the watch). A write to Pwr_Mde starts the watch's sleep.
  bool WriteRegister(int16_t slot, int32_t value);
  // Writes sent so far and the slot of the last: a live analysis of the rate starts anew
  // when the chip was set in between.
  uint64_t Writes() const { return writes_; }
  int16_t LastWrittenSlot() const { return lastWritten_; }

  // Two write commands back to back.
  void SpiWrite(int32_t address1, int32_t data1, int32_t address2, int32_t data2);
  // The word the sensor answers to a read command for address; 0 with no interface.
  int32_t SpiRead(int32_t address);

 private:
  void SpiWriteByte(int32_t address, int32_t data);

  const Analyzer& config_;
  const Reg47120& table_;
  ParallelSpi& parallel_;
  UsbSpiDrivers& usb_;
  ChipSleep* sleep_;
  uint64_t writes_ = 0;
  int16_t lastWritten_ = 0;
};

}  // namespace velk
