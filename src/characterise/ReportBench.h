#pragma once

#include <optional>
#include <string>

#include "characterise/Characterisation.h"
#include "characterise/Svg.h"

namespace velk::characterise {

// The rate table's plateau residuals against rate, in % FS when the document holds the
// scale factor and the full scale (else LSB), the plateaus the fit left out hollow; nullopt
// when it has no plateaus.
std::optional<Plot> ScaleResidualPlot(const Characterisation& doc);

// The hand turn's error budget as an HTML table, a column a direction: each term in deg and
// its share of the variance; empty when the document holds no budget.
std::string TurnBudgetTable(const Characterisation& doc);

// The tumble's six position means as an HTML table, a row an axis (up, down, half their
// difference); empty when the document holds none.
std::string TumbleMeansTable(const Characterisation& doc);

}  // namespace velk::characterise
