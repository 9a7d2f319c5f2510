// The USB card layer against a driver that answers every request from the fuzz input: any
// bytes, any bytes-returned count (short, over-long, beyond the buffer), any failure.
#include <algorithm>
#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "core/Messages.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzTargets.h"
#include "transport/usb/EzUsb.h"
#include "transport/usb/EzUsbDriver.h"
#include "transport/usb/UsbSpiDrivers.h"

namespace {

// The driver's answers are read from the front of the input, the operations from the back;
// both read zeros once they meet.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), front_(0), back_(size) {}
  bool Exhausted() const { return front_ >= back_; }
  uint8_t Front() { return Exhausted() ? 0 : data_[front_++]; }
  uint8_t Back() { return Exhausted() ? 0 : data_[--back_]; }
  uint32_t Front32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | Front();
    return value;
  }

 private:
  const uint8_t* data_;
  size_t front_;
  size_t back_;
};

class Recorder final : public velk::MessageSink {
 public:
  void Show(const std::string& text, const std::string&) override { shown.push_back(text); }
  bool Ask(const std::string& text, const std::string&) override {
    shown.push_back(text);
    return false;
  }
  std::vector<std::string> shown;
};

// Bytes of an answer the driver does not report as returned are set to `poison`: two runs
// with different poison must see the same, so nothing beyond the count is ever used.
class FuzzDriver final : public velk::EzUsbDriver {
 public:
  FuzzDriver(Input& input, uint8_t poison, std::string& log)
      : input_(input), poison_(poison), log_(log) {}

  int32_t Open(const std::string& deviceName) override {
    log_ += "open " + deviceName + "\n";
    ++opens;
    const uint8_t answer = input_.Front();
    if (answer & 0x80) {
      lastError_ = answer;
      return -(answer & 0x7F);  // 0 or an invalid handle
    }
    const int32_t handle = nextHandle_++;
    open_.insert(handle);
    return handle;
  }

  int32_t DeviceIoControl(int32_t handle, uint32_t code, const uint8_t* in, uint32_t inLength,
                          uint8_t* out, uint32_t outCapacity, uint32_t& bytesReturned) override {
    VELK_FUZZ_CHECK(open_.count(handle) == 1);
    ++requests;
    // Every byte the caller hands over is read and every byte it makes room for is written,
    // so a buffer smaller than its stated length shows.
    log_ += "request " + std::to_string(code) + " in ";
    log_.append(reinterpret_cast<const char*>(in), inLength);
    log_ += " capacity " + std::to_string(outCapacity);
    const bool toCard = code == velk::kIoctlBulkTransfer && inLength == 4 && in[0] == 0 &&
                        in[1] == 0 && in[2] == 0 && in[3] == 0;

    const uint8_t mode = input_.Front();
    uint32_t returned = outCapacity;
    switch ((mode >> 1) & 3) {
      case 1:
        returned = input_.Front();  // short, or past the buffer
        break;
      case 2:
        returned = outCapacity + 1 + input_.Front();
        break;
      case 3:
        returned = input_.Front32();
        break;
    }
    if (toCard) {
      log_ += " sent ";
      log_.append(reinterpret_cast<const char*>(out), outCapacity);
    } else {
      const uint32_t filled = std::min(returned, outCapacity);
      for (uint32_t i = 0; i < filled; ++i) out[i] = input_.Front();
      if (poisonAnswers)
        for (uint32_t i = filled; i < outCapacity; ++i) out[i] = poison_;
    }
    log_ += "\n";
    bytesReturned = returned;
    if (mode & 1) return 0;
    return (mode & 0x10) ? -1 : 1;  // success is any nonzero result
  }

  void Close(int32_t handle) override {
    log_ += "close\n";
    VELK_FUZZ_CHECK(open_.erase(handle) == 1);
  }
  uint32_t LastError() const override { return lastError_; }
  std::string Advice() const override { return advice ? "Add the rule." : ""; }

  size_t OpenHandles() const { return open_.size(); }

  bool advice = false;
  bool poisonAnswers = true;
  int opens = 0;
  int requests = 0;

