#include "characterise/Svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/NumberText.h"

namespace velk::characterise {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr double kFont = 8.5;
constexpr double kLegendRow = 11.0;

// The length of the valid UTF-8 sequence at the start of `s`, 0 when there is none; `code`
// gets its code point.
size_t Utf8Sequence(std::string_view s, char32_t& code) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char first = byte(0);
  size_t length = 0;
  if (first < 0x80) {
    code = first;
    return 1;
  }
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
    code = first & 0x1F;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    code = first & 0x0F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    code = first & 0x07;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i) & 0x3F);
  }
  // Overlong forms, surrogates and code points beyond Unicode are not UTF-8.
  constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kLeast[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

std::string Coord(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", v);
  return text;
}

// A linear tick's number, with as many decimals as the step needs so neighbours differ.
std::string LinearLabel(double v, double step) {
  if (std::abs(v) < step * 1e-6) v = 0.0;
  const double biggest = std::max(std::abs(v), step);
  char text[48];
  if (biggest >= 1e5 || biggest < 1e-3) {
    const int digits = std::max(
        0, static_cast<int>(std::floor(std::log10(biggest)) - std::floor(std::log10(step))));
    std::snprintf(text, sizeof text, "%.*e", digits, v);
  } else {
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
  }
  return text;
}

// A log tick's number: plain from 0.001 to 1000, else a power of ten with its exponent raised.
std::string LogLabel(double v) {
  const double exponent = std::floor(std::log10(v) + 1e-9);
  if (exponent >= -3 && exponent <= 3) return FormatSignificant(v, 4);
  const double mantissa = v / std::pow(10.0, exponent);
  std::string text =
      std::abs(mantissa - 1.0) < 1e-6 ? "" : FormatSignificant(mantissa, 1) + "\xC3\x97";
  return text + "10<tspan dy=\"-3\" font-size=\"6\">" + std::to_string(static_cast<int>(exponent)) +
         "</tspan>";
}

bool Shown(double v, bool log) {
  return std::isfinite(v) && (!log || v > 0.0);
}

// A legend entry's text, cut at a character so a long file name keeps the row.
std::string Shortened(const std::string& name, size_t most) {
  if (name.size() <= most) return name;
  size_t cut = most;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut) + "\xE2\x80\xA6";
}

struct Frame {
  double left, top, right, bottom;
  Ticks x, y;
  bool xLog, yLog;
  double X(double v) const { return Map(v, x, xLog, left, right); }
  double Y(double v) const { return Map(v, y, yLog, bottom, top); }
  static double Map(double v, const Ticks& t, bool log, double from, double to) {
    const double a = log ? std::log10(t.lo) : t.lo, b = log ? std::log10(t.hi) : t.hi;
    const double u = log ? std::log10(v) : v;
    return from + (u - a) / (b - a) * (to - from);
  }
};

void Marker(std::string& svg, const PlotSeries& s, double x, double y) {
  const bool hollow = s.style == PlotSeries::Style::HollowPoints;
  // Many points a plot: smaller, so they do not bury each other and the curves.
  const char* r = s.x.size() > 40 ? "1.5" : "2.2";
  svg += "<circle cx=\"" + Coord(x) + "\" cy=\"" + Coord(y) + "\" r=\"" + r + "\" fill=\"" +
         (hollow ? std::string("#fff") : XmlEscaped(s.colour)) + "\" stroke=\"" +
         XmlEscaped(s.colour) + "\" stroke-width=\"0.9\"/>";
}

void Bar(std::string& svg, const PlotSeries& s, const Frame& f, double x, double lo, double hi) {
  const double px = f.X(x);
  const double top = Shown(hi, f.yLog) ? f.Y(hi) : f.top;
  const double bottom = Shown(lo, f.yLog) ? f.Y(lo) : f.bottom;
  const std::string colour = XmlEscaped(s.colour);
  svg += "<path d=\"M" + Coord(px) + " " + Coord(top) + "V" + Coord(bottom) + "M" + Coord(px - 2) +
         " " + Coord(top) + "h4M" + Coord(px - 2) + " " + Coord(bottom) + "h4\" stroke=\"" +
         colour + "\" stroke-width=\"0.7\" fill=\"none\"/>";
}

