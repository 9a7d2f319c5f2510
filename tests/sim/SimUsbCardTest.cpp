#include "sim/SimUsbCard.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/ManualClock.h"

namespace velk {
namespace {

using Bytes = std::vector<uint8_t>;

// The card's own checks; what it does for well-formed traffic is shown through the drivers.
struct Card {
  // A bulk transfer on pipe, sending out (pipe 0) or reading up to capacity bytes (pipe 1).
  Bytes Bulk(uint8_t pipe, Bytes out, uint32_t capacity, bool* ok = nullptr) {
    const uint8_t in[4] = {pipe, 0, 0, 0};
    out.resize(capacity);
    uint32_t returned = 99;
    const int32_t result =
        card.DeviceIoControl(handle, kIoctlBulkTransfer, in, 4, out.data(), capacity, returned);
    if (ok != nullptr) *ok = result != 0;
    out.resize(returned);
    return out;
  }
  Bytes Read(uint32_t capacity, bool* ok = nullptr) { return Bulk(1, {}, capacity, ok); }
  bool Send(Bytes command) {
    bool ok = false;
    const auto length = uint32_t(command.size());
    Bulk(0, std::move(command), length, &ok);
    return ok;
  }

  test::ManualClock clock;
  SimSensor sensor{clock};
  SimUsbCard card{&sensor};
  int32_t handle = card.Open("Ezusb-0");
};

TEST(SimUsbCard, RefusesMalformedCommandsAndKeepsOtherChannelsOffTheChip) {
  Card c;
  EXPECT_TRUE(c.Send({13, 2, 1, 0x36, 0}));  // channel 2: an empty bus, all ones
  EXPECT_EQ(c.Read(2), (Bytes{0xFF, 0xFF}));
  Bytes seventeen{13, 1, 17};
  seventeen.resize(3 + 2 * 17);
  EXPECT_FALSE(c.Send(seventeen));
  EXPECT_FALSE(c.Send({13, 1, 2, 0x36, 0}));  // shorter than it says
  EXPECT_FALSE(c.Send({12}));
  EXPECT_FALSE(c.Send({7}));
  bool ok = true;
  c.Bulk(2, {}, 4, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(c.sensor.FrameCount(), 0);

  c.card.Close(c.handle);
  EXPECT_EQ(c.card.openHandles(), 0);
  EXPECT_FALSE(c.Send({0}));             // closed handle
  EXPECT_TRUE(c.card.requests.empty());  // recording is off unless asked for
  c.handle = c.card.Open("Ezusb-0");
  c.card.Unplug();
  EXPECT_FALSE(c.Send({0}));
}

TEST(SimUsbCard, AnAnswerIsReadInPiecesAndOutlivesAFailedRead) {
  Card c;
  c.card.Record(true);
  c.card.FailBulkTransfer(1, 2);  // the second read from now
  c.Send({0});
  EXPECT_EQ(c.Read(1), Bytes{1});
  bool ok = true;
  EXPECT_EQ(c.Read(1, &ok), Bytes{});
  EXPECT_FALSE(ok);
  EXPECT_EQ(c.Read(2, &ok), Bytes{2});
  EXPECT_TRUE(ok);
  EXPECT_EQ(c.Read(2), Bytes{});  // nothing left
  ASSERT_EQ(c.card.requests.size(), 5u);
  EXPECT_EQ(c.card.requests[0].outSent, Bytes{0});
  EXPECT_TRUE(c.card.requests[1].outSent.empty());
}

}  // namespace
}  // namespace velk
