#include <cmath>
#include <nlohmann/json.hpp>

#include "characterise/Characterisation.h"
#include "core/JsonText.h"

namespace velk::characterise {

namespace {

using Json = nlohmann::ordered_json;

Json Number(const std::optional<double>& v) {
  return v && std::isfinite(*v) ? Json(*v) : Json(nullptr);
}

Json WordsJson(const std::optional<ChipWords>& w) {
  if (!w) return nullptr;
  return {{"gyro_ofst", w->gyroOfst}, {"gyro_scale", w->gyroScale}};
}

std::string_view RampName(Ramp r) {
  return r == Ramp::Up ? "up" : "down";
}

// The reader's errors: what is wrong, where, so a hand-edited file can be put right.
struct Bad {
  std::string what;
};

const Json& Member(const Json& j, const char* key) {
  if (!j.is_object() || !j.contains(key)) throw Bad{std::string("\"") + key + "\" is missing"};
  return j.at(key);
}

double NumberAt(const Json& j, const char* key) {
  const Json& v = Member(j, key);
  if (!v.is_number()) throw Bad{std::string("\"") + key + "\" is not a number"};
  return v.get<double>();
}

std::optional<double> MaybeNumber(const Json& j, const char* key) {
  if (!j.contains(key) || j.at(key).is_null()) return std::nullopt;
  return NumberAt(j, key);
}

std::string TextAt(const Json& j, const char* key) {
  const Json& v = Member(j, key);
  if (!v.is_string()) throw Bad{std::string("\"") + key + "\" is not text"};
  return v.get<std::string>();
}

std::optional<ChipWords> ReadWords(const Json& j) {
  if (j.is_null()) return std::nullopt;
  ChipWords w;
  for (auto [key, word] : {std::pair{"gyro_ofst", &w.gyroOfst}, {"gyro_scale", &w.gyroScale}}) {
    const double v = NumberAt(j, key);
    if (v < 0 || v > 0xFFFF || v != std::floor(v))
      throw Bad{std::string("\"") + key + "\" is not a 16-bit word"};
    *word = static_cast<uint16_t>(v);
  }
  return w;
}

noise::Verdict ReadVerdict(const std::string& text) {
  for (auto v : {noise::Verdict::Pass, noise::Verdict::Fail, noise::Verdict::Inconclusive,
                 noise::Verdict::None})
    if (text == noise::VerdictName(v)) return v;
  throw Bad{"verdict \"" + text + "\" is none of pass, fail, inconclusive, none"};
}

}  // namespace

double TempCurve::At(double temperature, Ramp ramp, double rate) const {
  const double dt = temperature - 25.0;
  return b0 + b1 * dt + b2 * dt * dt + (ramp == Ramp::Up ? h : -h) / 2.0 + c * rate;
}

const Figure* Characterisation::Find(std::string_view name) const {
  for (const Figure& f : figures)
    if (f.name == name) return &f;
  return nullptr;
}

std::string CharacteriseJson(const Characterisation& c) {
  Json j;
  j["schema"] = kSchema;
  j["program_version"] = c.programVersion;
  j["test"] = c.test;
  Json sources = Json::array();
  for (const Source& s : c.sources) sources.push_back({{"file", s.file}, {"sha256", s.sha256}});
  j["sources"] = sources;
  j["words"] = WordsJson(c.words);
  Json conditions = Json::object();
  for (const Condition& k : c.conditions) {
    if (const double* d = std::get_if<double>(&k.value))
      conditions[k.key] = Number(*d);
    else
      conditions[k.key] = std::get<std::string>(k.value);
  }
  j["conditions"] = conditions;
  Json figures = Json::object();
  for (const Figure& f : c.figures)
    figures[f.name] = {{"value", Number(f.value)},
                       {"lo", Number(f.lo)},
                       {"hi", Number(f.hi)},
                       {"unit", f.unit},
                       {"signed", f.signedValue},
                       {"limit", Number(f.limit)},
                       {"verdict", noise::VerdictName(f.verdict)},
                       {"conditions", f.conditions},
                       {"reason", f.value ? Json(nullptr) : Json(f.reason)}};
  j["figures"] = figures;
  j["warnings"] = c.warnings;
  Json cycles = Json::array();
  for (const CycleBias& k : c.cycles)
    cycles.push_back({{"bias_dps", Number(k.bias)},
                      {"temperature_degc", Number(k.temperature)},
                      {"words", WordsJson(k.words)}});
  j["cycles"] = cycles;
  Json bins = Json::array();
  for (const TempBin& b : c.bins)
    bins.push_back({{"ramp", RampName(b.ramp)},
                    {"temperature_degc", Number(b.temperature)},
                    {"bias_dps", Number(b.bias)},
                    {"se_dps", Number(b.se)},
                    {"seconds", Number(b.seconds)},
                    {"rate_degc_per_s", Number(b.rate)},
                    {"time_s", Number(b.time)}});
  j["bins"] = bins;
  // Only a scale run has plateaus: the other tests' documents stay as they were.
  if (!c.plateaus.empty()) {
    Json plateaus = Json::array();
    for (const RatePlateau& p : c.plateaus)
      plateaus.push_back({{"rate_dps", Number(p.rate)},
                          {"output_lsb", Number(p.output)},
                          {"se_lsb", Number(p.se)},
                          {"residual_lsb", Number(p.residual)},
                          {"used", p.used}});
    j["plateaus"] = plateaus;
  }
  if (c.curve) {
    const TempCurve& k = *c.curve;
    j["curve"] = {{"b0", Number(k.b0)},     {"b1", Number(k.b1)}, {"b2", Number(k.b2)},
                  {"h", Number(k.h)},       {"c", Number(k.c)},   {"from_degc", Number(k.from)},
                  {"to_degc", Number(k.to)}};
  } else {
    j["curve"] = nullptr;
  }
  return JsonText(j, 2) + "\n";
}

Result<Characterisation, std::string> ReadCharacteriseJson(std::string_view text) {
  Json j = Json::parse(text, nullptr, false);
  if (j.is_discarded())
    return Unexpected(std::string("is not JSON: save it again from characterise --out"));
  try {
    const std::string schema = TextAt(j, "schema");
    if (schema != kSchema)
      return Unexpected("is schema \"" + schema + "\", not " + std::string(kSchema) +
                        ": give the JSON of a characterisation test");
    Characterisation c;
    c.test = TextAt(j, "test");
    if (j.contains("program_version") && j["program_version"].is_string())
      c.programVersion = j["program_version"].get<std::string>();
    if (j.contains("sources"))
      for (const Json& s : j["sources"])
        c.sources.push_back({TextAt(s, "file"), TextAt(s, "sha256")});
    c.words = ReadWords(j.value("words", Json(nullptr)));
    if (j.contains("conditions")) {
      if (!j["conditions"].is_object()) throw Bad{"\"conditions\" is not an object"};
      for (const auto& [key, v] : j["conditions"].items()) {
        if (v.is_number())
          c.conditions.push_back({key, v.get<double>()});
        else if (v.is_string())
          c.conditions.push_back({key, v.get<std::string>()});
        else if (v.is_null())
          c.conditions.push_back({key, std::nan("")});
        else
          throw Bad{"condition \"" + key + "\" is neither a number nor text"};
      }
    }
    const Json& figures = Member(j, "figures");
    if (!figures.is_object()) throw Bad{"\"figures\" is not an object"};
    for (const auto& [name, f] : figures.items()) {
      try {
        Figure figure;
        figure.name = name;
        figure.value = MaybeNumber(f, "value");
        figure.lo = MaybeNumber(f, "lo");
        figure.hi = MaybeNumber(f, "hi");
        if (figure.value && (!figure.lo || !figure.hi)) throw Bad{"a value without its interval"};
        figure.unit = TextAt(f, "unit");
        figure.signedValue = !f.contains("signed") || f["signed"].get<bool>();
        figure.limit = MaybeNumber(f, "limit");
        figure.verdict = ReadVerdict(TextAt(f, "verdict"));
        figure.conditions = f.contains("conditions") ? TextAt(f, "conditions") : "";
        if (!figure.value) figure.reason = f.contains("reason") ? TextAt(f, "reason") : "";
        c.figures.push_back(std::move(figure));
      } catch (const Bad& bad) {
        throw Bad{"figure \"" + name + "\": " + bad.what};
      }
    }
    if (j.contains("warnings"))
      for (const Json& w : j["warnings"]) c.warnings.push_back(w.get<std::string>());
    if (j.contains("cycles"))
      for (const Json& k : j["cycles"])
        c.cycles.push_back({NumberAt(k, "bias_dps"), NumberAt(k, "temperature_degc"),
                            ReadWords(k.value("words", Json(nullptr)))});
    if (j.contains("bins"))
      for (const Json& b : j["bins"]) {
        const std::string ramp = TextAt(b, "ramp");
        if (ramp != "up" && ramp != "down") throw Bad{"a bin's ramp is \"" + ramp + "\""};
        c.bins.push_back({ramp == "up" ? Ramp::Up : Ramp::Down, NumberAt(b, "temperature_degc"),
                          NumberAt(b, "bias_dps"), NumberAt(b, "se_dps"), NumberAt(b, "seconds"),
                          NumberAt(b, "rate_degc_per_s"), NumberAt(b, "time_s")});
      }
    if (j.contains("plateaus"))
      for (const Json& p : j["plateaus"])
        c.plateaus.push_back({NumberAt(p, "rate_dps"), NumberAt(p, "output_lsb"),
                              NumberAt(p, "se_lsb"), NumberAt(p, "residual_lsb"),
                              p.at("used").get<bool>()});
    if (j.contains("curve") && !j["curve"].is_null()) {
      const Json& k = j["curve"];
      c.curve = TempCurve{NumberAt(k, "b0"),     NumberAt(k, "b1"), NumberAt(k, "b2"),
                          NumberAt(k, "h"),      NumberAt(k, "c"),  NumberAt(k, "from_degc"),
                          NumberAt(k, "to_degc")};
    }
    return c;
  } catch (const Bad& bad) {
    return Unexpected(bad.what + ": save it again from characterise --out");
  } catch (const nlohmann::json::exception&) {
    return Unexpected(
        std::string("holds a value of the wrong type: save it again from "
                    "characterise --out"));
  }
}

}  // namespace velk::characterise
