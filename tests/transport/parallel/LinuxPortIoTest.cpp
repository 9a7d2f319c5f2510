#include "transport/parallel/LinuxPortIo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/parallel/FakePortOs.h"

namespace velk {
namespace {

using test::FakePortOs;
using Log = std::vector<std::string>;

TEST(FindParport, MatchesTheFirstAddressOfEachPort) {
  FakePortOs os;
  EXPECT_EQ(FindParport(os, 0x378), std::nullopt);  // no parport driver at all
  os.AddParport(0, "888\t1912\n");
  os.AddParport(1, "632\t0\n");
  os.AddParport(3, "48128\t48132\n");
  os.files["/proc/sys/dev/parport/parportx/base-addr"] = "956\t0\n";
  os.files["/proc/sys/dev/parport/parport2/devices/active"] = "none\n";  // no base-addr
  EXPECT_EQ(FindParport(os, 0x378), 0);
  EXPECT_EQ(FindParport(os, 0x278), 1);
  EXPECT_EQ(FindParport(os, 0xBC00), 3);
  EXPECT_EQ(FindParport(os, 0x3BC), std::nullopt);  // listed only under a malformed name
  EXPECT_EQ(FindParport(os, 0x778), std::nullopt);  // the extended-mode base is not the base
}

TEST(LinuxPortIo, PpdevWhereADeviceListsTheBaseElseDirectAccess) {
  FakePortOs os;
  os.AddParport(0, "888\t1912\n");
  os.AddParport(1, "632\t0\n");
  os.nodes = {{"/dev/parport0", 0}, {"/dev/parport1", 0}};
  os.input = 0x87;
  std::string advice;
  {
    LinuxPortIo io(os);
    ASSERT_TRUE(io.ObtainAccess(0x278, advice));
    EXPECT_EQ(io.DeviceNode(), "/dev/parport1");
    io.vbOut(0x278, 0x1A5);  // the low byte only
    io.vbOut(0x279, 0x40);   // ppdev cannot write a status register
    EXPECT_EQ(io.vbInp(0x279), 0x87);
    io.vbOut(0x27B, 1);  // neighbours of the port are never reached
    EXPECT_EQ(io.vbInp(0x277), 0xFF);
    EXPECT_TRUE(io.ObtainAccess(0x278, advice));  // keeps the claim

    ASSERT_TRUE(io.ObtainAccess(0xBC00, advice));
    io.vbOut(0xBC00, 0x105);
    io.vbOut(0xBC01, 0x40);  // the status write of the idle state goes out as it is
    EXPECT_EQ(io.vbInp(0xBC01), 0x87);
    io.vbOut(0xBC03, 1);
    io.vbOut(0x278, 1);
    // Moving to another port gives the old one back first.
    ASSERT_TRUE(io.ObtainAccess(0x378, advice));
    EXPECT_EQ(os.log, (Log{"open /dev/parport1", "PPCLAIM", "PPWDATA A5", "PPRSTATUS", "PPRELEASE",
                           "close 3", "ioperm BC00 on", "outb BC00 5", "outb BC01 40", "inb BC01",
                           "ioperm BC00 off", "open /dev/parport0", "PPCLAIM"}));
    os.log.clear();
  }
  EXPECT_EQ(os.log, (Log{"PPRELEASE", "close 3"}));

  // A user given the capability instead of the lp group still gets the port.
  os.nodes["/dev/parport0"] = EACCES;
  EXPECT_TRUE(LinuxPortIo(os).ObtainAccess(0x378, advice));
  EXPECT_EQ(os.log.back(), "ioperm 378 off");
}

TEST(LinuxPortIo, RefusalsExplainTheFixAndTouchNoPort) {
  struct Case {
    uint16_t base;  // /proc lists parport0 at 0x378
    int openError;  // for /dev/parport0; ENOENT: the node is missing
    int claimError;
    int iopermError;
    std::string advice;  // in full, or a telling part
  };
  const std::vector<Case> cases = {
      {0x278, 0, 0, EPERM,
       "No parallel port device (/dev/parport*) lists base address 0x278; direct port access "
       "needs root or the CAP_SYS_RAWIO capability (sudo setcap cap_sys_rawio+ep "
       "/opt/velk/velk47120)."},
      {0x378, EACCES, 0, EPERM, "add your user to the lp group (sudo usermod -aG lp $USER)"},
      {0x378, ENOENT, 0, EPERM, "does not exist: load the ppdev module"},
      {0x378, 0, EBUSY, EPERM, "/dev/parport0 could not be claimed"},
      {0xBC00, 0, 0, ENOSYS, "0xBC00; this system's kernel offers no direct port access"},
      {0x20, 0, 0, 0, "direct access to 0x20 is refused"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.advice);
    FakePortOs os;
    os.AddParport(0, "888\t1912\n");
    os.nodes = {{"/dev/parport0", c.openError}};
    os.claimError = c.claimError;
    os.iopermError = c.iopermError;
    LinuxPortIo io(os);
    std::string advice;
    EXPECT_FALSE(io.ObtainAccess(c.base, advice));
    EXPECT_NE(advice.find(c.advice), std::string::npos) << advice;
    EXPECT_EQ(os.Count("open"), os.Count("close")) << "a node opened but not claimed is closed";
    EXPECT_EQ(os.Count("ioperm 20"), 0);
    const size_t calls = os.log.size();
    for (int port = c.base; port < c.base + 3; ++port) {
      io.vbOut(static_cast<uint16_t>(port), 0);
      EXPECT_EQ(io.vbInp(static_cast<uint16_t>(port)), 0xFF);
    }
    EXPECT_EQ(os.log.size(), calls) << "a port was touched";
  }
}

}  // namespace
}  // namespace velk
