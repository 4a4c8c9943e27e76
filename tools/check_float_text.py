#!/usr/bin/env python3
"""Compares the engine's float texts with Python's repr, which is the text they must be.

    python3 tools/check_float_text.py build/engine/float_text_lines [--random N] [--decimals M] [--seed S]

First every edge class (below), then N doubles of random bit patterns (NaNs and infinities
among them, as they come), then M random short decimals: n / 10^p for n of 1 to 17 digits
and p of 0 to 22, and the doubles either side of them. Random bit patterns are nearly all
of 16 or 17 digits; the decimals are what tables hold, and what the writer's shortcut for
digits of 15 or fewer takes, or must refuse. Values go to the C++ program a block at a time as raw doubles,
their texts come back a line each and are compared with repr's in bulk; the program runs on
the next block while this one is compared. Prints the counts and the time; on a difference,
the first few values with both texts, and exits with status 1.
"""

import argparse
import concurrent.futures
import math
import random
import struct
import subprocess
import sys
import time

import numpy

BLOCK = 1 << 20
SMALLEST_NORMAL = 2.0**-1022


def from_bits(bits):
    return struct.unpack("<d", struct.pack("<Q", bits))[0]


def neighbours(x):
    """x and the doubles either side of it."""
    return [math.nextafter(x, -math.inf), x, math.nextafter(x, math.inf)]


def subnormals():
    """The smallest and largest, every single-bit one, the first thousand and a random spread."""
    rng = random.Random(11)
    bits = [1, (1 << 52) - 1, 1 << 51]
    bits += [1 << k for k in range(52)] + [(1 << k) - 1 for k in range(1, 53)]
    bits += list(range(1, 1001)) + [rng.randrange(1, 1 << 52) for _ in range(20_000)]
    return [from_bits(b) for b in bits] + neighbours(SMALLEST_NORMAL)


def powers_of_ten():
    """10^k for every k a double reaches, with its neighbours."""
    return [y for k in range(-323, 309) for y in neighbours(float(f"1e{k}"))]


def ends_of_exponents():
    """For each exponent: its first double 2^e, the one below it, and its last."""
    found = []
    for biased in range(1, 2047):
        first = from_bits(biased << 52)
        last = from_bits((biased << 52) | ((1 << 52) - 1))
        found += [first, math.nextafter(first, 0.0), last]
    return found


def digit_classes():
    """Decimals of 15 and 16 significant digits read as doubles (15 always read back, 16 often
    not), and doubles whose shortest text has 17, over every decimal exponent."""
    rng = random.Random(12)
    found = []
    for exponent in range(-307, 308):
        for digits in (15, 16):
            for _ in range(60):
                significand = rng.randrange(10 ** (digits - 1), 10**digits)
                found.append(float(f"{significand}e{exponent - digits + 1}"))
        base = float(f"1e{exponent}")
        for _ in range(60):
            x = base * rng.uniform(1.0, 10.0)
            if len(repr(x).split("e")[0].replace(".", "").replace("-", "").lstrip("0")) == 17:
                found.append(x)
    return found


def short_decimals():
    """Decimals of 1 to 17 significant digits with 0 to 24 places after the point, as a table
    holds them, and the doubles either side of each: the writer finds the digits of short
    decimals by a multiplication and a division, and must find them only where they read back.
    Also decimals with many zeros to strip, and the largest products it takes, near 2^51."""
    rng = random.Random(13)
    found = []
    for places in range(25):
        for digits in range(1, 18):
            for _ in range(40):
                significand = rng.randrange(10 ** (digits - 1), 10**digits)
                found += neighbours(float(f"{significand}e-{places}"))
    for zeros in range(16):
        found += neighbours(float(f"{rng.randrange(1, 10)}e{zeros}") / 10**22)
        found += neighbours(float(f"7{'0' * zeros}1e-{zeros + 1}"))
    for exponent in range(40, 52):
        for scale in range(23):
            found += neighbours(2.0**exponent / 10**scale * rng.uniform(0.99, 1.0))
    return found


def integers_near_2_to_53():
    """Every double from 2^53 - 2000 to 2^53 + 4000 (odd integers stop at 2^53)."""
    found = [float(n) for n in range(2**53 - 2000, 2**53 + 1)]
    x = 2.0**53
    for _ in range(2000):
        x = math.nextafter(x, math.inf)
        found.append(x)
    return found + [y for n in range(50, 64) for y in neighbours(float(2**n))]


