#!/usr/bin/env python3
"""Checks qor's dates against Python's datetime on random dates and zones.

Each case is one `print` line sent to one `qor` process; the line it prints
is compared with what datetime computes for the same date:
- field reads of a date with a time and a zone (year to second, weekday,
  day of the year, ISO week, Sunday-based week);
- adding days, and adding a time;
- date - date (whole days between the instants, rounded down) and the
  `difference` of two dates in seconds;
- the ordering of two instants, written in the same or in other zones
  (among them the same instant in two zones, and instants a moment apart);
- ISO week dates and ordinal dates read by the lexer;
- seconds since 1970 both ways;
- `now` against the system clock, and the time per run that `clock`
  reports for a block that waits 10 milliseconds.

The dates are drawn with a fixed seed, so a failure repeats.

Usage: date_properties.py QOR_BINARY [CASES_PER_KIND]
"""
import datetime as dt
import random
import re
import subprocess
import sys

MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
UTC = dt.timezone.utc


def zone_text(offset_minutes):
    sign = "-" if offset_minutes < 0 else "+"
    m = abs(offset_minutes)
    return f"{sign}{m // 60:02d}:{m % 60:02d}"


def literal(d, with_time=True):
    """The source text of an aware datetime (or a date)."""
    text = f"{d.day}-{MONTHS[d.month - 1]}-{d.year:04d}"
    if not with_time:
        return text
    seconds = f"{d.second:02d}" + (f".{d.microsecond // 1000:03d}" if d.microsecond else "")
    offset = int(d.utcoffset().total_seconds()) // 60
    return f"{text}/{d.hour}:{d.minute:02d}:{seconds}{zone_text(offset)}"


def random_zone(rng):
    return dt.timezone(dt.timedelta(minutes=15 * rng.randint(-63, 63)))


def random_datetime(rng, first_year=1, last_year=9999):
    day = dt.date(first_year, 1, 1) + dt.timedelta(
        days=rng.randint(0, (dt.date(last_year, 12, 31) - dt.date(first_year, 1, 1)).days))
    return dt.datetime(day.year, day.month, day.day, rng.randint(0, 23), rng.randint(0, 59), rng.randint(0, 59),
                       rng.choice([0, rng.randint(0, 999) * 1000]), tzinfo=random_zone(rng))


def sunday_week(d):
    """Weeks starting on Sunday, week 1 holding 1 January."""
    yday0 = d.timetuple().tm_yday - 1
    wday = d.isoweekday() % 7  # Sunday = 0
    jan1_sunday = dt.date(d.year, 1, 1).isoweekday() == 7
    return (yday0 + 7 - wday) // 7 + (0 if jan1_sunday else 1)


def fields(d):
    return [d.year, d.month, d.day, d.hour, d.minute, d.second + d.microsecond / 1e6]


FIELD_PATHS = "r/year r/month r/day r/hour r/minute r/second"


