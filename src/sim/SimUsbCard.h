#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "sim/SimSensor.h"
#include "sim/SimUsbUnplug.h"
#include "transport/usb/EzUsbDriver.h"

namespace velk {

// The USB SPI card with the sensor on channel 1, seen through the EZ-USB driver. Answers the
// four requests as the driver would and runs the card's command set (0, 1, 11, 12, 13, 14).
// Up to four cards, each on one of the names "Ezusb-0".."Ezusb-3"; faults for tests.
class SimUsbCard final : public EzUsbDriver {
 public:
  enum class Kind { Fifo4, Mcp, OtherProduct, OtherVendor };

  struct Slot {
    bool present = false;
    Kind kind = Kind::Fifo4;
    bool highSpeed = true;  // pipe 3 reports 512 bytes, else 64
    std::string descriptor1 = "USB SPI Card";
    std::string descriptor2 = "FIFO4 SPI Interface";
    uint8_t firmwareMajor = 1;
    uint8_t firmwareMinor = 2;
    bool failStringDescriptor = false;  // string descriptor requests fail
    std::string place;                  // where it sits on the bus; empty: not told
  };

  // With a sensor, a FIFO4 card on "Ezusb-0" carries it; without one, no card is present.
  // With a clock, the cards go away and come back as VELK47120_SIM_USB_UNPLUG says (a value
  // not understood is said on standard error).
  explicit SimUsbCard(SimSensor* sensor = nullptr, const Clock* clock = nullptr);

  Slot& Card(int index) { return slots_.at(static_cast<size_t>(index)); }

  // --- faults ---
  void FailOpen(bool fail) { failOpen_ = fail; }
  // The nth bulk transfer from now (1 = the next) on pipe 0 or pipe 1 fails.
  void FailBulkTransfer(int pipe, int nth);
  // The cards are pulled out: every later open fails, and so does every request on a device
  // that was open.
  void Unplug() { unplugged_ = true; }
  // The same cards plugged back in after Unplug.
  void PlugBackIn() { unplugged_ = false; }
  // Away from window.goneAt seconds after now on the clock until window.backAt, if given.
  void UnplugDuring(const Clock& clock, const UnplugWindow& window);
  // Another chip on channel 1 (nullptr: none), as when a different board is plugged in.
  void Carry(SimSensor* sensor) { sensor_ = sensor; }
  // The card's next answer comes back cut to this many bytes (the rest is lost).
  void CutNextAnswer(uint32_t bytes) { cutAnswer_ = bytes; }

  // --- inspection (recorded only while recording is on, so a long run does not grow) ---
  void Record(bool on) { record_ = on; }
  struct Request {
    uint32_t code;
    std::vector<uint8_t> in;
    uint32_t outCapacity;
    std::vector<uint8_t> outSent;  // bytes sent to the card (bulk transfers on pipe 0)
  };
  std::vector<Request> requests;
  int openHandles() const { return openHandles_; }
  uint8_t WordDelay() const { return wordDelay_; }
  uint8_t StaticBits() const { return staticBits_; }

  // --- EzUsbDriver ---
  int32_t Open(const std::string& deviceName) override;
  int32_t DeviceIoControl(int32_t handle, uint32_t code, const uint8_t* in, uint32_t inLength,
                          uint8_t* out, uint32_t outCapacity, uint32_t& bytesReturned) override;
  void Close(int32_t handle) override;
  uint32_t LastError() const override { return lastError_; }
  std::string Place(const std::string& deviceName) override;

 private:
  struct OpenDevice {
    int32_t handle;
    int slot;
  };

  int SlotOf(int32_t handle) const;
  bool Away() const;
  bool BulkTransfer(int slot, const uint8_t* in, uint32_t inLength, uint8_t* out,
                    uint32_t outCapacity, uint32_t& bytesReturned);
  bool RunCommand(int slot, const uint8_t* bytes, uint32_t length);
  bool TransferWords(const uint8_t* bytes, uint32_t length, bool invert);

  SimSensor* sensor_;
  std::array<Slot, 4> slots_{};
  bool failOpen_ = false;
  bool unplugged_ = false;
  const Clock* unplugClock_ = nullptr;
  double awayFrom_ = 0.0;
  std::optional<double> awayUntil_;
  bool record_ = false;
  int failPipe_ = -1;
  int failCountdown_ = 0;
  std::optional<uint32_t> cutAnswer_;
  int openHandles_ = 0;
  int32_t nextHandle_ = 100;
  std::vector<OpenDevice> open_;  // capacity reserved up front: no allocation per access
  uint32_t lastError_ = 0;
  uint8_t wordDelay_ = 25;
  uint8_t staticBits_ = 0x78;
  std::vector<uint8_t> answer_;  // what the card holds for the next read on pipe 1
};

}  // namespace velk
