#pragma once

namespace velk {

class Session;

// What preparing the configured interface came to.
enum class PreparedInterface {
  None,      // no interface configured (InterfaceType set to kNone)
  Port,      // the parallel port: access sought (refusals were reported) and lines idle
  PortAsIs,  // the parallel port on a system that needs no port access
  Card,      // a USB card found and given its first SPI settings
  NoCard,    // USB, but no usable card (the search reported why)
  NoUsb,     // USB is not available on this system
};

// Makes the configured interface usable once, at start-up: port access for the parallel
// port, the card search and the card's first settings for USB. A card index (0..3) asks for
// that card rather than the first usable one.
PreparedInterface PrepareInterface(Session& session, int card = -1);

// Selects the card found under the given index of the last search and gives it its SPI
// settings; false when no usable card is there.
bool SelectCard(Session& session, int index);

// Whether the selected interface can carry a frame: a parallel port needs an address, the
// USB card must be ready.
bool InterfaceUsable(const Session& session);

// The gate in front of every action that needs the chip: an interface that cannot be used
// is deselected (InterfaceType kNone). Returns whether one remains; the caller tells the user.
bool CheckInterface(Session& session);

inline constexpr const char* kSelectInterfaceFirst = "Please select an interface first";

}  // namespace velk
