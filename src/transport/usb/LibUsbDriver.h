#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "transport/usb/EzUsbDriver.h"
#include "transport/usb/UsbHost.h"

namespace velk {

// The EZ-USB driver over a USB host: the cards with the card vendor id, in bus order, are
// "Ezusb-0", "Ezusb-1", ... An open claims interface 0 of its card; pipe p is the p-th
// endpoint of that interface.
class LibUsbDriver final : public EzUsbDriver {
 public:
  // Over libusb-1.0.
  LibUsbDriver();
  explicit LibUsbDriver(std::unique_ptr<UsbHost> host);
  ~LibUsbDriver() override;
  LibUsbDriver(const LibUsbDriver&) = delete;
  LibUsbDriver& operator=(const LibUsbDriver&) = delete;

  int32_t Open(const std::string& deviceName) override;
  int32_t DeviceIoControl(int32_t handle, uint32_t code, const uint8_t* in, uint32_t inLength,
                          uint8_t* out, uint32_t outCapacity, uint32_t& bytesReturned) override;
  void Close(int32_t handle) override;
  // errno values: ENODEV (no card under that name), EACCES, EBUSY (claimed elsewhere), EIO.
  uint32_t LastError() const override { return lastError_; }
  // About the last card an open reached but could not use. An open that finds no card under
  // its name leaves it alone while other cards are attached, so a board search that ends on
  // empty names still reports the card it could not open.
  std::string Advice() const override { return advice_; }
  std::string Place(const std::string& deviceName) override;
  // Cards with the card vendor id, through the host's hot-plug events.
  UsbArrival AwaitArrival(double seconds) override;

 private:
  struct OpenCard {
    std::unique_ptr<UsbDevice> device;
    std::vector<UsbEndpoint> endpoints;
    uint16_t language = 0;  // for string descriptors; 0 until first needed
  };

  std::vector<UsbDeviceEntry> Cards();
  int32_t Refuse(UsbStatus status);
  OpenCard* Find(int32_t handle);
  bool ReadString(OpenCard& card, uint8_t index, uint8_t* out, uint32_t capacity,
                  uint32_t& bytesReturned);
  bool Transfer(OpenCard& card, uint32_t pipe, uint8_t* out, uint32_t capacity,
                uint32_t& bytesReturned);

  std::unique_ptr<UsbHost> host_;
  std::map<int32_t, OpenCard> open_;
  int32_t nextHandle_ = 1;
  uint32_t lastError_ = 0;
  std::string advice_;
};

}  // namespace velk
