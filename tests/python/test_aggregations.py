import collections
import math
import random
import statistics

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import grouping_model as model
from conftest import make_frame, python_memory_growth, read

I64_MAX = 2**63 - 1


@pytest.mark.parametrize(
    "kind, column, dtype",
    [
        ("sum", "i", "i64"), ("sum", "f", "f64"), ("mean", "i", "f64"), ("min", "i", "i64"), ("max", "s", "str"),
        ("median", "i", "f64"), ("var", "f", "f64"), ("std", "i", "f64"), ("first", "s", "str"), ("last", "i", "i64"),
        ("n_unique", "f", "i64"),
    ],
)  # fmt: skip
def test_the_value_column_follows_the_keys(kind, column, dtype):
    f = make_frame(k=["x", "y", "x"], i=[1, 2, 4], f=[0.5, 1.0, 2.0], s=["b", "c", "a"])
    for frame in (f, f.head(0)):  # also with no groups at all
        result = getattr(frame.group(["k"]), kind)(column)
        assert (result.names(), result.dtypes()) == (["k", column], ["str", dtype])
        assert result.height() == frame.group(["k"]).groups()


@pytest.mark.parametrize(
    "keys, names, counts",
    [([], ["count"], [3]), (["count"], ["count", "len"], [2, 1]), (["len"], ["len", "count"], [3])],
)
def test_count_is_named_count_or_len(keys, names, counts):
    counted = make_frame(count=["a", "b", "a"], len=[0, 0, 0]).group(keys).count()
    assert (counted.names(), counted.ints(names[-1])) == (names, counts)
    assert make_frame(count=["a"], len=[0]).group(["count", "len"]).count().names() == ["count", "len"]


@pytest.mark.parametrize(
    "keys, kind, name, message",
    [
        (["s"], "sum", "x", 'no column "x" (the frame has "k", "s", "n")'),
        (["s"], "mean", "s", 'column "s" is str: it has no sum or mean'),  # before the key error
        (["s"], "mean", "k", 'the sum of column "k" overflows i64'),
        (["k"], "sum", "k", 'the sum of column "k" overflows i64'),  # before the key error
        (["s", "n"], "min", "n", 'column "n" is a key of this grouping'),
    ],
)
def test_errors_in_order_of_precedence(keys, kind, name, message):
    f = make_frame(k=[I64_MAX, I64_MAX, 1], s=["a", "a", "b"], n=[1, 2, 3])
    with pytest.raises(ValueError) as raised:
        getattr(f.group(keys), kind)(name)
    assert raised.value.args == (message,)


def test_the_first_overflow_fails_even_if_the_total_fits():
    with pytest.raises(ValueError, match="overflows i64"):
        make_frame(x=[I64_MAX, 1, -1]).group([]).sum("x")
    assert make_frame(x=[I64_MAX, -1, 1]).group([]).sum("x").ints("x") == [I64_MAX]


def test_aggregating_leaves_no_python_objects_behind():
    f = make_frame(k=[1, 2, 1, 3] * 50, x=[0.5, 1.5, 2.5, 3.5] * 50)
    assert python_memory_growth(lambda: (f.group(["k"]).mean("x"), f.group(["k"]).count())) < 10_000


# Values over the whole i64 range (so that sums overflow now and then), every kind of
# float, NaNs and infinities included, and texts beyond ASCII.
value_columns = st.one_of(
    st.lists(st.integers(-(2**63), I64_MAX), min_size=1, max_size=30),
    st.lists(st.integers(-50, 50), min_size=1, max_size=30),
    st.lists(st.floats(), min_size=1, max_size=30),
    st.lists(st.floats(-1e6, 1e6) | st.sampled_from([1e100, -1e100, 0.0, -0.0]), min_size=1, max_size=30),
    st.lists(st.text(max_size=4), min_size=1, max_size=30),
)


KINDS = ["sum", "mean", "min", "max", "median", "var", "std", "first", "last", "n_unique"]
NUMBERS_ONLY = {"sum": "sum or mean", "mean": "sum or mean", "median": "median", "var": "var or std", "std": "var or std"}


def same_result(kind, got, expected):
    """Cells as they must come back: min, max, first and last return a cell itself, bits and
    all; arithmetic may carry either operand's NaN payload; a variance or standard deviation
    within two units in the last place of the exact value rounded."""
    if kind in ("var", "std") and got is not None and expected is not None and math.isfinite(expected):
        return abs(got - expected) <= 2 * math.ulp(expected)
    same = model.exact if kind in ("min", "max", "first", "last") else model.exact_number
    return same(got) == same(expected)