 private:
  Input& input_;
  uint8_t poison_;
  std::string& log_;
  std::set<int32_t> open_;
  int32_t nextHandle_ = 1;
  uint32_t lastError_ = 0;
};

const std::string kNoBoards = "No USB Buffers Found, Please Verify Setup and Restart";
const std::string kNoValidBoards = "No Valid USB Buffers Found, Please Verify Setup and Restart";
const std::string kBoardInfo = "Error getting Board Info";

std::string Describe(const velk::UsbBoardInfo& board) {
  return board.DeviceName + "|" + std::to_string(board.Present) + "|" + board.BoardKind + "|" +
         board.Descriptor0 + "|" + board.Descriptor1 + "|" + std::to_string(board.FirmwareRev) +
         "|" + board.UsbSpeed + "|" + std::to_string(board.Spare) + "\n";
}

void CheckSearch(const velk::EzUsb& ezUsb, const velk::UsbSpiDrivers& usb,
                 const std::vector<std::string>& shown) {
  const int count = ezUsb.UsbBoardCount;
  VELK_FUZZ_CHECK(count >= 0 && count <= 4);
  int named = 0;
  for (const velk::UsbBoardInfo& board : ezUsb.UsbBoards) {
    named += !board.DeviceName.empty();
    VELK_FUZZ_CHECK(board.Present == 0 || board.Present == -1);
    if (board.Present == 0) continue;
    VELK_FUZZ_CHECK(board.BoardKind == "FIFO4" || board.BoardKind == "MCP");
    VELK_FUZZ_CHECK(board.UsbSpeed == "1.1" || board.UsbSpeed == "2");
    // 127 characters at most, each at most two bytes of UTF-8.
    VELK_FUZZ_CHECK(board.Descriptor0.size() <= 254 && board.Descriptor1.size() <= 254);
  }
  VELK_FUZZ_CHECK(named == count);

  const auto infoErrors = std::count(shown.begin(), shown.end(), kBoardInfo);
  VELK_FUZZ_CHECK(infoErrors <= count);
  if (count == 0) {
    VELK_FUZZ_CHECK(shown.size() == 1 && shown[0].starts_with(kNoBoards));
    VELK_FUZZ_CHECK(!usb.CardReady() && usb.UsbDeviceIndex == -1);
  } else if (!usb.CardReady()) {
    // Every board found failed to give its information.
    VELK_FUZZ_CHECK(infoErrors == count);
    VELK_FUZZ_CHECK(static_cast<int>(shown.size()) == count + 1 && shown.back() == kNoValidBoards);
    VELK_FUZZ_CHECK(usb.UsbDeviceIndex == -1);
  } else {
    VELK_FUZZ_CHECK(static_cast<int64_t>(shown.size()) == infoErrors);
    VELK_FUZZ_CHECK(usb.UsbDeviceIndex >= 0 && usb.UsbDeviceIndex <= 3);
    const velk::UsbBoardInfo& chosen = ezUsb.UsbBoards[static_cast<size_t>(usb.UsbDeviceIndex)];
    VELK_FUZZ_CHECK(chosen.Present == -1);
    VELK_FUZZ_CHECK(Describe(chosen) == Describe(usb.SelectedUsbBoard));
    for (int i = 0; i < usb.UsbDeviceIndex; ++i)
      VELK_FUZZ_CHECK(ezUsb.UsbBoards[static_cast<size_t>(i)].Present == 0);
  }
}

