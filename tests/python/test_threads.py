"""Frames on several threads at once, and Python code running while a call is in progress."""

import gc
import random
import sys
import threading
import time

import pytest

import quorvel
from conftest import on_other_thread


def pipeline(seed):
    """Builds a frame from its own data and runs it through the library; returns what it read
    and what plain Python says it should be."""
    rng = random.Random(seed)
    keys = [rng.choice("abcde") for _ in range(500)]
    values = [rng.randrange(-1000, 1000) for _ in range(500)]
    f = quorvel.Frame()
    f.add_strings("k", keys)
    f.add_ints("v", values)
    kept = f.where_gt("v", 0).sort("v", True)
    sums = kept.group(["k"]).sum("v")
    got = (kept.ints("v"), dict(zip(sums.strings("k"), sums.ints("v"))))

    positive = [(k, v) for k, v in zip(keys, values) if v > 0]
    expected_sums = {}
    for k, v in positive:
        expected_sums[k] = expected_sums.get(k, 0) + v
    expected = (sorted((v for _, v in positive), reverse=True), expected_sums)
    return got, expected


def test_threads_with_frames_of_their_own_do_not_interfere():
    results = {}
    errors = []

    def worker(index):
        try:
            for round_ in range(20):
                results[index, round_] = pipeline(index * 1000 + round_)
        except BaseException as error:
            errors.append(repr(error))

    gc.collect()
    gc.disable()  # no frame of another thread is ever collected here
    try:
        threads = [threading.Thread(target=worker, args=(i,)) for i in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        gc.enable()
    assert errors == []
    assert len(results) == 80
    for got, expected in results.values():
        assert got == expected


@pytest.mark.parametrize(
    "use",
    [
        lambda g: g.groups(),
        lambda g: g.count(),
        lambda g: g.sum("v"),
        lambda g: repr(g),
        lambda g: g.describe(),
        lambda g: g.free(),
    ],
)
def test_a_grouping_belongs_to_its_thread(use):
    f = quorvel.Frame()
    f.add_ints("v", [1, 2, 3])
    grouped = f.group(["v"])
    error = on_other_thread(lambda: use(grouped))["error"]
    assert type(error).__name__ == "PanicException"
    assert "quorvel::api::Grouped is unsendable, but sent to another thread" in str(error)
    assert grouped.groups() == 3


def test_a_grouping_dropped_on_another_thread_is_reported(monkeypatch):
    f = quorvel.Frame()
    f.add_ints("v", [1, 2, 3])
    box = [f.group(["v"])]
    reports = []
    monkeypatch.setattr(sys, "unraisablehook", reports.append)
    on_other_thread(box.clear)
    assert [str(report.exc_value) for report in reports] == [
        "quorvel::api::Grouped is unsendable, but is being dropped on another thread"
    ]
    assert f.group(["v"]).count().ints("count") == [1, 1, 1], "the shared values are intact"


class Slow:
    """A sequence whose item access lets other threads run in the middle of a call."""

    def __init__(self, items, during):
        self.items = items
        self.during = during

    def __len__(self):
        return len(self.items)

    def __getitem__(self, index):
        item = self.items[index]
        self.during(index)
        return item


def test_other_threads_run_while_a_column_is_converted():
    target = quorvel.Frame()
    target.add_ints("a", [1, 2, 3])
    seen = []
    busy = threading.Event()
    stop = threading.Event()

    def other():
        # This thread has its own frames, and may not touch `target`.
        while not stop.is_set():
            seen.append(pipeline(len(seen))[0][1] is not None)
            try:
                target.height()
            except BaseException as error:
                seen.append(type(error).__name__)
            busy.set()

    def let_others_run(index):
        busy.wait(timeout=5)
        time.sleep(0.001)

    gc.collect()
    gc.disable()
    thread = threading.Thread(target=other)
    try:
        thread.start()
        target.add_ints("b", Slow([10, 20, 30], let_others_run))
        # Re-entry from the conversion into another frame of the same thread works.
        other_frame = quorvel.Frame()
        target.add_strings("c", Slow(["x", "y", "z"], lambda i: other_frame.add_ints(f"n{i}", [i])))
    finally:
        stop.set()
        thread.join()
        gc.enable()
    assert target.names() == ["a", "b", "c"]
    assert target.ints("b") == [10, 20, 30] and target.strings("c") == ["x", "y", "z"]
    assert other_frame.names() == ["n0", "n1", "n2"]
    assert "PanicException" in seen and True in seen
