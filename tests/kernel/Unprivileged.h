#pragma once

#include <string>
#include <vector>

namespace velk::test {

inline constexpr char kUnprivilegedFlag[] = "--unprivileged";

// Root opens a node of mode 000 all the same, so a refused open is tried by a child that runs
// this program again as an ordinary user (nobody, when started as root): it seeks access to
// the card ("usb") or the port at 0x378 ("parport") through the real backend and reports the
// messages shown. The testbed stays the parent's.
std::vector<std::string> MessagesOfUnprivilegedAccess(const std::string& what);

// The child's side, from main().
int RunUnprivileged(const std::string& what);

}  // namespace velk::test