void Series(std::string& svg, const PlotSeries& s, const Frame& f) {
  const bool line = s.style == PlotSeries::Style::Line || s.style == PlotSeries::Style::DashedLine;
  const size_t n = std::min(s.x.size(), s.y.size());
  if (line) {
    std::string path;
    bool open = false;
    for (size_t i = 0; i < n; ++i) {
      if (!Shown(s.x[i], f.xLog) || !Shown(s.y[i], f.yLog)) {
        open = false;
        continue;
      }
      // Appended piece by piece: g++ 12 at -O3 takes "M" + string for an overlapping copy.
      path += open ? 'L' : 'M';
      path += Coord(f.X(s.x[i])) + " " + Coord(f.Y(s.y[i]));
      open = true;
    }
    if (path.empty()) return;
    svg += "<path d=\"" + path + "\" fill=\"none\" stroke=\"" + XmlEscaped(s.colour) +
           "\" stroke-width=\"1.2\"" +
           (s.style == PlotSeries::Style::DashedLine ? " stroke-dasharray=\"4 3\"" : "") + "/>";
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    if (!Shown(s.x[i], f.xLog) || !Shown(s.y[i], f.yLog)) continue;
    if (i < s.lo.size() && i < s.hi.size() && s.lo[i] && s.hi[i])
      Bar(svg, s, f, s.x[i], *s.lo[i], *s.hi[i]);
    Marker(svg, s, f.X(s.x[i]), f.Y(s.y[i]));
  }
}

std::string Text(double x, double y, const std::string& body, const char* anchor,
                 const std::string& extra = {}) {
  return "<text x=\"" + Coord(x) + "\" y=\"" + Coord(y) + "\" text-anchor=\"" + anchor + "\"" +
         extra + ">" + body + "</text>";
}

// A linear axis a little wider than its data, so no point sits on the frame, with the ticks
// that fall inside it.
Ticks PaddedTicks(double lo, double hi, int about) {
  const double pad = (hi - lo) * 0.04;
  Ticks t = LinearTicks(lo - pad, hi + pad, about);
  if (pad <= 0.0) return t;
  t.lo = lo - pad;
  t.hi = hi + pad;
  const double slack = (t.hi - t.lo) * 1e-9;
  std::erase_if(t.at, [&](double v) { return v < t.lo - slack || v > t.hi + slack; });
  return t;
}

}  // namespace

std::string XmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    char32_t code = 0;
    const size_t length = Utf8Sequence(text, code);
    if (length == 0) {
      out += kReplacement;
      text.remove_prefix(1);
      continue;
    }
    switch (code) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if ((code < 0x20 && code != '\t' && code != '\n' && code != '\r') || code == 0xFFFE ||
            code == 0xFFFF)
          out += kReplacement;
        else
          out.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return out;
}

Ticks LinearTicks(double lo, double hi, int about) {
  if (hi < lo) std::swap(lo, hi);
  if (hi - lo <= std::max(std::abs(lo), std::abs(hi)) * 1e-9) {
    // One value: a span around it, so the axis still has ticks.
    const double half = lo == 0.0 ? 1.0 : std::abs(lo) * 0.05;
    lo -= half;
    hi += half;
  }
  const double raw = (hi - lo) / std::max(about, 1);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = power * 10.0;
  for (double m : {1.0, 2.0, 5.0})
    if (power * m >= raw * (1 - 1e-9)) {
      step = power * m;
      break;
    }
  Ticks t;
  t.step = step;
  const double first = std::floor(lo / step + 1e-9), last = std::ceil(hi / step - 1e-9);
  t.lo = first * step;
  t.hi = last * step;
  for (double k = first; k <= last + 0.5; k += 1.0) t.at.push_back(k * step);
  return t;
}

Ticks LogTicks(double lo, double hi) {
  if (hi < lo) std::swap(lo, hi);
  const int from = static_cast<int>(std::floor(std::log10(lo) + 1e-9));
  int to = static_cast<int>(std::ceil(std::log10(hi) - 1e-9));
  if (to <= from) to = from + 1;
  Ticks t;
  t.lo = std::pow(10.0, from);
  t.hi = std::pow(10.0, to);
  for (int k = from; k <= to; ++k) {
    const double decade = std::pow(10.0, k);
    t.at.push_back(decade);
    if (to - from < 2 && k < to)
      for (double m : {2.0, 5.0}) t.at.push_back(m * decade);
  }
  std::sort(t.at.begin(), t.at.end());
  return t;
}

