#include "transport/usb/EzUsb.h"

#include <algorithm>

namespace velk {

namespace {

constexpr int kPipeCount = 17;
constexpr uint8_t kStringDescriptorLanguage = 0x1B;
constexpr int kSpeedPipe = 3;
constexpr uint16_t kFullSpeedPacket = 64;

// A handle is an open device only when it is greater than 0; everything else means "no device".
bool IsOpen(int32_t handle) {
  return handle > 0;
}

uint16_t Little16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

// One request whose answer is trusted only as far as the driver says it filled the buffer,
// and never beyond the buffer's capacity.
struct Answer {
  bool ok;
  uint32_t bytes;
};

Answer Request(EzUsbDriver& driver, int32_t handle, uint32_t code, const uint8_t* in,
               uint32_t inLength, uint8_t* out, uint32_t outCapacity) {
  uint32_t returned = 0;
  const int32_t result =
      driver.DeviceIoControl(handle, code, in, inLength, out, outCapacity, returned);
  return {result != 0, std::min(returned, outCapacity)};
}

// The pipe-information block goes in and comes back in the same layout; the input is a copy so
// the driver never reads a buffer it is writing.
Answer PipeInfoRequest(EzUsbDriver& driver, int32_t handle, uint8_t* block) {
  std::array<uint8_t, kPipeInfoSize> in{};
  std::copy_n(block, kPipeInfoSize, in.begin());
  return Request(driver, handle, kIoctlGetPipeInfo, in.data(), kPipeInfoSize, block, kPipeInfoSize);
}

// The descriptor's characters are single bytes taken as character codes; the text is UTF-8.
void AppendCharacter(std::string& text, uint8_t code) {
  if (code < 0x80) {
    text.push_back(static_cast<char>(code));
  } else {
    text.push_back(static_cast<char>(0xC0 | (code >> 6)));
    text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

std::string DeviceNameOf(int index) {
  return "Ezusb-" + std::to_string(index);
}

}  // namespace

int32_t EzUsb::OpenEzUsbDevice(const std::string& deviceName) {
  // Callers only test the handle; the driver's reason for a failed open is of no use to them.
  return driver_.Open(deviceName);
}

void EzUsb::CloseEzUsbDevice(int32_t handle) {
  // A failed open leaves nothing to close.
  if (IsOpen(handle)) driver_.Close(handle);
}

int32_t EzUsb::GetPipeInfo(int32_t handle, uint8_t* block) {
  if (!IsOpen(handle) || block == nullptr) return 0;
  return PipeInfoRequest(driver_, handle, block).ok ? 1 : 0;
}

uint16_t EzUsb::GetMaxPacketSize(int32_t handle, int pipe) {
  if (!IsOpen(handle) || pipe < 0 || pipe >= kPipeCount) return 0;
  std::array<uint8_t, kPipeInfoSize> block{};
  const Answer answer = PipeInfoRequest(driver_, handle, block.data());
  if (!answer.ok) return 0;
  const uint32_t offset = kPipeInfoHeader + kPipeRecordSize * static_cast<uint32_t>(pipe);
  if (answer.bytes < offset + 2) return 0;
  return Little16(block.data() + offset);
}

std::string EzUsb::GetStringDescriptor(int32_t handle, int16_t index) {
  const std::string none = "None";
  if (!IsOpen(handle)) return none;

  const std::array<uint8_t, 5> in{static_cast<uint8_t>(index & 0xFF), 0, 0, 0,
                                  kStringDescriptorLanguage};
  // Room for the longest descriptor a length byte can announce.
  std::array<uint8_t, 256> buffer{};

  // First only the header, to learn the descriptor's length.
  const Answer header =
      Request(driver_, handle, kIoctlGetStringDescriptor, in.data(), in.size(), buffer.data(), 4);
  if (!header.ok || header.bytes < 1) return none;
  const uint32_t length = buffer[0];

  buffer.fill(0);
  const Answer whole = Request(driver_, handle, kIoctlGetStringDescriptor, in.data(), in.size(),
                               buffer.data(), length);
  if (!whole.ok) return none;

  // Low bytes of the UTF-16 characters, as far as both the length byte and the answer reach.
  const uint32_t end = std::min(length, whole.bytes);
  std::string text;
  for (uint32_t k = 2; k < end; k += 2) AppendCharacter(text, buffer[k]);
  return text;
}

int32_t EzUsb::BulkTransfer(int32_t handle, int16_t pipe, uint8_t* buffer, int32_t& length) {
  if (!IsOpen(handle)) return -2;
  if (pipe < 0 || pipe >= kPipeCount || length < 0 || (buffer == nullptr && length > 0)) return 0;

  const uint32_t pipeNumber = static_cast<uint32_t>(pipe);
  const std::array<uint8_t, 4> in{static_cast<uint8_t>(pipeNumber & 0xFF),
                                  static_cast<uint8_t>((pipeNumber >> 8) & 0xFF),
                                  static_cast<uint8_t>((pipeNumber >> 16) & 0xFF),
                                  static_cast<uint8_t>((pipeNumber >> 24) & 0xFF)};
  const Answer answer = Request(driver_, handle, kIoctlBulkTransfer, in.data(), in.size(), buffer,
                                static_cast<uint32_t>(length));
  length = static_cast<int32_t>(answer.bytes);
  return answer.ok ? 1 : 0;
}

void EzUsb::ReadBoardInfo(int32_t handle, UsbBoardInfo& board) {
  if (board.Present == 0 || !IsOpen(handle)) return;

  const auto fail = [&] {
    messages_.Show("Error getting Board Info");
    board.Present = 0;
  };

  board.Descriptor0 = GetStringDescriptor(handle, 1);
  if (board.Descriptor0 == "None") return fail();
  board.Descriptor1 = GetStringDescriptor(handle, 2);
  if (board.Descriptor1 == "None") return fail();

  // Card command 0 answers the firmware revision as major, minor.
  std::array<uint8_t, 3> revision{0, 0, 0};
  int32_t length = 1;
  if (BulkTransfer(handle, 0, revision.data(), length) != 1) return fail();
  length = 2;
  if (BulkTransfer(handle, 1, revision.data(), length) != 1 || length != 2) return fail();
  board.FirmwareRev = static_cast<float>(revision[0]) + static_cast<float>(revision[1]) / 10.0f;

  // A full-speed bus carries at most 64-byte bulk packets.
  const uint16_t packet = GetMaxPacketSize(handle, kSpeedPipe);
  if (packet == 0) return fail();
  board.UsbSpeed = packet <= kFullSpeedPacket ? "1.1" : "2";
}

void EzUsb::FindEzUsbBoards() {
  UsbBoardCount = 0;
  for (UsbBoardInfo& board : UsbBoards) {
    board.DeviceName.clear();
    board.Present = 0;
  }

  for (int i = 0; i < static_cast<int>(UsbBoards.size()); ++i) {
    const int32_t handle = OpenEzUsbDevice(DeviceNameOf(i));
    if (!IsOpen(handle)) continue;

    std::array<uint8_t, kDeviceDescriptorSize + 1> in{};
    std::array<uint8_t, kDeviceDescriptorSize + 1> descriptor{};
    const Answer answer = Request(driver_, handle, kIoctlGetDeviceDescriptor, in.data(),
                                  kDeviceDescriptorSize, descriptor.data(), kDeviceDescriptorSize);

    std::string kind = "None";
    if (answer.ok && answer.bytes >= 12 && Little16(&descriptor[8]) == kCardVendorId) {
      const uint16_t product = Little16(&descriptor[10]);
      if (product == kFifo4ProductId) kind = "FIFO4";
      if (product == kMcpProductId) kind = "MCP";
    }

    if (kind != "None") {
      // Counted before its information is read: a card that cannot be read still counts.
      ++UsbBoardCount;
      UsbBoardInfo& board = UsbBoards[static_cast<size_t>(i)];
      board.Present = -1;
      board.DeviceName = DeviceNameOf(i);
      board.BoardKind = kind;
      ReadBoardInfo(handle, board);
    }
    CloseEzUsbDevice(handle);
  }
}

}  // namespace velk
