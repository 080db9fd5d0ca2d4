#!/usr/bin/env python3
"""Money arithmetic in `qor` against exact decimal arithmetic.

Thousands of random amounts (up to 17 integer digits, 0 to 5 decimals, either
sign) are added, subtracted, multiplied by integers and short floats (both
ways round) and divided by a random integer in one script run by the real
`qor`; each result, molded with all five decimals, must equal what Python's
`decimal` computes: sums and differences exactly, products and quotients
truncated to five decimals, and `type-limit` exactly when the result needs
more than 17 integer digits.

Usage: money_decimal.py QOR_BINARY [COUNT] [SEED]
"""
import decimal
import random
import sys

import qor_script

D = decimal.Decimal
decimal.getcontext().prec = 80
LIMIT = D(10) ** 17          # the first magnitude money cannot hold
STEP = D("0.00001")          # five decimals


def random_amount(rng):
    """A random amount with its source text."""
    int_digits = rng.choice([0, 1, 2, 3, 5, 8, 10, 12, 15, 17])
    frac_digits = rng.randint(0, 5)
    whole = str(rng.randrange(10 ** int_digits)) if int_digits else "0"
    frac = "".join(rng.choice("0123456789") for _ in range(frac_digits))
    sign = rng.choice(["", "-"])
    text = f"{sign}$" + whole + (f".{frac}" if frac else "")
    return D(sign + whole + (f".{frac}" if frac else "")), text


def random_factor(rng):
    """An integer! or a float! of at most 14 significant digits (so its
    shortest text is exactly the decimal it was written as), with its text."""
    if rng.random() < 0.5:
        n = rng.randrange(-2 ** rng.randint(1, 31), 2 ** rng.randint(1, 31))
        return D(n), str(n)
    whole = str(rng.randrange(10 ** rng.randint(1, 9)))
    frac = "".join(rng.choice("0123456789") for _ in range(rng.randint(1, 5)))
    text = rng.choice(["", "-"]) + whole + "." + frac
    return D(text), text


def truncate(value):
    return value.quantize(STEP, rounding=decimal.ROUND_DOWN)


def expected(value):
    """mold/all of a result, or the error id."""
    if abs(value) >= LIMIT:
        return "type-limit"
    value = truncate(value)
    text = f"{abs(value):.5f}"
    return ("-$" if value < 0 else "$") + text


def main():
    qor = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 4000
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 2718)
    lines = ["t: func [code] [either error? e: try code [print e/id] [print mold/all :e]]"]
    wanted = []
    for _ in range(count):
        (a, ta), (b, tb) = random_amount(rng), random_amount(rng)
        f, tf = random_factor(rng)
        n = rng.choice([1, 2, 3, 7, 9, 10, 11, 99, 1000, 65536, -3, -7, 2147483647])
        lines += [f"t [{ta} + {tb}]", f"t [{ta} - {tb}]", f"t [{ta} * {tf}]", f"t [{tf} * {ta}]",
                  f"t [{ta} / {n}]"]
        wanted += [expected(a + b), expected(a - b), expected(a * f), expected(a * f), expected(a / n)]
    got = qor_script.run(qor, lines)
    failures = 0
    for i, want in enumerate(wanted):
        have = got[i] if i < len(got) else "<missing>"
        if have != want:
            failures += 1
            if failures <= 10:
                print(f"{lines[i + 1]}: qor {have}, decimal {want}")
    if len(got) != len(wanted):
        print(f"qor printed {len(got)} lines for {len(wanted)} cases")
        failures = max(failures, 1)
    print(f"{len(wanted) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
