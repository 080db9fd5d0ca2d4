#!/usr/bin/env python3
"""Bitset operations in `qor` against set operations in Python.

Random bitsets are made from random specs (characters, integers, ranges and
strings, some complemented with `not`); `union`, `intersect`, `exclude`,
`difference`, `and`, `or`, `xor` and `complement` are applied to random
pairs in one script run by the real `qor`. A complemented bitset stands for
everything but a finite set, so each one is modelled as a finite set with a
flag, and membership is `(n in members) != complemented`. For every result
the script prints its molded text, which is decoded here, and its answers to
`pick` at probe positions, and both must agree with the model, far beyond
the stored bytes too.

Usage: bitset_sets.py QOR_BINARY [COUNT] [SEED]
"""
import random
import re
import sys

import qor_script

PROBES = [0, 1, 7, 8, 63, 64, 97, 200, 255, 256, 511, 1000, 1023, 4096, 65535, 70000, 1114111]


class Model:
    def __init__(self, members, complemented):
        self.members, self.complemented = frozenset(members), complemented

    def has(self, n):
        return (n in self.members) != self.complemented

    def combine(self, other, op):
        # Over the union of the listed members the operation is exact;
        # beyond them each side reads its flag.
        universe = self.members | other.members
        flag = op(self.complemented, other.complemented)
        members = {n for n in universe if op(self.has(n), other.has(n)) != flag}
        return Model(members, flag)


OPS = {
    "union": lambda a, b: a or b,
    "intersect": lambda a, b: a and b,
    "exclude": lambda a, b: a and not b,
    "difference": lambda a, b: a != b,
}
INFIX = {"or": "union", "and": "intersect", "xor": "difference"}


def random_spec(rng):
    """A spec block's text and the members it names."""
    items, members = [], set()
    top = rng.choice([16, 300, 3000])
    for _ in range(rng.randint(0, 6)):
        kind = rng.random()
        if kind < 0.35:
            n = rng.randrange(top)
            items.append(str(n))
            members.add(n)
        elif kind < 0.6:
            lo = rng.randrange(top)
            hi = lo + rng.randrange(40)
            items.append(f"{lo} - {hi}")
            members.update(range(lo, hi + 1))
        elif kind < 0.8:
            c = rng.randrange(32, 127)
            items.append(f'#"{chr(c)}"' if chr(c) not in '"^' else f"{c}")
            members.add(c)
        else:
            text = "".join(chr(rng.randrange(97, 123)) for _ in range(rng.randint(1, 4)))
            items.append(f'"{text}"')
            members.update(ord(ch) for ch in text)
    complemented = rng.random() < 0.5
    spec = ("[not " if complemented else "[") + " ".join(items) + "]"
    return spec, Model(members, complemented)


def decode(text):
    """The model of a molded bitset. The bytes shown are the members of a
    plain set and the non-members of a complemented one (its text shows the
    set it is the complement of), which is what the model lists either way."""
    m = re.fullmatch(r"make bitset! (\[not )?#\{([0-9A-F]*)\}\]?", text)
    if not m:
        return None
    data = bytes.fromhex(m.group(2))
    listed = {i * 8 + bit for i, b in enumerate(data) for bit in range(8) if b & (0x80 >> bit)}
    return Model(listed, m.group(1) is not None)


def main():
    qor = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1414)
    probes = "[" + " ".join(map(str, PROBES)) + "]"
    lines = [f"probes: {probes}",
             "t: func [b] [print mold b print mold collect [foreach p probes [keep pick b p]]]"]
    cases = []
    for _ in range(count):
        (sa, a), (sb, b) = random_spec(rng), random_spec(rng)
        op = rng.choice(list(OPS) + list(INFIX) + ["complement"])
        if op == "complement":
            lines.append(f"t complement make bitset! {sa}")
            cases.append((lines[-1], Model(a.members, not a.complemented)))
        elif op in INFIX:
            lines.append(f"t (make bitset! {sa}) {op} make bitset! {sb}")
            cases.append((lines[-1], a.combine(b, OPS[INFIX[op]])))
        else:
            lines.append(f"t {op} make bitset! {sa} make bitset! {sb}")
            cases.append((lines[-1], a.combine(b, OPS[op])))
    got = qor_script.run(qor, lines)
    failures = 0
    for i, (line, want) in enumerate(cases):
        molded = got[2 * i] if 2 * i < len(got) else "<missing>"
        picks = got[2 * i + 1] if 2 * i + 1 < len(got) else "<missing>"
        have = decode(molded)
        limit = max(list(want.members) + [0]) + 64
        positions = list(range(limit)) + PROBES
        wrong = have is None or have.complemented != want.complemented or any(
            have.has(n) != want.has(n) for n in positions)
        want_picks = "[" + " ".join("true" if want.has(p) else "false" for p in PROBES) + "]"
        if wrong or picks != want_picks:
            failures += 1
            if failures <= 10:
                print(f"{line}\n  qor {molded} {picks}\n  expected flag {want.complemented}, picks {want_picks}")
    print(f"{len(cases) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
