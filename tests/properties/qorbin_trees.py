#!/usr/bin/env python3
"""Random value trees through the qorbin codec, in both encodings.

Each case builds a random graph of blocks, parens, strings, binaries,
vectors, images, objects and maps in one script run by the real `qor`: their contents are
random scalars (integers, floats, percents, chars, words, pairs, tuples,
dates, times, money, issues) and references to other nodes of the graph,
forwards and backwards, so that series are shared and cycles appear. The
root is saved with the codec and loaded back, and both sides are walked by
the same function, which lists every value and, for every series or object,
whether it is met for the first time (with its type and index) or again
(with the number of its first meeting). The two listings must be equal: the
values are equal and shared exactly where the original shares them.

Usage: qorbin_trees.py QOR_BINARY [COUNT] [SEED]
"""
import random
import sys

import qor_script

SHAPE = r"""
shape: func [v /local seen out walk] [
    seen: copy [] out: copy []
    walk: func [x [any-type!] /local i h] [
        either any [any-block? :x any-string? :x binary? :x vector? :x image? :x object? :x map? :x] [
            h: either any [object? :x map? :x] [:x] [head x]
            i: 0
            foreach s seen [i: i + 1 if same? :s :h [append out reduce ['again i] exit]]
            append/only seen :h
            append out reduce ['new type? :x]
            case [
                object? :x [foreach w words-of x [append out w walk get/any in x w]]
                map? :x [foreach [k val] body-of x [walk :k walk :val]]
                any-block? :x [append out index? x foreach y h [walk :y]]
                true [append out index? x append out mold h]
            ]
        ] [append out either value? 'x [mold/all :x] ['unset]]
    ]
    walk :v
    out
]
check: func [name root /local c r] [
    foreach c reduce [true false] [
        r: load/as system/codecs/qorbin/encode* root c 'qorbin
        print either (mold shape root) == (mold shape r) [rejoin [name " ok"]] [rejoin [name " MISMATCH " c]]
    ]
]
"""


def scalar(rng):
    kind = rng.randrange(12)
    if kind == 0:
        return str(rng.randint(-2**31, 2**31 - 1))
    if kind == 1:
        return str(rng.randint(0, 70))
    if kind == 2:
        return repr(rng.choice([0.5, -2.25, 3.0, 1e-10, 6.02e23, -0.0, 123456.789]))
    if kind == 3:
        return rng.choice(["12%", "12.5%", "-3%", "0.1%"])
    if kind == 4:
        return rng.choice(['#"a"', '#"^(1F600)"', '#"^(E9)"'])
    if kind == 5:
        return rng.choice(["'alpha", "quote beta:", "quote :gamma", "/delta", "#issue"])
    if kind == 6:
        return f"{rng.randint(-99, 99)}x{rng.randint(-99, 99)}"
    if kind == 7:
        return rng.choice(["1.2.3", "10.20.30.40", "1.2.3.4.5.6"])
    if kind == 8:
        return rng.choice(["1-Jan-2000", "29-Feb-2024/23:59:59", "3-Mar-1999/1:02:03-05:00"])
    if kind == 9:
        return rng.choice(["10:20:30", "-0:00:01.5", "$1.25", "-$7", "EUR$3.5"])
    if kind == 10:
        return rng.choice(["none", "true", "false"])
    return rng.choice(['"text"', '"déjà"', '"x^(1F600)"', "#{00FF}"])


VECTORS = [
    '[char! 8 [#"a" #"b"]]', '[char! 32 [#"^(1F600)"]]', "[integer! 8 [-128 127 0]]",
    "[integer! 16 [-1 300]]", "[integer! 32 [-2147483648 5]]", "[float! 32 [1.5 -0.25]]",
    "[float! 64 [1e300 -0.0]]", "[percent! [12.5% 200%]]", "[integer! 32 []]",
]
IMAGES = [
    "[2x2 1.2.3]", "[2x1 #{010203040506} #{00FF}]", "[3x1 #{010203040506070809}]", "[0x4]",
]


def make_case(rng, name):
    n = rng.randint(1, 12)
    kinds = [rng.choice(["block", "paren", "string", "binary", "vector", "image", "object", "map"]) for _ in range(n)]
    lines = []
    for i, kind in enumerate(kinds):
        if kind == "block":
            lines.append(f"n{i}: reduce [{' '.join(scalar(rng) for _ in range(rng.randint(0, 4)))}]")
        elif kind == "paren":
            lines.append(f"n{i}: to paren! reduce [{' '.join(scalar(rng) for _ in range(rng.randint(0, 3)))}]")
        elif kind == "string":
            lines.append(f'n{i}: copy "{rng.choice(["abc", "déjà vu", "z", ""])}"')
        elif kind == "binary":
            lines.append(f"n{i}: copy #{{{rng.choice(['', '01', 'DEADBEEF'])}}}")
        elif kind == "vector":
            lines.append(f"n{i}: make vector! {rng.choice(VECTORS)}")
        elif kind == "image":
            lines.append(f"n{i}: make image! {rng.choice(IMAGES)}")
        elif kind == "object":
            fields = " ".join(f"f{k}: {scalar(rng)}" for k in range(rng.randint(1, 3)))
            lines.append(f"n{i}: make object! [{fields}]")
        else:
            pairs = " ".join(f"'k{k} {scalar(rng)}" for k in range(rng.randint(0, 3)))
            lines.append(f"n{i}: make map! reduce [{pairs}]")
    # Links between nodes, in any direction (cycles included).
    for _ in range(rng.randint(0, 2 * n)):
        a, b = rng.randrange(n), rng.randrange(n)
        if kinds[a] in ("block", "paren"):
            lines.append(f"append/only n{a} n{b}")
        elif kinds[a] == "object":
            lines.append(f"n{a}/f0: n{b}")
        elif kinds[a] == "map":
            lines.append(f"n{a}/k{rng.randrange(5)}: n{b}")
    # Some values kept at a later index.
    for i, kind in enumerate(kinds):
        if kind in ("block", "string", "binary", "vector", "image") and rng.random() < 0.3:
            lines.append(f"n{i}: next n{i}")
    roots = " ".join(f"n{rng.randrange(n)}" for _ in range(rng.randint(1, n + 2)))
    lines.append(f"check {name!r} reduce [{roots}]".replace("'", '"'))
    return lines


def main():
    qor = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 20261211
    rng = random.Random(seed)
    lines = SHAPE.strip().split("\n")
    for c in range(count):
        lines += make_case(rng, f"case{c}")
    out = qor_script.run(qor, lines)
    ok = sum(1 for line in out if line.endswith(" ok"))
    bad = [line for line in out if not line.endswith(" ok")]
    if bad or ok != 2 * count:
        print("\n".join(bad[:20]) or "\n".join(out[-20:]))
        print(f"{ok} of {2 * count} round trips kept their values and sharing (seed {seed})")
        return 1
    print(f"{ok} round trips kept their values and sharing (seed {seed})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
