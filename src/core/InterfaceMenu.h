#pragma once

namespace velk {

// The main window's Interface menu as the interface dialogs see it: they mark the interface
// they selected without knowing the window.
class InterfaceMenu {
 public:
  virtual ~InterfaceMenu() = default;
  virtual void CheckInterfaceEntries(bool port, bool usb) = 0;
};

}  // namespace velk
