import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import grouping_model as model
import quorvel
from conftest import make_frame, python_memory_growth, read

I64_MAX = 2**63 - 1


@pytest.mark.parametrize(
    "kind, column, dtype",
    [
        ("sum", "i", "i64"),
        ("sum", "f", "f64"),
        ("mean", "i", "f64"),
        ("mean", "f", "f64"),
        ("min", "i", "i64"),
        ("min", "f", "f64"),
        ("min", "s", "str"),
        ("max", "s", "str"),
    ],
)
def test_the_value_column_follows_the_keys(kind, column, dtype):
    f = make_frame(k=["x", "y", "x"], i=[1, 2, 4], f=[0.5, 1.0, 2.0], s=["b", "c", "a"])
    result = getattr(f.group(["k"]), kind)(column)
    assert result.names() == ["k", column]
    assert result.dtypes() == ["str", dtype]
    assert result.strings("k") == ["x", "y"]


def test_examples():
    f = make_frame(k=[1, 1, 2], i=[1, 2, 9], big=[1e100, 1.0, -1e100], s=["ab", "b", "abc"])
    g = f.group([])
    assert g.mean("i").floats("i") == [4.0]
    assert g.sum("big").floats("big") == [1.0]
    assert (g.min("s").strings("s"), g.max("s").strings("s")) == (["ab"], ["b"])
    by_k = f.group(["k"])
    assert (by_k.sum("i").ints("i"), by_k.mean("i").floats("i")) == ([3, 9], [1.5, 9.0])


@pytest.mark.parametrize(
    "keys, names, counts",
    [
        ([], ["count"], [3]),
        (["count"], ["count", "len"], [2, 1]),
        (["len"], ["len", "count"], [3]),
        (["count", "len"], ["count", "len"], None),
    ],
)
def test_count_is_named_count_then_len_then_left_out(keys, names, counts):
    counted = make_frame(count=["a", "b", "a"], len=[0, 0, 0]).group(keys).count()
    assert counted.names() == names
    if counts is not None:
        assert counted.ints(names[-1]) == counts


@pytest.mark.parametrize(
    "keys, kind, name, message",
    [
        (["s"], "sum", "x", 'no column "x" (the frame has "k", "s", "n")'),
        (["s"], "mean", "s", 'column "s" is str: it has no sum or mean'),
        (["k"], "sum", "s", 'column "s" is str: it has no sum or mean'),
        (["s"], "sum", "k", 'the sum of column "k" overflows i64'),
        (["s"], "mean", "k", 'the sum of column "k" overflows i64'),
        (["k"], "sum", "k", 'the sum of column "k" overflows i64'),  # before the key error
        (["s"], "sum", "s", 'column "s" is str: it has no sum or mean'),  # before the key error
        (["s", "n"], "sum", "n", 'column "n" is a key of this grouping'),
        (["s"], "min", "s", 'column "s" is a key of this grouping'),
    ],
)
def test_errors_in_order_of_precedence(keys, kind, name, message):
    f = make_frame(k=[I64_MAX, I64_MAX, 1], s=["a", "a", "b"], n=[1, 2, 3])
    with pytest.raises(ValueError) as raised:
        getattr(f.group(keys), kind)(name)
    assert raised.value.args == (message,)
    assert not hasattr(raised.value, "__notes__")


def test_the_first_overflow_fails_even_if_the_total_fits():
    g = make_frame(x=[I64_MAX, 1, -1]).group([])
    with pytest.raises(ValueError, match="overflows i64"):
        g.sum("x")
    assert make_frame(x=[I64_MAX, -1, 1]).group([]).sum("x").ints("x") == [I64_MAX]


def test_zero_groups_give_empty_columns():
    f = make_frame(k=["a"], i=[1], s=["x"]).head(0)
    g = f.group(["k"])
    for kind, name, dtype in [("sum", "i", "i64"), ("mean", "i", "f64"), ("max", "s", "str")]:
        result = getattr(g, kind)(name)
        assert (result.height(), result.names(), result.dtypes()) == (0, ["k", name], ["str", dtype])
    assert g.count().names() == ["k", "count"]
    with pytest.raises(ValueError, match="has no sum or mean"):
        g.sum("s")


def test_name_must_be_text():
    g = make_frame(a=[1]).group([])
    with pytest.raises(TypeError) as raised:
        g.min(5)
    assert str(raised.value) == "'int' object is not an instance of 'str'"
    assert raised.value.__notes__ == ["while processing 'name'"]


def test_aggregating_leaves_no_python_objects_behind():
    f = make_frame(k=[1, 2, 1, 3] * 50, x=[0.5, 1.5, 2.5, 3.5] * 50)
    assert python_memory_growth(lambda: (f.group(["k"]).mean("x"), f.group(["k"]).count())) < 10_000


# Values over the whole i64 range (so that sums overflow now and then) and every kind of
# float, NaNs and infinities included.
value_columns = st.one_of(
    st.lists(st.integers(-(2**63), I64_MAX), min_size=1, max_size=30),
    st.lists(st.integers(-50, 50), min_size=1, max_size=30),
    st.lists(st.floats(), min_size=1, max_size=30),
    st.lists(st.floats(-1e6, 1e6) | st.sampled_from([1e100, -1e100, 1e-300]), min_size=1, max_size=30),
    st.lists(st.text(max_size=4), min_size=1, max_size=30),
)


@st.composite
def grouped_values(draw):
    values = draw(value_columns)
    keys = draw(st.lists(st.integers(0, 3), min_size=len(values), max_size=len(values)))
    order = draw(st.sampled_from(["as is", "tail", "select"]))
    return keys, values, order


def same(a, b):
    if isinstance(a, float) and isinstance(b, float):
        return model.float_bits(a) == model.float_bits(b)
    return a == b and type(a) is type(b)


@settings(max_examples=300, deadline=None)
@given(grouped_values(), st.sampled_from(["sum", "mean", "min", "max"]))
def test_aggregates_match_a_plain_python_computation(case, kind):
    keys, values, order = case
    texts = isinstance(values[0], str)
    f = make_frame(k=keys, v=values)
    if order == "tail":  # rows through a row selection
        f, keys, values = f.tail(len(keys) - 1), keys[1:], values[1:]
    elif order == "select":
        f = f.select(["v", "k"])
    groups = model.groups({"k": keys}, ["k"], len(keys))
    group_values = [[values[row] for row in rows] for rows in groups]
    if kind in ("sum", "mean") and texts:
        with pytest.raises(ValueError, match="has no sum or mean"):
            getattr(f.group(["k"]), kind)("v")
        return
    try:
        expected = [model.aggregate(kind, vs) for vs in group_values]
    except model.Overflow:
        with pytest.raises(ValueError, match="overflows i64"):
            getattr(f.group(["k"]), kind)("v")
        return
    result = getattr(f.group(["k"]), kind)("v")
    assert result.ints("k") == [keys[rows[0]] for rows in groups]
    got = read(result, "v")
    assert len(got) == len(expected) and all(same(a, b) for a, b in zip(got, expected)), (got, expected)
