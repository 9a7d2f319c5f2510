#include "registers/Spi47120.h"

#include <algorithm>

#include "core/Delay.h"

namespace velk {

namespace {

constexpr int32_t WriteCommand(int32_t address, int32_t data) {
  return 0x8000 + (address & 0x7F) * 256 + (data & 0xFF);
}

bool InTable(int16_t slot) {
  return slot >= 0 && slot < kRegisterSlots;
}

}  // namespace

RegisterReading Spi47120::ReadRegister(int16_t slot) {
  RegisterReading r;
  if (!InTable(slot) || table_.RegReadable[slot] == 0) return r;

  r.slot = slot;
  r.word = SpiRead(table_.RegAddr[slot]) & 0xFFFF;
  r.newData = table_.RegHasNewData[slot] != 0 && (r.word & 0x8000) != 0;
  r.errorAlarm = table_.RegHasErrorAlarm[slot] != 0 && (r.word & 0x4000) != 0;
  // Bits above the field (the flags) are dropped; a signed field has its sign in the top bit.
  const int bits = std::clamp<int>(table_.RegBits[slot], 0, 16);
  if (table_.RegSigned[slot] != 0 && bits > 0) {
    const int32_t sign = 1 << (bits - 1);
    r.field = (r.word & (sign - 1)) - (r.word & sign);
  } else {
    r.field = r.word & ((1 << bits) - 1);
  }
  r.scale = table_.RegScale[slot];
  r.offset = table_.RegOffset[slot];
  r.value = static_cast<float>(r.field) * r.scale + r.offset;

  RegHighByte = static_cast<int16_t>(r.word >> 8);
  RegLowByte = static_cast<int16_t>(r.word & 0xFF);
  // A slot without a flag leaves the last flag as it was.
  if (table_.RegHasNewData[slot] != 0) NewDataBit = r.word & 0x8000;
  if (table_.RegHasErrorAlarm[slot] != 0) ErrorAlarmBit = r.word & 0x4000;
  RegData = r.field;
  RegValue = r.value;
  DelayMs(0.1f);
  return r;
}

bool Spi47120::WriteRegister(int16_t slot, int32_t value) {
  if (!InTable(slot)) return false;
  if (sleep_ != nullptr && sleep_->Asleep()) {
    sleep_->Refuse();
    return false;
  }

  const int32_t a = table_.RegAddr[slot];
  const int32_t high = (value >> 8) & 0xFF;
  const int32_t low = value & 0xFF;
  if (table_.RegBytes[slot] == 1) {
    // A one-byte register takes one frame to its own address; the two-frame write would
    // also hit its neighbour (or address 0, for the last address of the map).
    SpiWriteByte(a, low);
  } else if (slot == slot::KeyCode) {
    // The chip checks the key code on the high byte, so the low byte must already be there.
    SpiWrite(a, low, a + 1, high);
  } else {
    SpiWrite(a + 1, high, a, low);
  }
  if (slot == slot::Pwr_Mde && sleep_ != nullptr) sleep_->Started(value & 0xFF);
  ++writes_;
  lastWritten_ = slot;
  DelayMs(0.1f);
  return true;
}

void Spi47120::SpiWrite(int32_t address1, int32_t data1, int32_t address2, int32_t data2) {
  const int32_t word1 = WriteCommand(address1, data1);
  const int32_t word2 = WriteCommand(address2, data2);
  if (config_.InterfaceType == interface_type::kParallelPort) {
    parallel_.ParallelWriteWord(word1);
    parallel_.ParallelWriteWord(word2);
  } else if (config_.InterfaceType == interface_type::kUsbCard) {
    usb_.SpiWriteData[1] = word1;
    usb_.SpiWriteData[2] = word2;
    usb_.SpiChannel = 1;
    usb_.WriteReadSpi(2);
  }
}

int32_t Spi47120::SpiRead(int32_t address) {
  const int32_t command = (address & 0x7F) * 256;
  if (config_.InterfaceType == interface_type::kParallelPort) {
    return parallel_.ParallelReadWord(static_cast<int16_t>(address & 0x7F));
  }
  if (config_.InterfaceType == interface_type::kUsbCard) {
    // The answer comes during the following frame, so a second frame follows and its word is
    // the register's. The second frame reads address 0, as the parallel port's does: the same
    // command again would latch the register anew and take the new-data flag of a sample that
    // came between the two frames, into an answer the next read throws away.
    usb_.SpiWriteData[1] = command;
    usb_.SpiWriteData[2] = 0;
    usb_.SpiChannel = 1;
    usb_.WriteReadSpi(2);
    return usb_.SpiReadData[2];
  }
  return 0;
}

void Spi47120::SpiWriteByte(int32_t address, int32_t data) {
  const int32_t word = WriteCommand(address, data);
  if (config_.InterfaceType == interface_type::kParallelPort) {
    parallel_.ParallelWriteWord(word);
  } else if (config_.InterfaceType == interface_type::kUsbCard) {
    usb_.SpiWriteData[1] = word;
    usb_.SpiChannel = 1;
    usb_.WriteReadSpi(1);
  }
}

}  // namespace velk
