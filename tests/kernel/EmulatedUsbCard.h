#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "kernel/IoctlDevice.h"
#include "transport/usb/EzUsbDriver.h"

namespace velk::test {

// A USB SPI card as the kernel's usbfs shows it to libusb: descriptors, a kernel driver bound
// until detached, the claim of interface 0, and URBs. Control URBs answer GET_DESCRIPTOR;
// bulk URBs on the four endpoints (0x01, 0x81, 0x02, 0x86: pipes 0..3) carry their bytes to
// and from `firmware`, the simulated card, so the pipes carry what they carry when simulated.
// Every URB completes within its submit call, to be reaped at once.
class EmulatedUsbCard final : public IoctlDevice {
 public:
  enum class Fault {
    None,
    Gone,          // unplugged: every call fails with ENODEV
    BusyClaim,     // another program holds the interface: the claim fails with EBUSY
    ShortAnswer,   // answers from the card arrive cut to half their length
    SilentAnswer,  // answers from the card never arrive (until the caller gives up)
  };

  // The card that `firmware` answers for under `name`.
  explicit EmulatedUsbCard(EzUsbDriver& firmware, const std::string& name = "Ezusb-0");
  ~EmulatedUsbCard() override;

  uint16_t Vendor() const { return static_cast<uint16_t>(device_[8] | device_[9] << 8); }
  uint16_t Product() const { return static_cast<uint16_t>(device_[10] | device_[11] << 8); }
  // The device descriptor followed by the configuration descriptor, as sysfs lists them.
  std::vector<uint8_t> Descriptors() const;

  void SetFault(Fault fault);
  bool DriverBound() const;
  bool Claimed() const;
  // Submitted and not yet reaped.
  int UrbsInFlight() const;

 private:
  bool Handle(UMockdevIoctlClient* client, unsigned long request, UMockdevIoctlData* arg) override;
  void Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  int Control(const uint8_t* setup, uint8_t* data, int capacity);
  int Bulk(uint8_t endpoint, uint8_t* data, int length);
  void Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void Discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  bool TakeInterface();

  EzUsbDriver& firmware_;
  int32_t handle_;
  std::vector<uint8_t> device_;
  std::vector<uint8_t> config_;
  std::vector<uint8_t> endpoints_;
  Fault fault_ = Fault::None;
  bool driverBound_ = true;
  bool claimed_ = false;
  std::deque<IoctlDataPtr> done_;     // to be reaped, oldest first
  std::vector<IoctlDataPtr> silent_;  // waiting for an answer that does not come
};

}  // namespace velk::test
