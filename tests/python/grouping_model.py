"""Grouping and aggregation written plainly in Python, to check the library against."""

import math
import struct

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


def aggregate(kind, values):
    """One group's value: `values` are its cells in row order (no nulls come from Python)."""
    floats = bool(values) and isinstance(values[0], float)
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
