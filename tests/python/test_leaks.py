"""Every public call, successful or failing, many times over: no reference or memory grows."""

import gc
import sys

import duckdb
import pyarrow as pa
import pytest

import quorvel
from conftest import python_memory_growth

ROWS = 1000
CSV = "k,v,x,d\n" + "".join(f"k{i % 7},{i - 500},{i / 8},2024-01-{i % 28 + 1:02d}\n" for i in range(ROWS))


def make_frame():
    return quorvel.read_csv(CSV)


# More rows than one exported batch of a selection holds, so that a stream can be left half read.
LONG = quorvel.read_csv("n,t\n" + "".join(f"{i},t{i % 13}\n" for i in range(70_000))).sort("n", True)
TABLE = pa.table({"a": pa.array([1, None, 3]), "b": pa.array(["x", None, "é"]).dictionary_encode()})
# The second chunk's text is not UTF-8: the import fails after the first chunk is read.
BROKEN = pa.concat_tables(
    [pa.table({"t": ["ok"]}), pa.table({"t": pa.Array.from_buffers(pa.string(), 1, [None, pa.py_buffer(b"\0\0\0\0\1\0\0\0"), pa.py_buffer(b"\xff")])})]
)
BOOLEANS = pa.table({"b": [True, False]})


def failing_query():
    """A stream whose producer fails half way: DuckDB raises on row 5001."""
    return duckdb.sql("select case when i > 5000 then error('boom') else i end as i from range(10000) t(i)")


def read_half(frame):
    reader = pa.RecordBatchReader._import_from_c_capsule(frame.__arrow_c_stream__())
    return reader.read_next_batch().num_rows


def expect_failure(call, exception):
    try:
        call()
    except exception as error:
        return error
    raise AssertionError(f"{call} did not raise {exception.__name__}")


