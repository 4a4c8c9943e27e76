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
