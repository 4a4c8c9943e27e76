import gc
import threading
import tracemalloc

import pytest
from hypothesis import HealthCheck, settings

import quorvel

# Timing is no part of what the property tests check; CI runs them on a shared machine and
# under sanitizers.
settings.register_profile("quorvel", deadline=None, suppress_health_check=[HealthCheck.too_slow])
settings.load_profile("quorvel")


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


def on_other_thread(work):
    """Runs `work` on a new thread; returns {"value": result} or {"error": exception}."""
    outcome = {}

    def run():
        try:
            outcome["value"] = work()
        except BaseException as error:  # PanicException is not an Exception
            outcome["error"] = error

    # Cyclic garbage from earlier tests may hold frames; were the collector to run on the
    # other thread, it would drop them there.
    gc.collect()
    gc.disable()
    try:
        thread = threading.Thread(target=run)
        thread.start()
        thread.join()
    finally:
        gc.enable()
    if "error" in outcome:
        # The traceback holds the thread's frame, which holds `outcome`: a cycle that the
        # collector could break on another thread, dropping our objects there.
        outcome["error"].__traceback__ = None
    return outcome
