// date!: a calendar date with an optional time of day and time zone, in
// one cell (the packed word and the calendar are date_calendar.h's). Dates
// are written as day, month name and year, then "/" and the local time and
// zone: 15-Mar-2024/10:30:00+05:30.
//
// Two dates compare by the instant they denote, so the same moment written
// in two zones is equal; `same?` asks for identical bits.
#pragma once

#include <cstdint>

#include "runtime/core/cell.h"
#include "runtime/datatypes/date_calendar.h"
#include "runtime/datatypes/actions.h"

namespace qor::date {

// The fields, by the index that paths and pick use.
enum class Field : uint8_t {
    date = 1, year, month, day, zone, time, hour, minute, second, weekday, yearday, timezone, week, isoweek,
};
inline constexpr int32_t field_count = 14;
[[nodiscard]] constexpr int32_t to_int32(Field f) { return static_cast<int32_t>(f); }

// The field index (1-14) a word names, -1 when it names none (`julian` is
// `yearday`).
[[nodiscard]] int32_t get_field(const Cell& word);

// The value of field 1-14 of a date (read from its local time).
[[nodiscard]] Cell field_value(const Cell& date, int32_t index);

// The date's local time of day: the stored time shifted by its zone (0:00
// for a date without a time).
[[nodiscard]] double local_time(const Cell& date);

// add and subtract with the date in the result slot and a number of days,
// a time! or (subtract) another date in the second argument cell.
Cell* add_subtract(bool subtract);

// The path access and pick of date! (date_fields.cpp).
Cell* eval_path(const actions::EvalPathArgs& args);
const Cell* pick(Cell* date, Cell* index_cell, int32_t index);

// script `bad-to-arg` with date! and the value.
[[noreturn]] void invalid_arg(const Cell& value);

// Where the month names of the text form come from: the environment
// installs a reader of system/locale/months; until then the English names
// serve.
using MonthNames = Cell (*)();
void install_month_names(MonthNames reader);

void init();  // registers date!

}  // namespace qor::date
