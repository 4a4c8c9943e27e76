import gc
import tracemalloc

import pytest

import quorvel


@pytest.fixture
def frame():
    """A small frame with one column of each dtype."""
    f = quorvel.Frame()
    f.add_ints("i", [3, 1, 2])
    f.add_floats("f", [0.5, -1.5, 2.0])
    f.add_strings("s", ["b", "a", "c"])
    return f


def python_memory_growth(call, rounds=300):
    """Bytes of Python objects still alive after many calls, beyond those of the first call."""
    call()
    gc.collect()
    tracemalloc.start()
    try:
        before = tracemalloc.get_traced_memory()[0]
        for _ in range(rounds):
            call()
        gc.collect()
        return tracemalloc.get_traced_memory()[0] - before
    finally:
        tracemalloc.stop()


def make_frame(**columns):
    """A frame with a column per keyword, its dtype taken from the first value (i64 when empty)."""
    f = quorvel.Frame()
    for name, values in columns.items():
        sample = values[0] if values else None
        if isinstance(sample, str):
            f.add_strings(name, values)
        elif isinstance(sample, float):
            f.add_floats(name, values)
        else:
            f.add_ints(name, values)
    return f


def read(frame, name):
    """A column as a list, whatever its dtype."""
    dtype = frame.dtypes()[frame.names().index(name)]
    return {"i64": frame.ints, "f64": frame.floats, "str": frame.strings}[dtype](name)
