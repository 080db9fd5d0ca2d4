// percent!: a float! shown as a percentage. The payload is the fraction
// itself (50% holds 0.5 in words 2-3); only form and mold are its own, every
// other action comes from float!, whose child it is.
#pragma once

#include "runtime/core/cell.h"

namespace qor::percent {

[[nodiscard]] inline double get(const Cell& c) { return get_double(c); }
Cell* make_at(Cell& cell, double d);
Cell* push(double d);

void init();  // registers percent! (after float!)

}  // namespace qor::percent
