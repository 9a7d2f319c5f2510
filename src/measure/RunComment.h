#pragma once

#include <cstdint>
#include <string>

namespace velk {

class Session;

// The interface, "parallel port 0x378" or "USB card Ezusb-0".
std::string InterfaceText(const Session& session);

// The first line of a log or an acquisition file, the same from the tool and the window: the
// chip, the interface and the words it was set with, from which a reader works out the LSB and
// the period. Reads Msc_Ctrl for the self-test bits.
std::string RunComment(Session& session, const std::string& interfaceText, int32_t smplPrd,
                       int32_t sensAvg, int32_t model);

}  // namespace velk
