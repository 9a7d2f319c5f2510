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

// No udev rule or lp group (EACCES), another program holding the device (EBUSY), no ppdev
// node, no port at the address: one message with the headline and what to do about it.
TEST(KernelFaults, RefusedAccessShowsTheFixOnce) {
  enum class Setup { Denied, Busy, NoNode, NotListed };
  struct Row {
    const char* what;
    Setup setup;
    const char* fix;
  };
  const Row rows[] = {
      {"usb", Setup::Denied, "install the udev rule 60-velk47120.rules"},
      {"usb", Setup::Busy, "another program is using it"},
      {"parport", Setup::Denied, "to the lp group"},
      {"parport", Setup::Busy, "could not be claimed"},
      {"parport", Setup::NoNode, "load the ppdev module"},
      {"parport", Setup::NotListed, "No parallel port device (/dev/parport*) lists base address"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.what) + " " + std::to_string(static_cast<int>(row.setup)));
    const bool usb = std::string(row.what) == "usb";
    const fs::perms mode = row.setup == Setup::Denied ? fs::perms::none : fs::perms::all;
    std::vector<std::string> messages;
    if (usb) {
      test::UsbBench bench;
      if (row.setup == Setup::Busy) bench.card.SetFault(CardFault::BusyClaim);
      OpenSandboxTo(bench.bed, "/dev/bus/usb/001/002", mode);
      messages = test::MessagesOfUnprivilegedAccess(row.what);
    } else {
      test::PortBench bench;
      if (row.setup == Setup::Busy) bench.port.SetFault(PortFault::BusyClaim);
      OpenSandboxTo(bench.bed, "/dev/parport0", mode);
      if (row.setup == Setup::NoNode) fs::remove(bench.bed.InSandbox("/dev/parport0"));
      if (row.setup == Setup::NotListed)
        fs::remove_all(bench.bed.InSandbox("/proc/sys/dev/parport/parport0"));
      messages = test::MessagesOfUnprivilegedAccess(row.what);
    }
    ASSERT_EQ(messages.size(), 1u) << (messages.empty() ? "" : messages[0]);
    const std::string headline =
        usb ? "No USB Buffers Found" : "The required I/O drivers could not be installed.";
    EXPECT_EQ(messages[0].rfind(headline, 0), 0u) << messages[0];
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
