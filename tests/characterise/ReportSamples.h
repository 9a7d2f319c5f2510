#pragma once

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "characterise/Characterisation.h"

namespace velk::characterise {

// A noise run's JSON as noise --json writes it, cut to what the report reads: N detected
// (0.59 deg/sqrt(h), 95 % from 0.54 to 0.66), B not detected (95 % upper limit 19.8 deg/h), K
// left out of the fit.
inline std::string NoiseJsonSample(const std::string& record = "run.csv") {
  nlohmann::ordered_json j;
  j["schema"] = "velk47120-noise/2";
  j["program_version"] = "3.0.0";
  j["source"] = {{"file", record}, {"layout", "log"}};
  j["chip"] = {{"model", 47120}, {"range_dps", 320.0}, {"sample_period_s", 0.003906}, {"taps", 4}};
  j["sampling"] = {{"tau0_s", 0.003906}, {"duration_s", 60.0}, {"mean_temp_degc", 25.0}};
  j["estimator"] = "overlapping";
  j["confidence"] = 0.683;
  j["fit"] = {{"not_estimated", nullptr}};
  nlohmann::ordered_json adev = nlohmann::ordered_json::array();
  for (double tau = 0.004; tau < 20; tau *= 2) {
    const double a = 0.0098 / std::sqrt(tau);
    adev.push_back({{"tau_s", tau},
                    {"adev_dps", a},
                    {"lo_dps", a * 0.95},
                    {"hi_dps", a * 1.05},
                    {"in_fit", tau > 0.3}});
  }
  j["adev"] = adev;
  j["terms"] = {{"arw",
                 {{"value", 0.59},
                  {"unit", "deg/sqrt(h)"},
                  {"detected", true},
                  {"lo_95", 0.54},
                  {"hi_95", 0.66},
                  {"upper_limit", nullptr}}},
                {"bias_instability",
                 {{"value", nullptr},
                  {"unit", "deg/h"},
                  {"detected", false},
                  {"lo_95", nullptr},
                  {"hi_95", nullptr},
                  {"upper_limit", 19.8}}},
                {"rrw", nullptr}};
  j["warnings"] = {{{"code", "temperature"}, {"text", "the temperature moved 2 degC"}}};
  return j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

// A tempco document: the bins lie on the curve it gives.
inline Characterisation TempcoSample() {
  Characterisation c;
  c.test = "tempco";
  c.programVersion = "3.0.0";
  c.conditions = {{"model", 47120.0}, {"range_dps", 320.0}, {"taps", 4.0}};
  c.sources = {{"ramp.csv", std::string(64, 'a')}};
  c.curve = TempCurve{0.6, 0.01, 2e-4, 0.02, 0.0, -10.0, 60.0};
  for (double t = -9.5; t < 60; t += 1.0)
    for (Ramp r : {Ramp::Up, Ramp::Down})
      c.bins.push_back({r, t, c.curve->At(t, r), 0.001, 60.0, r == Ramp::Up ? 0.016 : -0.016, 0});
  c.figures = {Valued("bias", "deg/s", 0.6, 0.598, 0.602, "from -10 to 60 degC, at 25 degC"),
               Valued("bias_tempco", "deg/s/degC", 0.01, 0.0099, 0.0101, "from -10 to 60 degC"),
               Null("sensor_lag", "s", "not estimated: one ramp rate", "from -10 to 60 degC")};
  return c;
}

// A repeatability document of 6 cycles.
inline Characterisation RepeatSample() {
  Characterisation c;
  c.test = "repeatability";
  c.programVersion = "3.0.0";
  c.conditions = {{"model", 47120.0}, {"sample_period_s", 0.003906}};
  for (double b : {0.601, 0.598, 0.603, 0.597, 0.600, 0.602}) c.cycles.push_back({b, 25.1, {}});
  Figure f = Valued("wake_repeatability", "deg/s", 0.0024, 0.0015, 0.0058, "6 wakes");
  f.signedValue = false;
  c.figures = {f};
  return c;
}

}  // namespace velk::characterise
