#include <cmath>
#include <nlohmann/json.hpp>

#include "core/EchoText.h"
#include "core/JsonText.h"
#include "noise/Results.h"

namespace velk::noise {

namespace {

using Json = nlohmann::ordered_json;

Json Number(double v) {
  return std::isfinite(v) ? Json(v) : Json(nullptr);
}

Json Number(const std::optional<double>& v) {
  return v ? Number(*v) : Json(nullptr);
}

std::string_view LayoutName(Layout layout) {
  switch (layout) {
    case Layout::Acquisition:
      return "acquisition";
    case Layout::Datalog:
      return "datalog";
    case Layout::Log:
      break;
  }
  return "log";
}

std::string TermLetters(const std::array<bool, kTermCount>& allowed) {
  std::string letters;
  for (int t = 0; t < kTermCount; ++t)
    if (allowed[t]) letters += "qnbkr"[t];
  return letters;
}

}  // namespace

std::string ResultJson(const Analysis& a, std::string_view programVersion) {
  Json j;
  j["schema"] = "velk47120-noise/2";
  j["program_version"] = programVersion;
  // The name as it is (bytes that are not UTF-8 come out as U+FFFD) and escaped, which keeps them.
  j["source"] = {{"file", a.file},
                 {"file_echo", Escaped(a.file)},
                 {"layout", LayoutName(a.layout)},
                 {"run", a.run},
                 {"runs", a.runs},
                 {"comment", a.comment}};
  if (a.chip) {
    const ChipSettings& c = *a.chip;
    j["chip"] = {{"model", c.model != 0 ? Json(c.model) : Json(nullptr)},
                 {"range_dps", Number(c.rangeDps)},
                 {"lsb_dps", Number(c.lsbDps)},
                 {"smpl_prd", c.smplPrd},
                 {"sens_avg", c.sensAvg},
                 {"sample_period_s", Number(c.samplePeriodS)},
                 {"taps", c.taps},
                 {"window_s", Number(c.windowS)}};
  } else {
    j["chip"] = nullptr;
  }
  // The tool's own acquisition: the priority it ran at and the line that grants real-time.
  if (a.priority) {
    const RealtimeGrant& p = *a.priority;
    j["acquisition"] = {{"realtime",
                         {{"granted", p.granted},
                          {"policy", p.granted ? "SCHED_FIFO" : "SCHED_OTHER"},
                          {"priority", p.priority},
                          {"memory_locked", p.memoryLocked},
                          {"refused", p.refused.empty() ? Json(nullptr) : Json(p.refused)},
                          {"grant_line", kRealtimeGrantLine},
                          {"text", RealtimeText(p)}}}};
  } else {
    j["acquisition"] = nullptr;
  }
  j["sampling"] = {
      {"tau0_s", Number(a.tau0)},
      {"tau0_source", Tau0SourceText(a.tau0Source)},
      {"samples", a.samples},
      {"duration_s", Number(a.durationS)},
      {"segments", a.segments},
      {"gaps", a.segments > 0 ? a.segments - 1 : 0},
      {"missing", a.lost},
      {"missing_share", Number(a.samples + a.lost > 0 ? static_cast<double>(a.lost) /
                                                            static_cast<double>(a.samples + a.lost)
                                                      : 0.0)},
      {"jitter", Number(a.jitter)},
      {"integer_counts", a.integerCounts},
      {"mean_dps", Number(a.meanDps)},
      {"mean_temp_degc", Number(a.meanTemp)},
      {"temp_span_degc", Number(a.tempSpan)},
      {"left_out",
       {{"error_flag", a.leftOut.errorFlag},
        {"range_limit", a.leftOut.rangeLimit},
        {"incomplete", a.leftOut.incomplete}}}};
  j["estimator"] = a.estimator == Estimator::Overlapping ? "overlapping" : "non-overlapping";
  j["confidence"] = a.confidence;
  std::array<bool, kTermCount> detected{};
  for (int t = 0; t < kTermCount; ++t) detected[t] = a.terms[t].detected;
  j["fit"] = {{"tau_min_s", Number(a.tauMin)},
              {"terms", a.termChoice.automatic ? "auto" : TermLetters(a.termChoice.allowed)},
              {"considered", TermLetters(a.termChoice.allowed)},
              {"detected", TermLetters(detected)},
              {"rounds", a.rounds},
              {"fitted_points", a.fittedPoints},
              {"reduced_chi2", Number(a.reducedChiSquare)},
              {"not_estimated", a.notEstimated ? Json(*a.notEstimated) : Json(nullptr)},
              {"needed_duration_s", Number(a.neededDurationS)}};
  Json adev = Json::array();
  for (const AdevRow& r : a.adev)
    adev.push_back({{"m", r.m},
                    {"tau_s", Number(r.tau)},
                    {"n_terms", r.terms},
                    {"adev_dps", Number(r.adev)},
                    {"lo_dps", Number(r.lo)},
                    {"hi_dps", Number(r.hi)},
                    {"edf", Number(r.edf)},
                    {"alpha", r.alpha},
                    {"in_fit", r.inFit}});
  j["adev"] = adev;
  Json terms = Json::object();
  for (int index : {kN, kB, kK, kQ, kR}) {
    const TermReport& t = a.terms[index];
    if (!t.allowed) {
      terms[std::string(t.key)] = nullptr;
      continue;
    }
    terms[std::string(t.key)] = {{"value", Number(t.value)},
                                 {"unit", t.unit},
                                 {"detected", t.detected},
                                 {"shown", t.shown},
                                 {"rise", Number(t.rise)},
                                 {"lo", Number(t.lo)},
                                 {"hi", Number(t.hi)},
                                 {"lo_95", Number(t.lo95)},
                                 {"hi_95", Number(t.hi95)},
                                 {"upper_limit", Number(t.upperLimit)},
                                 {"resolved", t.resolved},
                                 {"si_value", Number(t.siValue)},
                                 {"si_upper_limit", Number(t.siUpperLimit)},
                                 {"si_unit", t.siUnit}};
  }
  j["terms"] = terms;
  j["classic"] = {{"arw_at_1s", Number(a.classic.arwAt1s)},
                  {"rrw_last", Number(a.classic.rrwLast)},
                  {"minimum", Number(a.classic.minimum)},
                  {"minimum_tau_s", Number(a.classic.minimumTau)},
                  {"bi_from_minimum", Number(a.classic.biFromMinimum)},
                  {"bi_from_minimum_lo_95", Number(a.classic.biFromMinimumLo95)},
                  {"bi_from_minimum_hi_95", Number(a.classic.biFromMinimumHi95)}};
  j["density_convention"] = kDensityConvention;
  j["notes"] = a.notes;
  Json warnings = Json::array();
  for (const Warning& w : a.warnings)
    warnings.push_back(
        {{"code", WarningCodeText(w.code)}, {"factor", Number(w.factor)}, {"text", w.text}});
  j["warnings"] = warnings;
  Json verdict = {{"overall", VerdictName(a.overall)}, {"confidence", 0.95}};
  for (const Judged& v : a.verdicts)
    verdict[std::string(v.key)] = {{"limit", Number(v.limit)},
                                   {"result", VerdictName(v.result)},
                                   {"decided_by", DeciderText(v.by)},
                                   {"end", Number(v.end)}};
  j["verdict"] = verdict;
  return JsonText(j, 2) + "\n";
}

}  // namespace velk::noise
