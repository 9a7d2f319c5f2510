#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "kernel/KernelRigs.h"
#include "kernel/Unprivileged.h"
#include "support/SimRig.h"

namespace velk {
namespace {

namespace fs = std::filesystem;
using CardFault = test::EmulatedUsbCard::Fault;
using PortFault = test::EmulatedParport::Fault;

// Lets an ordinary user reach the sandbox (its folder is private to the creator), then sets
// the node's own mode.
void OpenSandboxTo(const test::Testbed& bed, const std::string& node, fs::perms mode) {
  const auto others = fs::perms::others_read | fs::perms::others_write | fs::perms::others_exec;
  fs::permissions(bed.Root(), others, fs::perm_options::add);
  for (const auto& entry : fs::recursive_directory_iterator(bed.Root()))
    if (!entry.is_symlink()) fs::permissions(entry.path(), others, fs::perm_options::add);
  fs::permissions(bed.InSandbox(node), mode, fs::perm_options::replace);
}

// No udev rule or lp group (EACCES), or another program holding the device (EBUSY): one
// message with the headline and what to do about it.
TEST(KernelFaults, RefusedAccessShowsTheFixOnce) {
  struct Row {
    const char* what;
    bool busy;
    const char* headline;
    const char* fix;
  };
  const Row rows[] = {
      {"usb", false, "No USB Buffers Found", "install the udev rule 60-velk47120.rules"},
      {"usb", true, "No USB Buffers Found", "another program is using it"},
      {"parport", false, "The required I/O drivers could not be installed.", "to the lp group"},
      {"parport", true, "The required I/O drivers could not be installed.", "could not be claimed"},
  };
  const auto mode = [](bool busy) { return busy ? fs::perms::all : fs::perms::none; };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.what) + (row.busy ? " busy" : " denied"));
    std::vector<std::string> messages;
    if (std::string(row.what) == "usb") {
      test::UsbBench bench;
      if (row.busy) bench.card.SetFault(CardFault::BusyClaim);
      OpenSandboxTo(bench.bed, "/dev/bus/usb/001/002", mode(row.busy));
      messages = test::MessagesOfUnprivilegedAccess(row.what);
    } else {
      test::PortBench bench;
      if (row.busy) bench.port.SetFault(PortFault::BusyClaim);
      OpenSandboxTo(bench.bed, "/dev/parport0", mode(row.busy));
      messages = test::MessagesOfUnprivilegedAccess(row.what);
    }
    ASSERT_EQ(messages.size(), 1u) << (messages.empty() ? "" : messages[0]);
    EXPECT_EQ(messages[0].rfind(row.headline, 0), 0u) << messages[0];
    EXPECT_NE(messages[0].find(row.fix), std::string::npos) << messages[0];
  }
}

// The card failing in the middle of a run shows the message the same failure shows through
// the driver seam, once; the card is then left alone and no transfer is left behind.
TEST(KernelFaults, ACardFailingMidRunIsReportedAsThroughTheSeam) {
  struct Row {
    const char* name;
    CardFault fault;
    std::function<void(SimUsbCard&)> seam;
  };
  const Row rows[] = {
      {"unplugged", CardFault::Gone, [](SimUsbCard& card) { card.Unplug(); }},
      {"short answer", CardFault::ShortAnswer, [](SimUsbCard& card) { card.CutNextAnswer(2); }},
      {"no answer", CardFault::SilentAnswer, [](SimUsbCard& card) { card.FailBulkTransfer(1, 1); }},
  };
  const auto readThrice = [](Session& session) {
    for (int i = 0; i < 3; ++i) session.spi.ReadRegister(slot::Gyro_Out);
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::SimRig seam(test::SimRig::kUsb);
    row.seam(seam.card);
    readThrice(seam.session);
    ASSERT_EQ(seam.messages.Texts().size(), 1u);

    test::UsbBench bench;
    bench.session.usb.FindUsbBuffers();
    bench.session.spi.ReadRegister(slot::Gyro_Out);
    ASSERT_TRUE(bench.messages.shown.empty());
    bench.card.SetFault(row.fault);
    readThrice(bench.session);
    EXPECT_EQ(bench.messages.Texts(), seam.messages.Texts());
    EXPECT_EQ(bench.session.usb.SelectedUsbBoard.Present, 0);
    EXPECT_EQ(bench.card.UrbsInFlight(), 0);
  }
}

}  // namespace
}  // namespace velk
