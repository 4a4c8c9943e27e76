"""Plain-Python statements of what the row operations must return, for differential tests."""

import math
import operator
import struct
from fractions import Fraction

OPERATORS = {
    "eq": operator.eq,
    "ne": operator.ne,
    "lt": operator.lt,
    "le": operator.le,
    "gt": operator.gt,
    "ge": operator.ge,
}


def exact(number):
    """An int or a float as an exact number; infinities stay floats, which compare exactly too."""
    if isinstance(number, float) and math.isinf(number):
        return number
    return Fraction(number)


def passes(op, cell, value):
    """Whether `cell op value` holds, compared as exact numbers: NaN passes only "ne"."""
    if isinstance(cell, float) and math.isnan(cell) or math.isnan(value):
        return op == "ne"
    return OPERATORS[op](exact(cell), exact(value))


def among(cell, values):
    """Whether the cell equals some entry exactly (NaN equals nothing)."""
    return any(passes("eq", cell, value) for value in values)


def sort_order(keys, descending):
    """Positions of `keys` in sorted order: stable, str keys by UTF-8 bytes, NaN keys after
    the others in their source order."""
    def is_nan(key):
        return isinstance(key, float) and math.isnan(key)

    def sort_key(position):
        key = keys[position]
        return key.encode("utf-8") if isinstance(key, str) else key

    present = [p for p in range(len(keys)) if not is_nan(keys[p])]
    nans = [p for p in range(len(keys)) if is_nan(keys[p])]
    # sorted() keeps ties in their order also with reverse=True.
    return sorted(present, key=sort_key, reverse=descending) + nans


def float_bits(values):
    """Floats as their bits, so that NaN equals NaN and -0.0 differs from 0.0."""
    return [None if v is None else struct.pack("<d", v) for v in values]