def positional_boundaries():
    """Around 1e16, where whole numbers turn to exponent form, and around 1e-4 and 1e-5, where
    small ones do: the doubles nearest each, and a stretch of the doubles below."""
    found = []
    for boundary in (1e16, 1e-4, 1e-5):
        below = boundary
        for _ in range(3000):
            below = math.nextafter(below, 0.0)
            found.append(below)
        above = boundary
        for _ in range(3000):
            above = math.nextafter(above, math.inf)
            found.append(above)
        found.append(boundary)
    found += [float(n) for n in range(10**16 - 2000, 10**16 + 2001, 2)]
    found += [9999999999999998.0, 1e16 - 0.5, 0.00009999999999999999, 0.000009999999999999999]
    return found


def specials():
    return [0.0, -0.0, math.inf, -math.inf, math.nan, -math.nan, from_bits(0x7FF0000000000001), from_bits(0xFFF8000000000001)]


EDGE_CLASSES = {
    "subnormals": subnormals,
    "powers of ten": powers_of_ten,
    "ends of each exponent": ends_of_exponents,
    "15, 16 and 17 significant digits": digit_classes,
    "short decimals and their neighbours": short_decimals,
    "integers around 2^53": integers_near_2_to_53,
    "1e16, 1e-4 and 1e-5 boundaries": positional_boundaries,
    "zeros, infinities and NaNs": specials,
}


def texts_of(tool, values):
    return subprocess.run([tool], input=values.tobytes(), capture_output=True, check=True).stdout


def differences(values, ours):
    """The values whose texts differ, with both texts; none when all match."""
    expected = ("\n".join(map(repr, values.tolist())) + "\n").encode()
    if ours == expected:
        return []
    found = []
    for value, mine, theirs in zip(values.tolist(), ours.split(b"\n"), expected.split(b"\n")):
        if mine != theirs:
            found.append((value, mine.decode(errors="replace"), theirs.decode()))
    # A missing or extra line shows as no single difference: say so rather than pass.
    lines = ours.count(b"\n")
    return found or [(math.nan, f"{lines} lines", f"{len(values)} lines")]


def random_short_decimals(rng, size):
    """n / 10^p, one division correctly rounded (exactly n's nearest double first when n is
    past 2^53), a third of them moved to the next double up or down."""
    digits = rng.integers(1, 18, size)
    significands = rng.integers(10 ** (digits - 1), 10**digits, dtype=numpy.int64)
    values = significands.astype(numpy.float64) / 10.0 ** rng.integers(0, 23, size)
    step = rng.integers(-1, 2, size)
    values[step < 0] = numpy.nextafter(values[step < 0], -numpy.inf)
    values[step > 0] = numpy.nextafter(values[step > 0], numpy.inf)
    return numpy.where(rng.integers(0, 2, size) == 1, -values, values)


def blocks(edge_values, count, decimals, seed):
    for start in range(0, len(edge_values), BLOCK):
        yield edge_values[start : start + BLOCK]
    generator = numpy.random.PCG64(seed)
    for start in range(0, count, BLOCK):
        yield generator.random_raw(min(BLOCK, count - start)).view(numpy.float64)
    rng = numpy.random.default_rng(seed + 1)
    for start in range(0, decimals, BLOCK):
        yield random_short_decimals(rng, min(BLOCK, decimals - start))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tool", help="the float_text_lines program")
    parser.add_argument("--random", type=int, default=100_000_000, help="random bit patterns to compare")
    parser.add_argument("--decimals", type=int, default=100_000_000, help="random short decimals to compare")
    parser.add_argument("--seed", type=int, default=20261207)
    args = parser.parse_args()

    started = time.perf_counter()
    edge_values = []
    for name, make in EDGE_CLASSES.items():
        values = make()
        edge_values += values + [-x for x in values]
        print(f"  {name}: {2 * len(values):,} values")
    edge_values = numpy.array(edge_values, dtype=numpy.float64)

    compared = 0
    found = []
    with concurrent.futures.ThreadPoolExecutor(1) as pool:
        pending = None
        for values in blocks(edge_values, args.random, args.decimals, args.seed):
            running = pool.submit(texts_of, args.tool, values)
            if pending is not None:
                found += differences(*pending)
            pending = (values, running.result())
            compared += len(values)
            if len(found) >= 10:
                break
        if pending is not None:
            found += differences(*pending)
    seconds = time.perf_counter() - started

    for value, ours, theirs in found[:10]:
        print(f"  {value.hex() if math.isfinite(value) else value}: ours {ours!r}, repr {theirs!r}")
    verdict = f"{len(found)} differ" if found else "all match repr"
    print(f"float text: {compared:,} values ({len(edge_values):,} edge values, {args.random:,} random bit patterns, "
          f"{args.decimals:,} random short decimals) compared in {seconds:.1f} s: {verdict}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
