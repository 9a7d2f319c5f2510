#pragma once

#include <string>
#include <vector>

#include "support/QtApp.h"
#include "support/SimRig.h"

namespace velk::test {

// The simulated card and sensor, with the application object the dialogs need.
struct DialogRig : UsbSimRig {
  DialogRig() { EnsureQApp(); }

  // Commands the card received (bulk transfers on pipe 0), from the recording's start.
  std::vector<std::string> Sent() const {
    std::vector<std::string> sent;
    for (const std::string& w : Wire())
      if (w.rfind("out", 0) == 0) sent.push_back(w);
    return sent;
  }
  void Forget() {
    card.requests.clear();
    messages.shown.clear();
  }
};

}  // namespace velk::test