# (what it exercises, call taking the prepared frame f and grouping g)
CALLS = [
    ("read_csv", lambda f, g: quorvel.read_csv(CSV)),
    ("read_csv", lambda f, g: expect_failure(lambda: quorvel.read_csv("a,b\n1\n"), ValueError)),
    ("read_csv", lambda f, g: expect_failure(lambda: quorvel.read_csv(5), TypeError)),
    ("Frame", lambda f, g: quorvel.Frame()),
    ("Frame", lambda f, g: expect_failure(lambda: quorvel.Frame(1), TypeError)),
    ("add_floats", lambda f, g: f.head(10).add_floats("n", [0.5] * 10)),
    ("add_ints", lambda f, g: f.head(10).add_ints("n", range(10))),
    ("add_ints", lambda f, g: expect_failure(lambda: f.add_ints("v", [1]), ValueError)),
    ("add_ints", lambda f, g: expect_failure(lambda: f.add_ints("n", [1, "x"]), TypeError)),
    ("add_strings", lambda f, g: f.tail(3).add_strings("n", ["a", "b", "c"])),
    ("add_strings", lambda f, g: expect_failure(lambda: f.add_strings("n", "abc"), TypeError)),
    ("add_date_part", lambda f, g: f.where_gt("v", 0).add_date_part("year", "d", "year")),
    ("add_date_part", lambda f, g: expect_failure(lambda: f.add_date_part("y", "k", "year"), ValueError)),
    ("height", lambda f, g: f.height()),
    ("width", lambda f, g: f.width()),
    ("names", lambda f, g: f.names()),
    ("dtypes", lambda f, g: f.dtypes()),
    ("select", lambda f, g: f.select(["x", "k"])),
    ("select", lambda f, g: expect_failure(lambda: f.select(["k", "k"]), ValueError)),
    ("head", lambda f, g: f.head(-3)),
    ("head", lambda f, g: expect_failure(lambda: f.head(2**70), OverflowError)),
    ("tail", lambda f, g: f.tail(7)),
    ("sort", lambda f, g: f.sort("k", True)),
    ("sort", lambda f, g: expect_failure(lambda: f.sort("k", 1), TypeError)),
    ("where_eq", lambda f, g: f.where_eq("x", 0.5)),
    ("where_ne", lambda f, g: f.where_ne("v", 3)),
    ("where_lt", lambda f, g: f.where_lt("v", 2.5)),
    ("where_le", lambda f, g: f.where_le("x", 1e9)),
    ("where_gt", lambda f, g: f.where_gt("v", -1)),
    ("where_ge", lambda f, g: expect_failure(lambda: f.where_ge("k", 1), ValueError)),
    ("where_among", lambda f, g: f.where_among("v", list(range(0, 600, 3)))),
    ("where_is", lambda f, g: f.where_is("k", "k3")),
    ("where_in", lambda f, g: f.where_in("k", ["k1", "k2"])),
    ("where_in", lambda f, g: expect_failure(lambda: f.where_in("v", ["1"]), ValueError)),
    ("group", lambda f, g: f.group(["k", "v"])),
    ("group", lambda f, g: expect_failure(lambda: f.group(["nope"]), ValueError)),
    ("floats", lambda f, g: f.floats("x")),
    ("ints", lambda f, g: f.where_gt("v", 0).ints("v")),
    ("strings", lambda f, g: f.strings("k")),
    ("strings", lambda f, g: expect_failure(lambda: f.strings("v"), ValueError)),
    ("to_csv", lambda f, g: f.where_lt("v", 0).to_csv()),
    ("describe", lambda f, g: f.describe()),
    ("repr", lambda f, g: repr(f)),
    ("free", lambda f, g: f.free()),
    ("where_null", lambda f, g: f.where_null("x")),
    ("where_not_null", lambda f, g: f.where_not_null("k")),
    ("where_not_null", lambda f, g: expect_failure(lambda: f.where_not_null(None), TypeError)),
    ("where_starts_with", lambda f, g: f.where_starts_with("k", "k")),
    ("where_ends_with", lambda f, g: f.where_ends_with("d", "-05")),
    ("where_contains", lambda f, g: f.where_contains("d", "01-1")),
    ("where_contains", lambda f, g: f.sort("v", True).where_contains("k", "3")),
    ("where_contains", lambda f, g: expect_failure(lambda: f.where_contains("v", "1"), ValueError)),
    ("__arrow_c_stream__", lambda f, g: pa.table(f)),
    ("__arrow_c_stream__", lambda f, g: pa.table(f.where_gt("v", 0))),
    ("__arrow_c_stream__", lambda f, g: f.sort("k", False).__arrow_c_stream__()),
    ("__arrow_c_stream__", lambda f, g: read_half(LONG)),
    ("__arrow_c_stream__", lambda f, g: expect_failure(lambda: f.__arrow_c_stream__(5), TypeError)),
    ("from_arrow", lambda f, g: quorvel.Frame.from_arrow(TABLE)),
    ("from_arrow", lambda f, g: quorvel.Frame.from_arrow(f.tail(5))),
    ("from_arrow", lambda f, g: expect_failure(lambda: quorvel.Frame.from_arrow(BROKEN), ValueError)),
    ("from_arrow", lambda f, g: expect_failure(lambda: quorvel.Frame.from_arrow(failing_query()), ValueError)),
    ("from_arrow", lambda f, g: expect_failure(lambda: quorvel.Frame.from_arrow(BOOLEANS), TypeError)),
    ("sort_by", lambda f, g: f.sort_by(["k", "x"], [False, True])),
    ("sort_by", lambda f, g: expect_failure(lambda: f.sort_by(["k"], [True, 1]), TypeError)),
    ("sort_by", lambda f, g: expect_failure(lambda: f.sort_by(["k"], [True, True]), ValueError)),
    ("join", lambda f, g: f.join(f.select(["k"]).unique(["k"]).rename("k", "k2").rename("k2", "k"), ["k"], "inner")),
    ("join", lambda f, g: f.join(f.head(3).select(["v", "d"]).rename("d", "e"), ["v"], "full")),
    ("join", lambda f, g: f.join(f, ["k", "v", "x", "d"], "semi")),
    ("join", lambda f, g: expect_failure(lambda: f.join(f, ["k"], "inner"), ValueError)),
    ("join", lambda f, g: expect_failure(lambda: f.join(g, ["k"], "inner"), TypeError)),
    ("unique", lambda f, g: f.unique(["k"])),
    ("unique", lambda f, g: expect_failure(lambda: f.unique(["k", "k"]), ValueError)),
    ("concat", lambda f, g: f.concat(f.where_gt("v", 0))),
    ("concat", lambda f, g: expect_failure(lambda: f.concat(f.select(["k"])), ValueError)),
    ("rename", lambda f, g: f.rename("k", "key")),
    ("rename", lambda f, g: expect_failure(lambda: f.rename("k", "v"), ValueError)),
    ("groups", lambda f, g: g.groups()),
    ("count", lambda f, g: g.count()),
    ("sum", lambda f, g: g.sum("v")),
    ("sum", lambda f, g: expect_failure(lambda: g.sum("k"), ValueError)),
    ("mean", lambda f, g: g.mean("x")),
    ("min", lambda f, g: g.min("d")),
    ("max", lambda f, g: g.max("v")),
    ("max", lambda f, g: expect_failure(lambda: g.max(None), TypeError)),
    ("describe", lambda f, g: g.describe()),
    ("repr", lambda f, g: repr(g)),
    ("free", lambda f, g: g.free()),
    ("agg", lambda f, g: g.agg([("n", "count"), ("s", "sum", "v"), ("m", "median", "x"), ("u", "n_unique", "d")])),
    ("agg", lambda f, g: expect_failure(lambda: g.agg([("s", "sum", "k")]), ValueError)),
    ("agg", lambda f, g: expect_failure(lambda: g.agg([("s", "sum", "v"), ("t", "sum", 1)]), TypeError)),
    ("agg", lambda f, g: expect_failure(lambda: g.agg([["s", "sum", "v"]]), TypeError)),
    ("median", lambda f, g: g.median("v")),
    ("var", lambda f, g: g.var("x")),
    ("std", lambda f, g: g.std("v")),
    ("std", lambda f, g: expect_failure(lambda: g.std("d"), ValueError)),
    ("first", lambda f, g: g.first("d")),
    ("last", lambda f, g: g.last("x")),
    ("n_unique", lambda f, g: g.n_unique("v")),
]


