import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import grouping_model as model
from conftest import make_frame, python_memory_growth, read

I64_MAX = 2**63 - 1


@pytest.mark.parametrize(
    "kind, column, dtype",
    [("sum", "i", "i64"), ("sum", "f", "f64"), ("mean", "i", "f64"), ("min", "i", "i64"), ("max", "s", "str")],
)
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


@settings(max_examples=400, deadline=None)
@given(value_columns, st.data(), st.sampled_from(["sum", "mean", "min", "max"]))
def test_aggregates_match_a_plain_python_computation(values, data, kind):
    keys = data.draw(st.lists(st.integers(0, 3), min_size=len(values), max_size=len(values)))
    texts = isinstance(values[0], str)
    f = make_frame(k=keys, v=values)
    if data.draw(st.booleans()):  # rows through a row selection
        f, keys, values = f.tail(len(keys) - 1), keys[1:], values[1:]
    g = f.group(["k"])
    groups = model.groups({"k": keys}, ["k"], len(keys))
    if kind in ("sum", "mean") and texts:
        with pytest.raises(ValueError, match="has no sum or mean"):
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
    # Arithmetic may carry either operand's NaN payload; min and max return a cell itself.
    same = model.exact if kind in ("min", "max") else model.exact_number
    assert [same(v) for v in read(result, "v")] == [same(v) for v in expected]
