#pragma once

#include "transport/usb/EzUsbDriver.h"

namespace velk {

// No EZ-USB driver at all: every open fails, so the board search finds nothing.
class AbsentEzUsbDriver final : public EzUsbDriver {
 public:
  int32_t Open(const std::string&) override { return 0; }
  int32_t DeviceIoControl(int32_t, uint32_t, const uint8_t*, uint32_t, uint8_t*, uint32_t,
                          uint32_t& bytesReturned) override {
    bytesReturned = 0;
    return 0;
  }
  void Close(int32_t) override {}
  uint32_t LastError() const override { return 2; }  // no such device
};

}  // namespace velk
