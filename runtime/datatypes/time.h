// time!: a duration or a time of day as a number of seconds, an IEEE double
// in payload words 2-3 (negative for negative durations). A child of float!:
// comparison, absolute, negate, remainder and random are float!'s, and its
// arithmetic falls back on float!'s; construction from blocks and text, the
// text form "h:mm:ss", the hour, minute and second fields and the rules for
// mixing times with dates are its own. A date! keeps its time of day as the
// same double.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"

namespace qor::time_ {

Cell* make_at(Cell& cell, double seconds);

// Appends the text form of a number of seconds: an optional "-", the hours,
// two-digit minutes and two-digit seconds with their fraction (3725.5 is
// 1:02:05.5). Answers the number of characters appended.
int32_t form_seconds(double seconds, Cell& buffer);

// The field a path element or pick index names: 1 hour, 2 minute,
// 3 second (an integer 1-3 or one of those words); 0 for anything else.
[[nodiscard]] int32_t field_index(const Cell& element);

// The value of field 1-3 of a number of seconds: the hours truncated and
// the minutes as integer!, the seconds (keeping the sign) as float!.
[[nodiscard]] Cell field_value(double seconds, int32_t field);

// The seconds with field 1-3 replaced: hour and minute take an integer!,
// second an integer! or float!; another value raises `invalid-arg`.
[[nodiscard]] double assign_field(double seconds, int32_t field, const Cell& value);

void init();  // registers time! (after float!)

}  // namespace qor::time_
