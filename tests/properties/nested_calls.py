#!/usr/bin/env python3
"""Random recursive functions in `qor` against the same functions in Python.

Each case is a handful of functions over integers whose bodies are pure
expressions: words, constants, `+ - *` and comparisons evaluated left to
right, parens, `either` and `if` over literal blocks, bodies of several
expressions, and calls of the case's functions (themselves included) with a
count that goes down, so that every recursion ends. Such bodies run nested
inside the programs that call them once their blocks have forms, so each
call is made three times in a loop: the first run goes through the plain
walker, the later ones through the nested runs, and all must give the value
Python computes. Cases whose values would leave the 32-bit integer range
are drawn again.

Usage: nested_calls.py QOR_BINARY [COUNT] [SEED]
"""
import random
import sys

import qor_script

LIMIT = 2**31 - 1


class Range(Exception):
    """A value left the integer range: the case is drawn again."""


def checked(v):
    if isinstance(v, int) and not isinstance(v, bool) and abs(v) > LIMIT:
        raise Range()
    return v


ARITH = {"+": lambda x, y: x + y, "-": lambda x, y: x - y, "*": lambda x, y: x * y}
COMPARE = {"<": lambda x, y: x < y, ">": lambda x, y: x > y, "<=": lambda x, y: x <= y,
           ">=": lambda x, y: x >= y, "=": lambda x, y: x == y, "<>": lambda x, y: x != y}


class Case:
    """The functions of one case: their source and their Python model."""

    def __init__(self, rng, count):
        self.rng = rng
        self.names = ["f%d" % k for k in range(count)]
        self.bodies = [None] * count
        self.sources = []
        for k in range(count):
            text, model = self.body(k)
            self.bodies[k] = model
            self.sources.append("%s: func [n a] [%s]" % (self.names[k], text))

    # A leaf: a word or a small constant, its text and model.
    def leaf(self):
        r = self.rng.random()
        if r < 0.35:
            return "n", lambda env: env["n"]
        if r < 0.7:
            return "a", lambda env: env["a"]
        c = self.rng.randint(-3, 9)
        return str(c), lambda env, c=c: c

    # An integer expression; `calls` allows calls (the count is at least 1).
    def expr(self, depth, calls):
        r = self.rng.random()
        if calls and depth > 0 and r < 0.3:
            return self.call(depth - 1)
        if depth <= 0 or r < 0.25:
            return self.leaf()
        if r < 0.45:
            # A chain of leaves, left to right; `*` only by a constant.
            text, model = self.leaf()
            for _ in range(self.rng.randint(1, 3)):
                op = self.rng.choice("+-")
                t2, m2 = self.leaf()
                text, model = "%s %s %s" % (text, op, t2), (
                    lambda env, m1=model, m2=m2, f=ARITH[op]: checked(f(m1(env), m2(env))))
            if self.rng.random() < 0.3:
                c = self.rng.randint(-2, 3)
                text, model = "%s * %d" % (text, c), (lambda env, m1=model, c=c: checked(m1(env) * c))
            return text, model
        if r < 0.65:
            op = self.rng.choice("+-")
            t1, m1 = self.expr(depth - 1, calls)
            t2, m2 = self.expr(depth - 1, calls)
            return "(%s) %s (%s)" % (t1, op, t2), (lambda env, f=ARITH[op]: checked(f(m1(env), m2(env))))
        if r < 0.8:
            ct, cm = self.cond(depth - 1, calls)
            t1, m1 = self.expr(depth - 1, calls)
            t2, m2 = self.expr(depth - 1, calls)
            return "(either %s [%s] [%s])" % (ct, t1, t2), (lambda env: m1(env) if cm(env) else m2(env))
        return self.leaf()

    def cond(self, depth, calls):
        op = self.rng.choice(list(COMPARE))
        t1, m1 = self.expr(depth, calls) if self.rng.random() < 0.3 else self.leaf()
        t2, m2 = self.leaf()
        if " " in t1:
            t1 = "(%s)" % t1
        return "%s %s %s" % (t1, op, t2), (lambda env, f=COMPARE[op]: f(m1(env), m2(env)))

    # A call of one of the case's functions with the count one less.
    def call(self, depth):
        k = self.rng.randrange(len(self.names))
        t, m = self.expr(depth, False)
        return "(%s n - 1 %s)" % (self.names[k], t), (
            lambda env, k=k: self.bodies[k]({"n": env["n"] - 1, "a": m(env)}))

    # A body: `either n < 1 [base] [recursive]`, perhaps after an expression
    # whose value is dropped, or an `if` whose false condition gives none.
    def body(self, k):
        bt, bm = self.expr(2, False)
        if self.rng.random() < 0.5:
            # Two calls under an operator, as in fib.
            op = self.rng.choice("+-")
            t1, m1 = self.call(1)
            t2, m2 = self.call(1)
            rt, rm = "%s %s %s" % (t1, op, t2[1:-1]), (lambda env, f=ARITH[op]: checked(f(m1(env), m2(env))))
        else:
            rt, rm = self.expr(3, True)
        text = "either n < 1 [%s] [%s]" % (bt, rt)
        model = lambda env: bm(env) if env["n"] < 1 else rm(env)
        if self.rng.random() < 0.2:
            dt, dm = self.expr(1, False)
            text, inner = "%s %s" % (dt, text), model
            model = lambda env: (dm(env), inner(env))[1]
        return text, model

    def value(self, k, n, a):
        return self.bodies[k]({"n": n, "a": a})


def mold(v):
    if v is None:
        return "none"
    if isinstance(v, bool):
        return "true" if v else "false"
    return str(v)


def mold_block(values):
    return "[%s]" % " ".join(mold(v) for v in values)


def main():
    qor = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 400
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 20261211)
    lines, expected = [], []
    made = 0
    while made < count:
        case = Case(rng, rng.randint(1, 3))
        calls = [(k, rng.randint(0, 5), rng.randint(-5, 9)) for k in range(len(case.names)) for _ in range(2)]
        try:
            values = [case.value(k, n, a) for k, n, a in calls]
        except Range:
            continue
        made += 1
        lines.extend(case.sources)
        for (k, n, a), v in zip(calls, values):
            lines.append("loop 3 [print mold %s %d %d]" % (case.names[k], n, a))
            expected.extend([mold(v)] * 3)
        # `if` over a call, its program's first nested step: none on a
        # false condition.
        k, n, a = calls[0]
        lines.append("out: copy [] loop 3 [r: if %d > 2 [%s %d %d] append out r] print mold out" %
                     (n, case.names[k], n, a))
        expected.append(mold_block([values[0] if n > 2 else None] * 3))
    out = qor_script.run(qor, lines)
    if out != expected:
        for i, (got, want) in enumerate(zip(out, expected)):
            if got != want:
                print("output line %d: qor printed %r, expected %r" % (i + 1, got, want))
                break
        else:
            print("qor printed %d lines, expected %d" % (len(out), len(expected)))
        print("\n".join(lines[:60]))
        return 1
    print("%d cases, %d values checked" % (count, len(expected)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
