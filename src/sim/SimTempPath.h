#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"

namespace velk {

// The ambient temperature a simulated chamber plays: straight pieces from a start, and the die
// following it with a first-order lag. Pure functions of time, as the rest of the simulator.
class SimTempPath {
 public:
  // Holds `degrees` from time 0.
  explicit SimTempPath(double degrees = 25.0);

  // VELK47120_SIM_TEMP: "ramp:FROM..TO@RATE[,soak=S]" (degC, degC/min, s; soak 600 by
  // default) plays a soak at FROM, a ramp to TO, a soak, a ramp back and a soak, then holds
  // FROM. Nothing for a blank value, else the line saying what is wrong and the fix.
  static Result<std::optional<SimTempPath>, std::string> Parse(std::string_view text);
  // What --help lists.
  static constexpr std::string_view kHelp =
      "VELK47120_SIM_TEMP=ramp:FROM..TO@RATE[,soak=S] (degC, degC/min, s; soak 600): a soak at "
      "FROM, a ramp to TO, a soak, a ramp back and a soak";

  // Appends a soak of `seconds` at the last temperature, or a ramp to `degrees` at `rate`
  // degC/min.
  SimTempPath& Soak(double seconds);
  SimTempPath& RampTo(double degrees, double ratePerMinute);

  double Duration() const { return knots_.back().t; }
  // Where the pieces meet: between two, the ambient is straight and the direction fixed.
  std::vector<double> KnotTimes() const;
  double Ambient(double t) const;
  // +1 when the last change before t was a rise, -1 a fall, 0 before any.
  int Direction(double t) const;
  // The die `lag` seconds behind the ambient, settled at the start.
  double Die(double t, double lag) const;

 private:
  struct Knot {
    double t, degrees;
  };
  size_t Piece(double t) const;  // the knot a piece starts at

  std::vector<Knot> knots_;
};

}  // namespace velk
