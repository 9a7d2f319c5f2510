#include "transport/usb/UsbSpiDrivers.h"

#include <string>

namespace velk {

namespace {

constexpr uint8_t kReadSetup = 1;
constexpr uint8_t kSetWordDelay = 11;
constexpr uint8_t kSetStaticBits = 12;
constexpr uint8_t kTransferPositive = 13;
constexpr uint8_t kTransferNegative = 14;

constexpr int16_t kToCard = 0;
constexpr int16_t kFromCard = 1;

constexpr uint8_t kMaxWords = 16;
constexpr size_t kTransferBuffer = 41;  // command, channel, count and up to 16 words, with room
constexpr uint8_t kLastChannel = 5;
constexpr uint8_t kStaticBitsMask = 0x78;

const char* const kNoBoards = "No USB Buffers Found, Please Verify Setup and Restart";
const char* const kNoValidBoards = "No Valid USB Buffers Found, Please Verify Setup and Restart";
const char* const kSetupFailed = "Error Setting up SPI";
const char* const kBitsFailed = "Error Setting SPI Bits";
const char* const kWriteFailed = "Error Writing SPI";
const char* const kReadFailed = "Error Reading SPI";

bool Transfer(EzUsb& ezUsb, int32_t handle, int16_t pipe, uint8_t* buffer, int length) {
  int32_t moved = length;
  return ezUsb.BulkTransfer(handle, pipe, buffer, moved) == 1;
}

// The chip's words, all of them: a short answer counts as not delivered, because the rest of
// the buffer still holds the command, which must never be taken for the chip's words.
bool CollectWords(EzUsb& ezUsb, int32_t handle, uint8_t* buffer, int length) {
  int32_t moved = length;
  return ezUsb.BulkTransfer(handle, kFromCard, buffer, moved) == 1 && moved == length;
}

// A failed command is reported once; the card then stays silent until a new search.
void Fail(MessageSink& messages, UsbBoardInfo& selected, const char* message, bool quiet) {
  if (!quiet) messages.Show(message);
  selected.Present = 0;
}

}  // namespace

void UsbSpiDrivers::FindUsbBuffers() {
  SelectedUsbBoard.Present = 0;
  UsbDeviceIndex = -1;
  ezUsb_.FindEzUsbBoards();
  if (ezUsb_.UsbBoardCount == 0) {
    // A card that is there but may not be opened must not read as no card at all.
    const std::string advice = ezUsb_.DriverAdvice();
    messages_.Show(advice.empty() ? kNoBoards : kNoBoards + std::string("\n\n") + advice);
    return;
  }
  for (size_t i = 0; i < ezUsb_.UsbBoards.size(); ++i) {
    if (ezUsb_.UsbBoards[i].Present == -1) {
      SelectedUsbBoard = ezUsb_.UsbBoards[i];
      SelectedUsbBoard.Present = -1;
      UsbDeviceIndex = static_cast<int16_t>(i);
      return;
    }
  }
  // Boards answered, but none could tell what it is.
  messages_.Show(kNoValidBoards);
}

void UsbSpiDrivers::ReadSpiSetup() {
  if (!CardReady()) return;
  SpiWordDelay = 0;
  const int32_t handle = ezUsb_.OpenEzUsbDevice(SelectedUsbBoard.DeviceName);

  std::array<uint8_t, 3> buffer{kReadSetup, 0, 0};
  // A refused command is reported, but the answer is still collected in case the card has one.
  if (!Transfer(ezUsb_, handle, kToCard, buffer.data(), 1))
    Fail(messages_, SelectedUsbBoard, kSetupFailed, QuietFailures);
  // A short answer is no setup: the buffer would still hold the command byte.
  if (!CollectWords(ezUsb_, handle, buffer.data(), 2)) {
    Fail(messages_, SelectedUsbBoard, kReadFailed, QuietFailures);
    ezUsb_.CloseEzUsbDevice(handle);
    return;
  }
  SpiWordDelay = buffer[0];
  SpiStaticBits = buffer[1] & kStaticBitsMask;
  ezUsb_.CloseEzUsbDevice(handle);
}

void UsbSpiDrivers::SetupSpi(uint8_t& delay) {
  if (!CardReady()) return;
  if (delay == 0) delay = 1;
  SpiWordDelay = delay;

  const int32_t handle = ezUsb_.OpenEzUsbDevice(SelectedUsbBoard.DeviceName);
  std::array<uint8_t, 2> command{kSetWordDelay, delay};
  if (!Transfer(ezUsb_, handle, kToCard, command.data(), 2))
    Fail(messages_, SelectedUsbBoard, kSetupFailed, QuietFailures);
  ezUsb_.CloseEzUsbDevice(handle);
}

void UsbSpiDrivers::SetSpiBits(uint8_t bits) {
  if (!CardReady()) return;
  const int32_t handle = ezUsb_.OpenEzUsbDevice(SelectedUsbBoard.DeviceName);
  SpiStaticBits = bits;
  std::array<uint8_t, 2> command{kSetStaticBits, bits};
  if (!Transfer(ezUsb_, handle, kToCard, command.data(), 2))
    Fail(messages_, SelectedUsbBoard, kBitsFailed, QuietFailures);
  ezUsb_.CloseEzUsbDevice(handle);
}

void UsbSpiDrivers::WriteReadSpi(uint8_t n) {
  if (!CardReady()) return;
  // More words than the word arrays hold is a caller's mistake: nothing is sent.
  if (n > kMaxWords) return;

  if (SpiChannel == 0) SpiChannel = 1;
  if (SpiChannel > kLastChannel) SpiChannel = kLastChannel;
  SpiWordCount = n;

  const int32_t handle = ezUsb_.OpenEzUsbDevice(SelectedUsbBoard.DeviceName);

  // Command, channel, count, then the words high byte first; the answer comes back in place.
  std::array<uint8_t, kTransferBuffer> buffer{};
  buffer[0] = SpiPolarity != 0 ? kTransferPositive : kTransferNegative;
  buffer[1] = SpiChannel;
  buffer[2] = n;
  for (int i = 1; i <= n; ++i) {
    buffer[2 * i + 1] = static_cast<uint8_t>((SpiWriteData[i] >> 8) & 0xFF);
    buffer[2 * i + 2] = static_cast<uint8_t>(SpiWriteData[i] & 0xFF);
  }

  if (!Transfer(ezUsb_, handle, kToCard, buffer.data(), 2 * n + 3)) {
    Fail(messages_, SelectedUsbBoard, kWriteFailed, QuietFailures);
    ezUsb_.CloseEzUsbDevice(handle);
    return;
  }
  if (!CollectWords(ezUsb_, handle, buffer.data(), 2 * SpiWordCount)) {
    Fail(messages_, SelectedUsbBoard, kReadFailed, QuietFailures);
    ezUsb_.CloseEzUsbDevice(handle);
    return;
  }
  for (int j = 0; j < n; ++j) SpiReadData[j + 1] = buffer[2 * j] * 256 + buffer[2 * j + 1];
  ezUsb_.CloseEzUsbDevice(handle);
}

}  // namespace velk
