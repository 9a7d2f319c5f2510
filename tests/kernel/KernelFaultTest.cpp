#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "kernel/Child.h"
#include "kernel/KernelRigs.h"
#include "support/SimRig.h"

namespace velk {
namespace {

namespace fs = std::filesystem;
using test::Fault;

// No udev rule or lp group (EACCES), another program holding the device (EBUSY), no ppdev
// node, no port at the address: the command-line tool, run as an ordinary user (root opens a
// node of mode 000 all the same), gives one message with the headline and what to do.
TEST(KernelFaults, RefusedAccessShowsTheFixOnce) {
  struct Row {
    const char* interface;
    const char* removed;  // from the sandbox; "" for nothing
    Fault fault;
    fs::perms mode;
    const char* fix;
  };
  const char* proc = "/proc/sys/dev/parport/parport0";
  const Row rows[] = {
      {"usb", "", Fault::None, fs::perms::none, "install the udev rule 60-velk47120.rules"},
      {"usb", "", Fault::BusyClaim, fs::perms::all, "another program is using it"},
      {"parallel", "", Fault::None, fs::perms::none, "to the lp group"},
      {"parallel", "", Fault::BusyClaim, fs::perms::all, "could not be claimed"},
      {"parallel", "/dev/parport0", Fault::None, fs::perms::all, "load the ppdev module"},
      {"parallel", proc, Fault::None, fs::perms::all, "No parallel port device (/dev/parport*)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fix);
    const bool usb = std::string(row.interface) == "usb";
    test::Bench bench;
    (usb ? static_cast<test::IoctlDevice&>(bench.card) : bench.port).fault = row.fault;
    // An ordinary user reaches the sandbox (private to its creator), the node as the row says.
    ASSERT_EQ(std::system(("chmod -R o+rwX " + bench.bed.Root().string()).c_str()), 0);
    const char* node = usb ? "/dev/bus/usb/001/002" : "/dev/parport0";
    fs::permissions(bench.bed.InSandbox(node), row.mode, fs::perm_options::replace);
    if (*row.removed != '\0') fs::remove_all(bench.bed.InSandbox(row.removed));

    const std::string drop =
        getuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
    const test::ChildRun run = test::RunChild("cd / && " + drop + VELK_CLI " --interface " +
                                              row.interface + " identify 2>&1");
    EXPECT_EQ(run.status, 2);
    const std::string headline =
        usb ? "No USB Buffers Found" : "The required I/O drivers could not be installed.";
    EXPECT_EQ(run.out.rfind("velk47120-cli: " + headline, 0), 0u) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    EXPECT_NE(run.out.find(row.fix), std::string::npos) << run.out;
  }
}

// The card failing in the middle of a run shows the message the same failure shows through
// the driver seam, once; the card is then left alone and no transfer is left behind.
TEST(KernelFaults, ACardFailingMidRunIsReportedAsThroughTheSeam) {
  struct Row {
    Fault fault;
    std::function<void(SimUsbCard&)> seam;
  };
  const Row rows[] = {
      {Fault::Gone, [](SimUsbCard& card) { card.Unplug(); }},
      {Fault::ShortAnswer, [](SimUsbCard& card) { card.CutNextAnswer(2); }},
      {Fault::SilentAnswer, [](SimUsbCard& card) { card.FailBulkTransfer(1, 1); }},
  };
  const auto readThrice = [](Session& session) {
    for (int i = 0; i < 3; ++i) session.spi.ReadRegister(slot::Gyro_Out);
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.fault));
    test::SimRig seam(interface_type::kUsbCard);
    row.seam(seam.card);
    readThrice(seam.session);
    ASSERT_EQ(seam.messages.Texts().size(), 1u);

    test::Bench bench(interface_type::kUsbCard);
    bench.session.usb.FindUsbBuffers();
    bench.session.spi.ReadRegister(slot::Gyro_Out);
    ASSERT_TRUE(bench.messages.shown.empty());
    bench.card.fault = row.fault;
    readThrice(bench.session);
    EXPECT_EQ(bench.messages.Texts(), seam.messages.Texts());
    EXPECT_EQ(bench.session.usb.SelectedUsbBoard.Present, 0);
    EXPECT_EQ(bench.card.UrbsInFlight(), 0);
  }
}

}  // namespace
}  // namespace velk
