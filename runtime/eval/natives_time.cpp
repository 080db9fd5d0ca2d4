// The clock natives: now (the date and time, or one field of it) and wait.
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/none.h"
#include "runtime/core/error_fire.h"
#include "runtime/eval/natives_impl.h"
#include "runtime/platform/clock.h"

namespace qor::natives {

namespace impl {

namespace {

// The refinements of now, in the order of its spec.
enum NowRefinement : size_t { year, month, day, time, zone, date_only, weekday, yearday, precise, utc };

// The current date, in UTC or in the local zone, from one reading of the
// clock, with sub-second digits at the resolution of 100 nanoseconds.
Cell current_date(bool in_utc, bool with_fraction) {
    const platform::ClockReading clock = platform::read_clock();
    const uint32_t zone = in_utc ? 0 : date::zone_of_offset(clock.offset);
    const double fraction = with_fraction ? (clock.nanoseconds / 100) * 100 / 1e9 : 0.0;
    Cell c{};
    date::make_from_epoch(c, clock.seconds, fraction, zone);
    return c;
}

void n_now(bool, std::span<const int32_t> refs) {
    auto given = [&](NowRefinement r) { return refs[r] >= 0; };
    int fields = 0;
    for (NowRefinement r : {year, month, day, time, zone, date_only, weekday, yearday, precise})
        if (given(r)) fields++;
    if (fields > 1 && !(fields == 2 && given(time) && given(precise))) error::fire(error::Id::bad_refines);

    Cell now = current_date(given(utc), given(precise));
    if (given(date_only)) {
        now.w1 &= ~(date::time_flag | date::zone_mask);
        set_double(now, 0.0);
        *arg(0) = now;
        return;
    }
    date::Field field{};
    if (given(year)) field = date::Field::year;
    else if (given(month)) field = date::Field::month;
    else if (given(day)) field = date::Field::day;
    else if (given(zone)) field = date::Field::zone;
    else if (given(time)) field = date::Field::time;
    else if (given(weekday)) field = date::Field::weekday;
    else if (given(yearday)) field = date::Field::yearday;
    *arg(0) = field == date::Field{} ? now : date::field_value(now, date::to_int32(field));
}

WaitHook wait_hook = nullptr;

// The one place where `wait` lets time pass: an open view runs its event
// loop meanwhile, else the process sleeps.
void pass_time(double seconds) {
    if (wait_hook && wait_hook(seconds)) return;
    platform::wait(seconds);
}

// wait duration: an integer! or float! of seconds, or a time!.
void n_wait(bool, std::span<const int32_t>) {
    const Cell v = *arg(0);
    double seconds;
    switch (type_of(v)) {
        case TypeId::integer: seconds = get_int(v); break;
        case TypeId::float_:
        case TypeId::time: seconds = get_double(v); break;
        default: error::fire(error::Id::invalid_arg, {v});
    }
    *arg(0) = none::value;
    pass_time(seconds);
}

}  // namespace

}  // namespace impl

void set_wait_hook(WaitHook hook) { impl::wait_hook = hook; }

namespace impl {

void install_time(Table& r) {
    r[Native::wait] = n_wait;
    r[Native::now] = n_now;
}

}  // namespace impl

}  // namespace qor::natives
