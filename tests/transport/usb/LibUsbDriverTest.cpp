#include "transport/usb/LibUsbDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "support/MessageRecorder.h"
#include "transport/usb/LibUsbHost.h"
#include "transport/usb/UsbSpiDrivers.h"

namespace velk {
namespace {

using Bytes = std::vector<uint8_t>;
using Log = std::vector<std::string>;

// A USB device on the fake bus: what it answers, and the calls made on it ("open", "claim",
// "release", "close", "bulk").
struct FakeCard {
  FakeCard(uint8_t bus, Bytes ports, uint8_t address, uint16_t product,
           uint16_t vendor = kCardVendorId)
      : entry{bus, std::move(ports), address, vendor, product} {
    deviceDescriptor[10] = uint8_t(product);
    deviceDescriptor[11] = uint8_t(product >> 8);
  }

  UsbDeviceEntry entry;
  Bytes deviceDescriptor = {18, 1, 0, 2, 0xFF, 0xFF, 0xFF, 64, 0x7A, 0x1E, 0, 0, 1, 0, 1, 2, 0, 1};
  std::map<uint8_t, Bytes> strings;  // index -> raw descriptor
  UsbStatus openStatus = UsbStatus::Ok;
  UsbStatus claimStatus = UsbStatus::Ok;
  bool kernelDriver = false;
  bool gone = false;           // unplugged while open: every call fails with NoDevice
  std::deque<uint8_t> toHost;  // bytes the card offers on its IN endpoints
  UsbStatus bulkStatus = UsbStatus::Ok;

  Bytes fromHost;
  uint16_t lastLanguage = 0;
  unsigned lastTimeout = 0;
  Log calls;
};

class FakeDevice final : public UsbDevice {
 public:
  explicit FakeDevice(FakeCard& card) : card_(card) { card_.calls.push_back("open"); }
  ~FakeDevice() override { card_.calls.push_back("close"); }

  UsbStatus ReadDescriptor(uint8_t type, uint8_t index, uint16_t language, uint8_t* data,
                           int capacity, int& length) override {
    length = 0;
    if (card_.gone) return UsbStatus::NoDevice;
    const Bytes* bytes = &card_.deviceDescriptor;
    if (type == 3) {
      card_.lastLanguage = language;
      if (!card_.strings.contains(index)) return UsbStatus::Failed;  // the device stalls
      bytes = &card_.strings[index];
    }
    length = std::min(capacity, static_cast<int>(bytes->size()));
    std::copy_n(bytes->begin(), length, data);
    return UsbStatus::Ok;
  }
  UsbStatus InterfaceEndpoints(uint8_t, std::vector<UsbEndpoint>& endpoints) override {
    endpoints = {{0x01, 64}, {0x81, 64}, {0x02, 512}, {0x86, 512}};
    return UsbStatus::Ok;
  }
  bool KernelDriverActive(uint8_t) override { return card_.kernelDriver; }
  UsbStatus DetachKernelDriver(uint8_t) override {
    card_.kernelDriver = false;
    return UsbStatus::Ok;
  }
  UsbStatus ClaimInterface(uint8_t) override {
    // Claiming an interface a kernel driver holds fails, as it does on Linux.
    const UsbStatus status = card_.kernelDriver ? UsbStatus::Busy : card_.claimStatus;
    if (status == UsbStatus::Ok) card_.calls.push_back("claim");
    return status;
  }
  UsbStatus ReleaseInterface(uint8_t) override {
    card_.calls.push_back("release");
    return card_.gone ? UsbStatus::NoDevice : UsbStatus::Ok;
  }
  UsbStatus BulkTransfer(uint8_t endpoint, uint8_t* data, int length, unsigned timeoutMs,
                         int& transferred) override {
    transferred = 0;
    card_.calls.push_back("bulk");
    card_.lastTimeout = timeoutMs;
    if (card_.gone) return UsbStatus::NoDevice;
    if (endpoint & 0x80) {
      transferred = std::min(length, static_cast<int>(card_.toHost.size()));
      std::copy_n(card_.toHost.begin(), transferred, data);
      card_.toHost.erase(card_.toHost.begin(), card_.toHost.begin() + transferred);
    } else {
      card_.fromHost.assign(data, data + length);
      transferred = length;
    }
    return card_.bulkStatus;
  }

