#pragma once

#include <QTimer>
#include <functional>
#include <optional>
#include <string>

#include "measure/CardWatch.h"

namespace velk {

class Session;
class UsbSpiDrivers;

// For the reads that notice a card going and say so themselves: no box for each failed
// command while it lives.
class QuietCard {
 public:
  explicit QuietCard(UsbSpiDrivers& usb);
  ~QuietCard();
  QuietCard(const QuietCard&) = delete;
  QuietCard& operator=(const QuietCard&) = delete;

 private:
  UsbSpiDrivers& usb_;
  bool was_;
};

// The watch for a USB card that went away: one look a second on the GUI thread, and one at
// once on the driver's hot-plug notice where it has them, until the same card with the same
// chip is back, or something else came instead. Sends nothing to the chip
// but the look itself.
class CardReplug {
 public:
  // What a look found. With `chip`, the card is back, selected and its chip identified;
  // without, `instead` says what came in its place and the watch has ended all the same.
  struct Found {
    std::optional<ChipBack> chip;
    std::string instead;  // no closing full stop
    std::string goneAt;   // "14:02:11"
    std::string backAt;
  };

  CardReplug(Session& session, std::function<void(const Found&)> found);

  // Taken while the card and its chip answer (each activation that found the chip).
  void Remember();
  // Starts the watch; the card was found gone now.
  void Gone();
  bool Waiting() const { return goneAt_.has_value(); }
  const std::string& GoneAt() const { return *goneAt_; }
  // One look, now. The timer calls it; a hot-plug notice from the driver should too, so a
  // card that is back is taken at once rather than at the next tick.
  void LookNow();
  // Ends the watch without a word: the user chose an interface meanwhile.
  void Cancel();

 private:
  Session& session_;
  std::function<void(const Found&)> found_;
  QTimer timer_;
  QTimer arrivals_;
  std::optional<CardAndChip> was_;
  std::optional<std::string> goneAt_;
};

}  // namespace velk
