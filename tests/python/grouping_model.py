"""Grouping and aggregation written plainly in Python, to check the library against."""

import math
import struct
from decimal import Decimal, localcontext
from fractions import Fraction

I64_MIN, I64_MAX = -(2**63), 2**63 - 1


def key_identity(value):
    """Cells are the same key when these are equal: 0.0 and -0.0 alike, NaNs by their bits."""
    if isinstance(value, float):
        return struct.pack("<d", 0.0 if value == 0 else value)
    return value


def exact(value):
    """A cell as it must come back: floats by their bits (NaN payloads, the sign of zero)."""
    return struct.pack("<d", value) if isinstance(value, float) else value


def exact_number(value):
    """An arithmetic result as it must come back: by its bits, except that any NaN will do."""
    return "nan" if isinstance(value, float) and math.isnan(value) else exact(value)


def groups(columns, keys, height):
    """The logical rows of each group, groups in order of first appearance."""
    found = {}
    for row in range(height):
        found.setdefault(tuple(key_identity(columns[key][row]) for key in keys), []).append(row)
    return list(found.values())


def compensated_sum(values):
    """Neumaier's summation, in the given order."""
    s = c = 0.0
    for x in values:
        t = s + x
        if abs(s) >= abs(x):
            c += (s - t) + x
        else:
            c += (x - t) + s
        s = t
    return s + c if math.isfinite(c) and c != 0.0 else s


class Overflow(Exception):
    pass


def checked_sum(values):
    total = 0
    for x in values:
        total += x
        if not I64_MIN <= total <= I64_MAX:
            raise Overflow
    return total


def median(values):
    """The middle value, or the exact mean of the two middle ones rounded once; NaN when a NaN
    is among the values."""
    if not values:
        return None
    if any(isinstance(v, float) and math.isnan(v) for v in values):
        return math.nan
    ordered = sorted(values)
    lower, upper = ordered[(len(values) - 1) // 2], ordered[len(values) // 2]
    if math.isinf(lower) or math.isinf(upper):
        return (lower + upper) / 2
    return float((Fraction(lower) + Fraction(upper)) / 2)


def rounded(number):
    """A Fraction or Decimal to the nearest float, infinity beyond the largest."""
    try:
        return float(number)
    except OverflowError:
        return math.inf


def variance(values, root=False):
    """The exact sample variance, or its square root, rounded once; NaN when an infinity or a
    NaN is among the values; None for fewer than two."""
    if len(values) < 2:
        return None
    if any(isinstance(v, float) and not math.isfinite(v) for v in values):
        return math.nan
    exact = [Fraction(v) for v in values]
    mean = sum(exact) / len(exact)
    spread = sum((x - mean) ** 2 for x in exact) / (len(exact) - 1)
    if not root:
        return rounded(spread)
    with localcontext() as context:
        context.prec = 60
        return rounded((Decimal(spread.numerator) / Decimal(spread.denominator)).sqrt())


def aggregate(kind, values):
    """One group's value: `values` are its cells in row order (no nulls come from Python)."""
    floats = bool(values) and isinstance(values[0], float)
    if kind == "median":
        return median(values)
    if kind in ("var", "std"):
        return variance(values, root=kind == "std")
    if kind in ("first", "last"):
        return (values[0] if kind == "first" else values[-1]) if values else None
    if kind == "n_unique":
        return len({key_identity(v) for v in values})
    if kind == "sum":
        return compensated_sum(values) if floats else checked_sum(values)
    if kind == "mean":
        if not values:
            return None
        total = compensated_sum(values) if floats else float(checked_sum(values))
        return total / float(len(values))
    # min() and max() keep the first of equal values and never let a later NaN win, as the
    # library does; str order by code point is UTF-8 byte order.
    return (min if kind == "min" else max)(values, default=None)
