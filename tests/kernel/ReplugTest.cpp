// A USB card unplugged and plugged in again on the same port, through the real libusb: the
// testbed's uevents reach libusb's udev monitor, so its hot-plug events are tried too.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "kernel/Child.h"
#include "kernel/KernelRigs.h"
#include "measure/CardWatch.h"
#include "support/TempDir.h"

namespace velk {
namespace {

using test::Fault;

// The emulated card unplugged: an open device answers ENODEV, as the kernel's does.
void Unplug(test::Bench& bench) {
  bench.card.fault = Fault::Gone;
  bench.bed.UnplugUsbDevice(1, 1);
}

void Replug(test::Bench& bench) {
  bench.card.fault = Fault::None;
  bench.bed.ReplugUsbDevice(1, 1, 2, bench.card.descriptors);
}

// Polls `done` until it holds or a deadline far beyond any normal run passes.
bool Eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(Replug, TheDriverTellsOfTheArrivalAndTheWatchTakesTheCardBack) {
  test::Bench bench(interface_type::kUsbCard);
  Session& session = bench.session;
  session.usb.FindUsbBuffers();
  session.reg.IdentifyProduct(session.spi);
  ASSERT_TRUE(session.usb.CardReady());
  const CardAndChip was = IdentityOf(session);
  EXPECT_EQ(was.place, "1-1");
  // Supported under the testbed; the card plugged in at the start is no arrival.
  EXPECT_EQ(session.ezUsb.AwaitBoardArrival(0), UsbArrival::None);

  Unplug(bench);
  session.spi.ReadRegister(slot::Gyro_Out);
  EXPECT_FALSE(session.usb.CardReady());
  EXPECT_EQ(bench.messages.Texts().size(), 1u);
  EXPECT_EQ(session.ezUsb.AwaitBoardArrival(0.1), UsbArrival::None) << "a departure";
  auto look = LookForCard(session, was, "");
  ASSERT_TRUE(look) << look.error();
  EXPECT_FALSE(*look) << "found while unplugged";

  Replug(bench);
  EXPECT_EQ(session.ezUsb.AwaitBoardArrival(30), UsbArrival::Arrived);
  EXPECT_EQ(session.ezUsb.AwaitBoardArrival(0), UsbArrival::None) << "one arrival, told once";
  look = LookForCard(session, was, "");
  ASSERT_TRUE(look) << look.error();
  ASSERT_TRUE(*look) << "not found when back";
  EXPECT_EQ(IdentityOf(session).place, was.place);
  session.spi.ReadRegister(slot::Gyro_Out);
  EXPECT_TRUE(session.usb.CardReady());
  EXPECT_EQ(bench.messages.Texts().size(), 1u) << "a message after the replug";
}

// The tool, a separate process with its own libusb, sees the same uevents.
TEST(Replug, ALogGoesOnInTheSameFileWhenTheCardComesBack) {
  test::Bench bench;
  test::TempDir folder;
  const auto out = folder / "log.csv";
  const auto err = folder / "err.txt";
  auto run = std::async(std::launch::async, [&] {
    return test::RunChild("cd / && " VELK_CLI
                          " --interface usb log --interval 100 --duration 10"
                          " --reconnect-wait 8 --out " +
                          out.string() + " 2>" + err.string());
  });
  const auto rows = [&] { return Count(test::ReadBytes(out), "\n"); };
  // The comment line, the header and some rows.
  ASSERT_TRUE(Eventually([&] { return rows() >= 5; })) << test::ReadBytes(err);
  Unplug(bench);
  ASSERT_TRUE(Eventually([&] { return Count(test::ReadBytes(err), "waiting up to") == 1; }))
      << test::ReadBytes(err);
  const size_t before = rows();
  Replug(bench);

  const test::ChildRun log = run.get();
  const std::string text = test::ReadBytes(out);
  EXPECT_EQ(log.status, 0) << test::ReadBytes(err);
  EXPECT_EQ(Count(test::ReadBytes(err), "the USB card is back"), 1u) << test::ReadBytes(err);
  EXPECT_EQ(Count(text, "# VELK47120, firmware"), 2u) << text.substr(0, 400);
  EXPECT_GT(rows(), before + 1) << "no rows after the second comment line";
  EXPECT_EQ(text.back(), '\n');
}

}  // namespace
}  // namespace velk