std::string PlotSvg(const Plot& plot) {
  double xLo = INFINITY, xHi = -INFINITY, yLo = INFINITY, yHi = -INFINITY;
  const auto take = [](double v, bool log, double& lo, double& hi) {
    if (!Shown(v, log)) return;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  };
  for (const PlotSeries& s : plot.series)
    for (size_t i = 0; i < std::min(s.x.size(), s.y.size()); ++i) {
      if (!Shown(s.x[i], plot.x.log) || !Shown(s.y[i], plot.y.log)) continue;
      take(s.x[i], plot.x.log, xLo, xHi);
      take(s.y[i], plot.y.log, yLo, yHi);
      if (i < s.lo.size() && s.lo[i]) take(*s.lo[i], plot.y.log, yLo, yHi);
      if (i < s.hi.size() && s.hi[i]) take(*s.hi[i], plot.y.log, yLo, yHi);
    }
  if (xLo > xHi) return {};

  // The legend's rows, laid out before the frame so the frame starts below them.
  struct Entry {
    const PlotSeries* series;
    std::string text;
    double x;
    int row;
  };
  std::vector<Entry> legend;
  double at = 8.0;
  int row = 0;
  for (const PlotSeries& s : plot.series) {
    if (s.name.empty()) continue;
    const std::string text = XmlEscaped(Shortened(s.name, 40));
    const double width = 16.0 + static_cast<double>(Shortened(s.name, 40).size()) * kFont * 0.55;
    if (at > 8.0 && at + width > plot.width - 4.0) {
      at = 8.0;
      ++row;
    }
    legend.push_back({&s, text, at, row});
    at += width + 10.0;
  }
  const int rows = legend.empty() ? 0 : row + 1;

  Frame f{};
  f.left = 50.0;
  f.right = plot.width - 14.0;
  f.top = 20.0 + rows * kLegendRow + 4.0;
  f.bottom = plot.height - 30.0;
  f.xLog = plot.x.log;
  f.yLog = plot.y.log;
  f.x = plot.x.log ? LogTicks(xLo, xHi) : PaddedTicks(xLo, xHi, 6);
  f.y = plot.y.log ? LogTicks(yLo, yHi) : PaddedTicks(yLo, yHi, 5);

  std::string svg = "<svg viewBox=\"0 0 " + Coord(plot.width) + " " + Coord(plot.height) +
                    "\" role=\"img\" aria-label=\"" + XmlEscaped(plot.title) +
                    "\" font-family=\"sans-serif\" font-size=\"" + Coord(kFont) + "\">";
  svg += "<title>" + XmlEscaped(plot.title) + "</title>";
  svg += Text(8.0, 11.0, XmlEscaped(plot.title), "start", " font-weight=\"bold\"");
  for (const Entry& e : legend) {
    const double y = 20.0 + e.row * kLegendRow;
    const PlotSeries& s = *e.series;
    if (s.style == PlotSeries::Style::Line || s.style == PlotSeries::Style::DashedLine)
      svg += "<path d=\"M" + Coord(e.x) + " " + Coord(y - 3) + "h12\" stroke=\"" +
             XmlEscaped(s.colour) + "\" stroke-width=\"1.2\"" +
             (s.style == PlotSeries::Style::DashedLine ? " stroke-dasharray=\"4 3\"" : "") + "/>";
    else
      Marker(svg, s, e.x + 6.0, y - 3.0);
    svg += Text(e.x + 16.0, y, e.text, "start");
  }

  // Grid and ticks, the frame over them.
  std::string grid, labels;
  for (double v : f.x.at) {
    const double px = f.X(v);
    grid += 'M';
    grid += Coord(px) + " " + Coord(f.top) + "V" + Coord(f.bottom);
    const bool decade = !f.xLog || std::abs(std::log10(v) - std::round(std::log10(v))) < 1e-9;
    if (decade || f.x.at.size() <= 12)
      labels +=
          Text(px, f.bottom + 10.0, f.xLog ? LogLabel(v) : LinearLabel(v, f.x.step), "middle");
  }
  for (double v : f.y.at) {
    const double py = f.Y(v);
    grid += 'M';
    grid += Coord(f.left) + " " + Coord(py) + "H" + Coord(f.right);
    labels += Text(f.left - 3.0, py + 2.8, f.yLog ? LogLabel(v) : LinearLabel(v, f.y.step), "end");
  }
  svg += "<path d=\"" + grid + "\" stroke=\"#e2e2e2\" stroke-width=\"0.6\" fill=\"none\"/>";
  svg += "<rect x=\"" + Coord(f.left) + "\" y=\"" + Coord(f.top) + "\" width=\"" +
         Coord(f.right - f.left) + "\" height=\"" + Coord(f.bottom - f.top) +
         "\" fill=\"none\" stroke=\"#000\" stroke-width=\"0.8\"/>";
  svg += labels;
  svg += Text((f.left + f.right) / 2.0, plot.height - 6.0, XmlEscaped(plot.x.label), "middle");
  const double yMid = (f.top + f.bottom) / 2.0;
  svg += Text(11.0, yMid, XmlEscaped(plot.y.label), "middle",
              " transform=\"rotate(-90 11 " + Coord(yMid) + ")\"");
  for (const PlotSeries& s : plot.series) Series(svg, s, f);
  svg += "</svg>";
  return svg;
}

}  // namespace velk::characterise