def public_methods(cls):
    return {name for name in vars(cls) if not name.startswith("_")}


def test_every_public_call_is_exercised():
    covered = {name for name, _ in CALLS}
    assert public_methods(quorvel.Frame) | public_methods(quorvel.Grouped) | {"read_csv", "Frame"} <= covered


@pytest.mark.parametrize("name, call", CALLS, ids=[f"{i}-{name}" for i, (name, _) in enumerate(CALLS)])
def test_no_python_objects_are_left_behind(name, call):
    f = make_frame()
    g = f.group(["k"])
    assert python_memory_growth(lambda: call(f, g), rounds=200) < 8_000


@pytest.mark.parametrize("name, call", CALLS, ids=[f"{i}-{name}" for i, (name, _) in enumerate(CALLS)])
def test_results_hold_no_extra_references(name, call):
    f = make_frame()
    g = f.group(["k"])
    result = call(f, g)
    if result is None or type(result) in (int, bool):
        return  # shared singletons and cached small integers
    assert sys.getrefcount(result) == 2
    if isinstance(result, list):
        # Small integers and one-character texts are shared by the interpreter.
        counts = [sys.getrefcount(result[i]) for i in range(min(50, len(result))) if type(result[i]) is float]
        assert all(count == 2 for count in counts)


def test_arguments_are_not_kept():
    f = make_frame()
    # Texts made at run time, so that no code constant shares them.
    name, text, n = "".join(["x"]), "".join(["k", "1"]), 3000
    names, numbers, texts, ints = [name, "k"], [0.5, 1.5], [text, "k2"], [1, 2, 3]
    arguments = [name, names, numbers, texts, text, n, ints]
    before = [sys.getrefcount(a) for a in arguments]
    for _ in range(200):
        f.select(names)
        f.where_among(name, numbers)
        f.where_in("k", texts)
        f.where_is("k", text)
        f.head(n)
        f.group(texts[:0]).mean(name)
        g = f.head(3)
        g.add_ints("new", ints)
        expect_failure(lambda: g.add_ints("new", ints), ValueError)
        expect_failure(lambda: f.select(numbers), TypeError)
    del g
    assert [sys.getrefcount(a) for a in arguments] == before


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096


def under_address_sanitizer():
    with open("/proc/self/maps") as maps:
        return "libasan" in maps.read()


@pytest.mark.skipif(under_address_sanitizer(), reason="the sanitizer holds freed memory back on purpose")
def test_process_memory_settles():
    f = make_frame()
    g = f.group(["k"])

    def every_call():
        for _, call in CALLS:
            call(f, g)

    for _ in range(30):  # let the allocators reach their working size
        every_call()
    gc.collect()
    before = resident_bytes()
    for _ in range(300):
        every_call()
    gc.collect()
    # A leak of even one small column per call would add tens of megabytes here.
    assert resident_bytes() - before < 4 * 2**20


@pytest.mark.skipif(under_address_sanitizer(), reason="the sanitizer holds freed memory back on purpose")
def test_dropped_frames_give_their_memory_back():
    gc.collect()
    before = resident_bytes()
    f = quorvel.Frame()
    f.add_ints("n", range(4_000_000))  # 32 MB of values
    g = f.sort("n", True)  # and 16 MB of row selection
    assert resident_bytes() - before > 40 * 2**20
    del f, g
    gc.collect()
    assert resident_bytes() - before < 8 * 2**20
