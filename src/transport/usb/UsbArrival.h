#pragma once

namespace velk {

// What a wait for a card to be plugged in saw. Unsupported: the platform does not tell of
// arrivals (or the card is not on USB), the wait returned at once and the caller polls.
enum class UsbArrival { Unsupported, None, Arrived };

}  // namespace velk