std::string Run(const uint8_t* data, size_t size, uint8_t poison) {
  std::string log;
  Input input(data, size);
  FuzzDriver driver(input, poison, log);
  Recorder messages;
  velk::EzUsb ezUsb(driver, messages);
  velk::UsbSpiDrivers usb(ezUsb, messages);

  for (int step = 0; step < 32 && !input.Exhausted(); ++step) {
    const uint8_t op = input.Back();
    const bool readyBefore = usb.CardReady();
    const int requestsBefore = driver.requests;
    const int opensBefore = driver.opens;
    const std::array<int32_t, 17> readBefore = usb.SpiReadData;
    messages.shown.clear();
    size_t allowedMessages = 1;
    bool transfer = false;
    uint8_t words = 0;

    switch (op % 8) {
      case 0:
        usb.FindUsbBuffers();
        CheckSearch(ezUsb, usb, messages.shown);
        allowedMessages = 5;
        break;
      case 1:
        usb.ReadSpiSetup();
        // A refused command and an undelivered answer are both reported.
        allowedMessages = 2;
        if (usb.CardReady()) VELK_FUZZ_CHECK((usb.SpiStaticBits & ~0x78) == 0);
        break;
      case 2: {
        const uint8_t asked = input.Back();
        uint8_t delay = asked;
        usb.SetupSpi(delay);
        VELK_FUZZ_CHECK(delay == (readyBefore ? std::max<uint8_t>(asked, 1) : asked));
        if (readyBefore) VELK_FUZZ_CHECK(usb.SpiWordDelay == delay);
        break;
      }
      case 3:
        usb.SetSpiBits(input.Back());
        break;
      case 4:
      case 7: {
        const uint8_t shape = input.Back();
        // A register access (two words on channel 1) or any block, up to one word too many.
        words = op % 8 == 7 ? 2 : shape % 18;
        usb.SpiChannel = op % 8 == 7 ? 1 : shape % 7;
        usb.SpiPolarity = (shape & 0x80) ? 0 : -1;
        for (size_t i = 1; i < usb.SpiWriteData.size(); ++i)
          usb.SpiWriteData[i] = static_cast<int32_t>((shape * 40503u * i) & 0xFFFF);
        usb.WriteReadSpi(words);
        transfer = true;
        break;
      }
      case 5:
        // Ready without a search, as after a dialog's choice.
        usb.SelectedUsbBoard.Present = -1;
        usb.SelectedUsbBoard.DeviceName = "Ezusb-" + std::to_string(input.Back() % 4);
        allowedMessages = 0;
        break;
      case 6:
        driver.advice = !driver.advice;
        allowedMessages = 0;
        break;
    }

    // No handle outlives an operation.
    VELK_FUZZ_CHECK(driver.OpenHandles() == 0);
    VELK_FUZZ_CHECK(messages.shown.size() <= allowedMessages);
    const bool command = (op % 8 >= 1 && op % 8 <= 4) || op % 8 == 7;
    if (command && !readyBefore) {
      VELK_FUZZ_CHECK(messages.shown.empty());
      VELK_FUZZ_CHECK(driver.opens == opensBefore && driver.requests == requestsBefore);
    }
    // A failed command leaves the card not ready until the next search.
    if (command && !messages.shown.empty()) VELK_FUZZ_CHECK(!usb.CardReady());
    if (transfer) {
      const bool delivered = readyBefore && words <= 16 && messages.shown.empty();
      for (size_t i = 0; i < usb.SpiReadData.size(); ++i) {
        VELK_FUZZ_CHECK(usb.SpiReadData[i] >= 0 && usb.SpiReadData[i] <= 0xFFFF);
        if (!delivered || i == 0 || i > words) VELK_FUZZ_CHECK(usb.SpiReadData[i] == readBefore[i]);
      }
    } else {
      VELK_FUZZ_CHECK(usb.SpiReadData == readBefore);
    }

    log += "step " + std::to_string(op) + "\n";
    for (const std::string& text : messages.shown) log += "message " + text + "\n";
    for (const velk::UsbBoardInfo& board : ezUsb.UsbBoards) log += Describe(board);
    log += Describe(usb.SelectedUsbBoard);
    log += std::to_string(ezUsb.UsbBoardCount) + " " + std::to_string(usb.UsbDeviceIndex) + " " +
           std::to_string(usb.SpiChannel) + " " + std::to_string(usb.SpiWordDelay) + " " +
           std::to_string(usb.SpiStaticBits) + " " + std::to_string(usb.SpiWordCount) + " words";
    for (int32_t word : usb.SpiReadData) log += " " + std::to_string(word);
    log += "\n";
  }
  return log;
}

}  // namespace

int velk_fuzz_usb_card(const uint8_t* data, size_t size) {
  const std::string clean = Run(data, size, 0x00);
  const std::string poisoned = Run(data, size, 0xA5);
  VELK_FUZZ_CHECK(clean == poisoned);
  return 0;
}