def build_cases(rng, n):
    """(qor line, expected values, description) triples."""
    cases = []
    for _ in range(n):
        d = random_datetime(rng)
        cases.append((f"r: {literal(d)} print [{FIELD_PATHS} r/weekday r/yearday r/isoweek r/week]",
                      fields(d) + [d.isoweekday(), d.timetuple().tm_yday, d.isocalendar()[1], sunday_week(d)],
                      f"fields of {literal(d)}"))
    for _ in range(n):
        d = random_datetime(rng)
        k = rng.randint(-200000, 200000)
        try:
            r = d + dt.timedelta(days=k)
        except OverflowError:
            continue
        if not 1 <= r.year <= 9999:
            continue
        cases.append((f"r: {literal(d)} + {k} print [{FIELD_PATHS}]", fields(r), f"{literal(d)} + {k}"))
    for _ in range(n):
        d = random_datetime(rng, 2, 9998)
        s = rng.randint(-500000, 500000)
        r = d + dt.timedelta(seconds=s)
        h, rest = divmod(abs(s), 3600)
        t = f"{'-' if s < 0 else ''}{h}:{rest // 60:02d}:{rest % 60:02d}"
        cases.append((f"r: {literal(d)} + {t} print [{FIELD_PATHS}]", fields(r), f"{literal(d)} + {t}"))
    for _ in range(n):
        a, b = random_datetime(rng, 2, 9998), random_datetime(rng, 2, 9998)
        if rng.random() < 0.3:
            b = a + dt.timedelta(seconds=rng.randint(-200000, 200000))
            b = b.astimezone(random_zone(rng))
        cases.append((f"a: {literal(a)} b: {literal(b)} print [a - b to float! difference a b]",
                      [(a - b).days, (a - b).total_seconds()], f"{literal(a)} - {literal(b)}"))
    for _ in range(n // 2):
        a, b = random_datetime(rng).date(), random_datetime(rng).date()
        cases.append((f"print {literal(a, False)} - {literal(b, False)}", [(a - b).days],
                      f"{literal(a, False)} - {literal(b, False)}"))
    for _ in range(n):
        a = random_datetime(rng, 2, 9998)
        kind = rng.randrange(3)
        if kind == 0:
            b = random_datetime(rng, 2, 9998)
        elif kind == 1:
            b = a.astimezone(random_zone(rng))  # the same instant elsewhere
        else:
            b = (a + dt.timedelta(milliseconds=rng.choice([-1000, -1, 1, 1000]))).astimezone(random_zone(rng))
        cases.append((f"a: {literal(a)} b: {literal(b)} print [a < b a = b a > b a <= b]",
                      [a < b, a == b, a > b, a <= b], f"{literal(a)} against {literal(b)}"))
    for _ in range(n // 2):
        year = rng.randint(1, 9999)
        weeks = dt.date(year, 12, 28).isocalendar()[1]
        week, day = rng.randint(1, weeks), rng.randint(1, 7)
        d = dt.date.fromisocalendar(year, week, day)
        cases.append((f"r: {year:04d}-W{week:02d}-{day} print [r/year r/month r/day r/isoweek r/weekday]",
                      [d.year, d.month, d.day, week, day], f"{year:04d}-W{week:02d}-{day}"))
        yday = rng.randint(1, 366 if dt.date(year, 12, 31).timetuple().tm_yday == 366 else 365)
        d = dt.date(year, 1, 1) + dt.timedelta(days=yday - 1)
        cases.append((f"r: {year:04d}-{yday:03d} print [r/year r/month r/day r/yearday]",
                      [d.year, d.month, d.day, yday], f"{year:04d}-{yday:03d}"))
    for _ in range(n // 2):
        i = rng.randint(-2**31, 2**31 - 1)
        d = dt.datetime.fromtimestamp(i, UTC)
        cases.append((f"r: to date! {i} print [{FIELD_PATHS} to integer! r]", fields(d) + [i], f"to date! {i}"))
        d = random_datetime(rng, 1902, 2037).replace(microsecond=0)
        e = int(d.timestamp())
        if -2**31 <= e < 2**31:
            cases.append((f"print to integer! {literal(d)}", [e], f"to integer! {literal(d)}"))
    return cases


def parse(word):
    if word in ("true", "false"):
        return word == "true"
    try:
        return int(word)
    except ValueError:
        return float(word)


def same(got, want):
    if isinstance(want, bool) or isinstance(want, int) and not isinstance(got, float):
        return got == want
    return abs(got - want) <= 1e-6 * max(1.0, abs(want))


def main():
    qor = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    cases = build_cases(random.Random(20240315), n)
    marker = "-- case --"
    text = "".join(f"{line}\nprint {{{marker}}}\n" for line, _, _ in cases)
    # now against the clock, read once before and once after.
    before = dt.datetime.now(UTC)
    text += "n: now/utc u: now print [n/year n/month n/day n/hour n/minute n/second u/zone]\n"
    text += f"print {{{marker}}}\nclock/times [wait 0.01] 3\n"
    run = subprocess.run([qor], input=text, capture_output=True, text=True, timeout=3000)
    after = dt.datetime.now(UTC)
    blocks = run.stdout.split(marker + "\n")
    if len(blocks) != len(cases) + 2:
        print(f"expected {len(cases) + 2} outputs, got {len(blocks)}:\n{run.stdout[-2000:]}{run.stderr}")
        return 1
    failures = 0
    for (line, want, what), out in zip(cases, blocks):
        lines = out.strip().split("\n")
        got_text = lines[-1] if lines else ""
        try:
            got = [parse(w) for w in got_text.split()]
            ok = len(got) == len(want) and all(same(g, w) for g, w in zip(got, want))
        except ValueError:
            ok = False
        if not ok:
            failures += 1
            if failures <= 20:
                print(f"FAIL {what}\n  qor:      {got_text}\n  expected: {' '.join(map(str, want))}")
    last = blocks[-2].strip().split("\n")[-1].split()
    y, mo, d, h, mi = (int(v) for v in last[:5])
    now = dt.datetime(y, mo, d, h, mi, int(float(last[5])), tzinfo=UTC)
    zone_seconds = dt.datetime.now().astimezone().utcoffset().total_seconds()
    zh, zm, _ = (int(p) for p in last[6].lstrip("-").split(":"))
    zone = (zh * 3600 + zm * 60) * (-1 if last[6].startswith("-") else 1)
    if not before - dt.timedelta(seconds=1) <= now <= after + dt.timedelta(seconds=1):
        failures += 1
        print(f"FAIL now/utc {' '.join(last)} is not between {before} and {after}")
    if zone != round(zone_seconds / 900) * 900:
        failures += 1
        print(f"FAIL now/zone {last[6]} against the local offset of {zone_seconds} seconds")
    report = re.fullmatch(r"(\d+(?:\.\d*)?) ms\t\[wait 0\.01\]\n== none\n", blocks[-1])
    if not report or not 10 <= float(report.group(1)) < 500:
        failures += 1
        print(f"FAIL clock reported {blocks[-1]!r}")
    print(f"{len(cases) + 2} cases, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
