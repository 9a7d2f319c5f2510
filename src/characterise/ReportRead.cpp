#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "characterise/Report.h"
#include "characterise/Sha256.h"
#include "core/EchoText.h"

namespace velk::characterise {

namespace {

using Json = nlohmann::json;

constexpr std::string_view kRunAgain = ": run noise --json again and give its output";

// What is wrong with a noise JSON, for the message.
struct Bad {
  std::string what;
};

std::optional<double> NumberIn(const Json& j, const char* key) {
  if (!j.is_object() || !j.contains(key) || !j.at(key).is_number()) return std::nullopt;
  const double v = j.at(key).get<double>();
  return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

std::string TextIn(const Json& j, const char* key) {
  if (!j.is_object() || !j.contains(key) || !j.at(key).is_string()) return {};
  return j.at(key).get<std::string>();
}

const Json& ObjectIn(const Json& j, const char* key) {
  static const Json none = Json::object();
  if (!j.is_object() || !j.contains(key) || !j.at(key).is_object()) return none;
  return j.at(key);
}

std::string Short(double v, int digits = 4) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*g", digits, v);
  return text;
}

// How the run was made, as each noise figure's row says it.
std::string RunConditions(const Json& j) {
  const Json& sampling = ObjectIn(j, "sampling");
  std::string text = "noise run";
  if (const auto d = NumberIn(sampling, "duration_s")) text += " of " + Short(*d) + " s";
  if (const auto t = NumberIn(sampling, "tau0_s")) text += ", tau0 " + Short(*t * 1e3) + " ms";
  if (const auto c = NumberIn(sampling, "mean_temp_degc")) text += ", at " + Short(*c, 3) + " degC";
  const std::string estimator = TextIn(j, "estimator");
  if (!estimator.empty()) text += ", " + estimator + " Allan deviation";
  return text;
}

struct TermName {
  const char* key;     // in the noise JSON's "terms"
  const char* figure;  // the report's
  const char* unit;
};
constexpr TermName kTerms[] = {{"arw", "arw", "deg/sqrt(h)"},
                               {"bias_instability", "bias_instability", "deg/h"},
                               {"rrw", "rate_random_walk", "deg/h/sqrt(h)"}};

Figure TermFigure(const Json& j, const TermName& name, ReportInput& input) {
  const std::string conditions = RunConditions(j);
  const Json& terms = ObjectIn(j, "terms");
  if (!terms.contains(name.key) || terms.at(name.key).is_null())
    return Null(name.figure, name.unit,
                "not considered: the noise run left the term out (its --terms)", conditions);
  const Json& t = terms.at(name.key);
  if (!t.is_object()) throw Bad{std::string("term \"") + name.key + "\" is not an object"};
  const std::string unit = TextIn(t, "unit").empty() ? name.unit : TextIn(t, "unit");
  const std::string notEstimated = TextIn(ObjectIn(j, "fit"), "not_estimated");
  if (!notEstimated.empty())
    return Null(name.figure, unit, "not estimated: " + notEstimated, conditions);
  const bool detected = t.value("detected", false);
  if (detected) {
    Figure f;
    f.name = name.figure;
    f.unit = unit;
    f.conditions = conditions;
    f.signedValue = false;
    f.value = NumberIn(t, "value");
    f.lo = NumberIn(t, "lo_95");
    f.hi = NumberIn(t, "hi_95");
    if (!f.value) f.reason = "not estimated: the fit gave no finite value";
    return f;
  }
  Figure f = Null(name.figure, unit, "not detected", conditions);
  f.signedValue = false;
  if (const auto upper = NumberIn(t, "upper_limit")) input.upperLimits[name.figure] = *upper;
  return f;
}

void AddCondition(Characterisation& doc, const char* key, std::optional<double> v) {
  if (v) doc.conditions.push_back({key, *v});
}

}  // namespace

Result<ReportInput, std::string> ReadNoiseJson(std::string_view text) {
  const Json j = Json::parse(text, nullptr, false);
  if (j.is_discarded()) return Unexpected("is not JSON" + std::string(kRunAgain));
  if (!j.is_object() || TextIn(j, "schema") != kNoiseSchema)
    return Unexpected("is not schema " + std::string(kNoiseSchema) + std::string(kRunAgain));
  try {
    ReportInput input;
    Characterisation& doc = input.doc;
    doc.test = "noise";
    doc.programVersion = TextIn(j, "program_version");
    const Json& source = ObjectIn(j, "source");
    const std::string record = TextIn(source, "file");
    if (!record.empty()) {
      const bool live = TextIn(source, "layout") == "acquisition";
      // The noise JSON names its record but keeps no hash of it.
      doc.sources.push_back({live ? "acquired from " + record : record, ""});
    }
    const Json& chip = ObjectIn(j, "chip");
    AddCondition(doc, "model", NumberIn(chip, "model"));
    AddCondition(doc, "range_dps", NumberIn(chip, "range_dps"));
    AddCondition(doc, "sample_period_s", NumberIn(chip, "sample_period_s"));
    AddCondition(doc, "taps", NumberIn(chip, "taps"));
    const Json& sampling = ObjectIn(j, "sampling");
    AddCondition(doc, "duration_s", NumberIn(sampling, "duration_s"));
    AddCondition(doc, "samples", NumberIn(sampling, "samples"));
    AddCondition(doc, "mean_temp_degc", NumberIn(sampling, "mean_temp_degc"));
    for (const TermName& name : kTerms) doc.figures.push_back(TermFigure(j, name, input));
    if (j.contains("warnings") && j["warnings"].is_array())
      for (const Json& w : j["warnings"])
        if (const std::string t = TextIn(w, "text"); !t.empty()) doc.warnings.push_back(t);
    input.adevConfidence = NumberIn(j, "confidence").value_or(0.0);
    if (j.contains("adev") && j["adev"].is_array())
      for (const Json& row : j["adev"]) {
        const auto tau = NumberIn(row, "tau_s"), adev = NumberIn(row, "adev_dps");
        if (!tau || !adev) continue;
        input.adev.push_back({*tau, *adev, NumberIn(row, "lo_dps"), NumberIn(row, "hi_dps"),
                              row.value("in_fit", false)});
      }
    return input;
  } catch (const Bad& bad) {
    return Unexpected(bad.what + std::string(kRunAgain));
  } catch (const nlohmann::json::exception&) {
    return Unexpected("holds a value of the wrong type" + std::string(kRunAgain));
  }
}

Result<ReportInput, std::string> ReadReportInput(const std::string& file, std::string_view text) {
  const Json j = Json::parse(text, nullptr, false);
  if (j.is_discarded())
    return Unexpected(std::string(
        "is not JSON: give the JSON that characterise (--json) or noise (--json) wrote"));
  const std::string schema = TextIn(j, "schema");
  Result<ReportInput, std::string> input = Unexpected(std::string());
  if (schema == kSchema) {
    auto doc = ReadCharacteriseJson(text);
    if (!doc) return Unexpected(std::move(doc).error());
    ReportInput read;
    read.doc = std::move(*doc);
    input = std::move(read);
  } else if (schema == kNoiseSchema) {
    input = ReadNoiseJson(text);
  } else if (schema == kReportSchema) {
    return Unexpected(std::string(
        "is a report's JSON: give the characterise and noise JSON files it was made from"));
  } else if (schema.empty()) {
    return Unexpected(std::string(
        "has no schema: give the JSON that characterise (--json) or noise (--json) wrote"));
  } else {
    return Unexpected("is schema \"" + Escaped(schema) +
                      "\", which the report does not read: give " + std::string(kSchema) + " or " +
                      std::string(kNoiseSchema) + " (run the test again with this version)");
  }
  if (!input) return input;
  input->file = file;
  input->sha256 = Sha256(text);
  return input;
}

}  // namespace velk::characterise