@settings(max_examples=800, deadline=None)
@given(value_columns, st.data(), st.sampled_from(KINDS))
def test_aggregates_match_a_plain_python_computation(values, data, kind):
    keys = data.draw(st.lists(st.integers(0, 3), min_size=len(values), max_size=len(values)))
    texts = isinstance(values[0], str)
    f = make_frame(k=keys, v=values)
    if data.draw(st.booleans()):  # rows through a row selection
        f, keys, values = f.tail(len(keys) - 1), keys[1:], values[1:]
    g = f.group(["k"])
    groups = model.groups({"k": keys}, ["k"], len(keys))
    if kind in NUMBERS_ONLY and texts:
        with pytest.raises(ValueError, match=f"has no {NUMBERS_ONLY[kind]}$"):
            getattr(g, kind)("v")
        return
    try:
        expected = [model.aggregate(kind, [values[row] for row in rows]) for rows in groups]
    except model.Overflow:
        with pytest.raises(ValueError, match="overflows i64"):
            getattr(g, kind)("v")
        return
    result = getattr(g, kind)("v")
    assert result.ints("k") == [keys[rows[0]] for rows in groups]
    got = read(result, "v")
    assert all(same_result(kind, a, b) for a, b in zip(got, expected, strict=True)), (got, expected)
    # The same in one call with every other aggregation that takes the column.
    kinds = [k for k in KINDS if not (texts and k in NUMBERS_ONLY)]
    specs = [(f"{k} of v", k, "v") for k in kinds] + [("rows", "count")]
    try:
        together = g.agg(specs)
    except ValueError as error:
        assert "overflows i64" in str(error)
        return
    assert together.names() == ["k"] + [name for name, *_ in specs]
    assert read(together, f"{kind} of v") == got or [model.exact_number(v) for v in read(together, f"{kind} of v")] == [
        model.exact_number(v) for v in got
    ]
    assert together.ints("rows") == [len(rows) for rows in groups]


# Offsets where the textbook formula Σx² - (Σx)²/n loses every bit, and values far apart.
@pytest.mark.parametrize("offset, noise", [(0.0, 1.0), (1e9, 1e-3), (1e9, 1.0), (-1e15, 0.25), (1e-9, 1e-15), (3e150, 1e140)])
@pytest.mark.parametrize("count", [2, 3, 100, 20_000])
def test_var_and_std_are_within_two_ulp_of_the_exact_values(offset, noise, count):
    rng = random.Random(count)
    values = [offset + rng.gauss(0.0, noise) for _ in range(count)]
    g = make_frame(x=values).group([])
    exact = statistics.variance(values)  # computed with fractions, then rounded
    assert abs(g.var("x").floats("x")[0] - exact) <= 2 * math.ulp(exact)
    root = model.variance(values, root=True)
    assert abs(g.std("x").floats("x")[0] - root) <= 2 * math.ulp(root)


def test_agg_takes_its_specs_by_position_or_keyword():
    g = make_frame(k=["x", "y", "x"], v=[1, 2, 4]).group(["k"])
    Spec = collections.namedtuple("Spec", "name operation column")
    for specs in ([("total", "sum", "v"), ("n", "count")], ((("total", "sum", "v"), ("n", "count")))):
        for result in (g.agg(specs), g.agg(specs=specs)):
            assert (result.names(), result.ints("total"), result.ints("n")) == (["k", "total", "n"], [5, 2], [2, 1])
    assert g.agg([Spec("top", "max", "v")]).ints("top") == [4, 2]  # a tuple of a subclass
    assert g.agg([]).names() == ["k"]


@pytest.mark.parametrize(
    "specs, error, message, note",
    [
        ("sum", TypeError, "Can't extract `str` to `Vec`", "specs"),
        ({("a", "count")}, TypeError, "'set' object is not an instance of 'Sequence'", "specs"),
        ([("a", "count"), ["b", "count"]], TypeError, "'list' object is not an instance of 'tuple'", "specs[1]"),
        ([("a",)], TypeError, 'expected (name, operation, column) or (name, "count"), got a tuple of length 1', "specs[0]"),
        ([("a", "sum", "v", "w")], TypeError,
         'expected (name, operation, column) or (name, "count"), got a tuple of length 4', "specs[0]"),
        ([("a", "count"), ("b", "sum", None)], TypeError, "'None' is not an instance of 'str'", "specs[1]"),
        ([("a", "count"), (b"b", "count")], TypeError, "'bytes' object is not an instance of 'str'", "specs[1]"),
        ([("a", "sum", "\ud800")], UnicodeEncodeError, None, "specs[0]"),
        ([("a", "count"), ("b", "medain", "v")], ValueError,
         'spec 1: operation "medain": give "count", "sum", "mean", "min", "max", "median", "var", "std", "first", '
         '"last" or "n_unique"', None),
        ([("a", "count", "v")], ValueError, 'spec 0: count takes no column: give (name, "count")', None),
        ([("a", "sum")], ValueError, 'spec 0: sum takes a column: give (name, "sum", column)', None),
        ([("a", "sum", "w")], ValueError, 'spec 0: no column "w" (the frame has "k", "v")', None),
        ([("a", "sum", "k")], ValueError, 'spec 0: column "k" is str: it has no sum or mean', None),
        ([("k", "count")], ValueError, 'spec 0: column "k" is a key of this grouping', None),
        ([("a", "count"), ("a", "max", "v")], ValueError, 'spec 1: the result has a column "a" already', None),
    ],
)  # fmt: skip
def test_agg_names_the_failing_spec(specs, error, message, note):
    g = make_frame(k=["x"], v=[1]).group(["k"])
    with pytest.raises(error) as raised:
        g.agg(specs)
    if message is not None:
        assert str(raised.value) == message
    assert getattr(raised.value, "__notes__", None) == ([f"while processing '{note}'"] if note else None)


def test_agg_stops_at_an_exception_of_the_specs_own():
    def specs():
        yield ("a", "count")
        raise KeyError("from the iterator")

    class Specs(list):
        def __iter__(self):
            return specs()

    with pytest.raises(KeyError) as raised:
        make_frame(k=[1]).group(["k"]).agg(Specs())
    assert raised.value.__notes__ == ["while processing 'specs'"]