 private:
  FakeCard& card_;
};

class FakeHost final : public UsbHost {
 public:
  explicit FakeHost(std::vector<FakeCard>& cards) : cards_(cards) {}
  std::vector<UsbDeviceEntry> ListDevices() override {
    std::vector<UsbDeviceEntry> list;
    for (const FakeCard& card : cards_) list.push_back(card.entry);
    return list;
  }
  std::unique_ptr<UsbDevice> Open(const UsbDeviceEntry& wanted, UsbStatus& status) override {
    status = UsbStatus::NoDevice;
    for (FakeCard& card : cards_) {
      if (card.entry.bus != wanted.bus || card.entry.address != wanted.address) continue;
      status = card.openStatus;
      if (status == UsbStatus::Ok) return std::make_unique<FakeDevice>(card);
    }
    return nullptr;
  }

 private:
  std::vector<FakeCard>& cards_;
};

struct Rig {
  explicit Rig(std::vector<FakeCard> attached) : cards(std::move(attached)) {}
  std::vector<FakeCard> cards;
  LibUsbDriver driver{std::make_unique<FakeHost>(cards)};

  int32_t Request(int32_t handle, uint32_t code, Bytes in, uint8_t* out, uint32_t capacity,
                  uint32_t& returned) {
    return driver.DeviceIoControl(handle, code, in.data(), uint32_t(in.size()), out, capacity,
                                  returned);
  }
  uint16_t Product(int32_t handle) {
    uint8_t d[147] = {};
    uint32_t n = 0;
    const bool ok = Request(handle, kIoctlGetDeviceDescriptor, Bytes(147), d, 147, n) != 0;
    return ok && n == 18 ? uint16_t(d[10] | d[11] << 8) : 0;
  }
};

TEST(LibUsbDriver, NamesCardsInBusOrderAndReleasesThemOnClose) {
  Rig rig({FakeCard(2, {1, 4}, 9, 0xA), FakeCard(1, {2}, 3, 0xF, 0x1234), FakeCard(1, {3}, 5, 0xB),
           FakeCard(2, {1, 2}, 12, 0xC)});
  std::vector<int32_t> handles;
  std::vector<uint16_t> products;
  for (const char* name : {"Ezusb-0", "Ezusb-1", "Ezusb-2"})
    products.push_back(rig.Product(handles.emplace_back(rig.driver.Open(name))));
  // Port path, not address, orders the cards on a bus; another vendor's device is no card.
  EXPECT_EQ(products, (std::vector<uint16_t>{0xB, 0xC, 0xA}));
  EXPECT_EQ(rig.driver.Open("Ezusb-3"), 0);
  EXPECT_EQ(rig.driver.LastError(), uint32_t(ENODEV));
  EXPECT_TRUE(rig.cards[1].calls.empty());

  for (int32_t h : handles) rig.driver.Close(h);
  for (int i : {0, 2, 3}) EXPECT_EQ(rig.cards[i].calls, (Log{"open", "claim", "release", "close"}));
  EXPECT_EQ(rig.Product(handles[0]), 0);
}

TEST(LibUsbDriver, PassesDescriptorsPipeTableAndTransfersThrough) {
  FakeCard card(1, {1}, 2, kFifo4ProductId);
  card.strings[0] = {4, 3, 0x07, 0x04};
  card.strings[1] = {8, 3, 'S', 0, 'P', 0, 'I', 0};
  Rig rig({card});
  const int32_t h = rig.driver.Open("Ezusb-0");
  uint8_t s[256] = {};
  uint32_t n = 0;
  ASSERT_NE(rig.Request(h, kIoctlGetStringDescriptor, {1, 0, 0, 0, 27}, s, 4, n), 0);
  EXPECT_EQ(n, 4u);
  ASSERT_NE(rig.Request(h, kIoctlGetStringDescriptor, {1, 0, 0, 0, 27}, s, s[0], n), 0);
  EXPECT_EQ(Bytes(s, s + n), card.strings[1]);
  EXPECT_EQ(rig.cards[0].lastLanguage, 0x0407);  // the device's own language
  EXPECT_EQ(rig.Request(h, kIoctlGetStringDescriptor, {2, 0, 0, 0, 27}, s, 4, n), 0);

  uint8_t block[kPipeInfoSize];
  std::fill(std::begin(block), std::end(block), 0xEE);
  ASSERT_NE(rig.Request(h, kIoctlGetPipeInfo, Bytes(356), block, 356, n), 0);
  EXPECT_EQ(n, kPipeInfoSize);
  EXPECT_EQ(std::count(std::begin(block), std::end(block), 0), kPipeInfoSize - 4);
  EXPECT_EQ(block[16 + 20 * 1], 64);
  EXPECT_EQ(block[16 + 20 * 3] | block[16 + 20 * 3 + 1] << 8, 512);

  FakeCard& bulk = rig.cards[0];
  uint8_t buffer[4] = {0x0B, 0x19, 0x78, 0};
  ASSERT_NE(rig.Request(h, kIoctlBulkTransfer, {0, 0, 0, 0}, buffer, 3, n), 0);
  EXPECT_EQ(bulk.fromHost, Bytes({0x0B, 0x19, 0x78}));
  bulk.toHost = {7};
  EXPECT_NE(rig.Request(h, kIoctlBulkTransfer, {1, 0, 0, 0}, buffer, 2, n), 0);
  EXPECT_EQ(n, 1u);  // a short packet ends the transfer
  EXPECT_EQ(buffer[0], 7);

  bulk.bulkStatus = UsbStatus::Timeout;
  EXPECT_EQ(rig.Request(h, kIoctlBulkTransfer, {0, 0, 0, 0}, buffer, 3, n), 0);
  EXPECT_GT(bulk.lastTimeout, 0u);  // 0 would wait for ever
  bulk.bulkStatus = UsbStatus::Ok;
  const auto calls = bulk.calls.size();
  EXPECT_EQ(rig.Request(h, kIoctlBulkTransfer, {4, 0, 0, 0}, buffer, 1, n), 0);
  EXPECT_EQ(bulk.calls.size(), calls);  // no such pipe: nothing moves

  bulk.gone = true;
  EXPECT_EQ(rig.Request(h, kIoctlBulkTransfer, {1, 0, 0, 0}, buffer, 2, n), 0);
  rig.driver.Close(h);
  EXPECT_EQ(bulk.calls.back(), "close");
}

TEST(LibUsbDriver, TellsAccessDeniedFromNoCard) {
  Rig rig({FakeCard(1, {1}, 2, kFifo4ProductId)});
  FakeCard& card = rig.cards[0];
  card.openStatus = UsbStatus::AccessDenied;
  EXPECT_EQ(rig.driver.Open("Ezusb-0"), 0);
  EXPECT_EQ(rig.driver.LastError(), uint32_t(EACCES));
  EXPECT_NE(rig.driver.Advice().find("60-velk47120.rules"), std::string::npos);
  // The search goes on to names with no card; the advice must outlive them.
  EXPECT_EQ(rig.driver.Open("Ezusb-3"), 0);
  EXPECT_EQ(rig.driver.LastError(), uint32_t(ENODEV));
  EXPECT_FALSE(rig.driver.Advice().empty());
  // So a board search that finds no usable card says why.
  test::MessageRecorder messages;
  EzUsb ezUsb(rig.driver, messages);
  UsbSpiDrivers(ezUsb, messages).FindUsbBuffers();
  EXPECT_NE(messages.shown.at(0).text.find("60-velk47120.rules"), std::string::npos);

  card.openStatus = UsbStatus::Ok;
  card.claimStatus = UsbStatus::Busy;
  EXPECT_EQ(rig.driver.Open("Ezusb-0"), 0);
  EXPECT_EQ(rig.driver.LastError(), uint32_t(EBUSY));
  EXPECT_EQ(card.calls, (Log{"open", "close"}));

  card.claimStatus = UsbStatus::Ok;
  card.kernelDriver = true;
  int32_t h = rig.driver.Open("Ezusb-0");
  EXPECT_GT(h, 0);
  EXPECT_TRUE(rig.driver.Advice().empty());
  rig.driver.Close(h);

  card.openStatus = UsbStatus::AccessDenied;
  rig.driver.Open("Ezusb-0");
  rig.cards.clear();
  EXPECT_EQ(rig.driver.Open("Ezusb-0"), 0);
  EXPECT_TRUE(rig.driver.Advice().empty());  // unplugged: nothing left to advise about
}

TEST(LibUsbDriver, RealBusWithoutCardFailsQuietly) {
  for (const UsbDeviceEntry& device : LibUsbHost().ListDevices())
    if (device.vendor == kCardVendorId) GTEST_SKIP() << "a card is attached";
  LibUsbDriver driver;
  EXPECT_LE(driver.Open("Ezusb-0"), 0);
  EXPECT_EQ(driver.LastError(), uint32_t(ENODEV));
  EXPECT_TRUE(driver.Advice().empty());
}

}  // namespace
}  // namespace velk
