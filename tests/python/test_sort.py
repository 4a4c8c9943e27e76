import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorvel
from reference import float_bits, sort_order


def sorted_by(column, kind, keys, descending):
    f = quorvel.Frame()
    getattr(f, "add_" + kind)(column, keys)
    f.add_ints("position", list(range(len(keys))))
    return f.sort(column, descending).ints("position")


@settings(max_examples=300, deadline=None)
@given(st.lists(st.integers(-(2**63), 2**63 - 1) | st.integers(-3, 3), max_size=80), st.booleans())
def test_integer_keys(keys, descending):
    assert sorted_by("k", "ints", keys, descending) == sort_order(keys, descending)


@settings(max_examples=300, deadline=None)
@given(st.lists(st.floats() | st.sampled_from([0.0, -0.0, math.nan, -math.nan, math.inf]), max_size=80),
       st.booleans())
def test_float_keys_with_nan_after_the_numbers(keys, descending):
    assert sorted_by("k", "floats", keys, descending) == sort_order(keys, descending)


# Shared prefixes around eight bytes, zero bytes and characters outside ASCII.
texts = st.lists(st.sampled_from(["a", "b", "B", "\x00", "é", "z", "\U0001f600", "abcdefgh"]), max_size=5).map(
    "".join)


@settings(max_examples=300, deadline=None)
@given(st.lists(texts | st.text(max_size=12), max_size=80), st.booleans())
def test_text_keys_by_utf8_bytes(keys, descending):
    assert sorted_by("k", "strings", keys, descending) == sort_order(keys, descending)


def test_sort_leaves_the_source_and_sorts_derived_frames():
    f = quorvel.Frame()
    f.add_ints("k", [4, 2, 5, 1, 3])
    once = f.sort("k", False)
    assert f.ints("k") == [4, 2, 5, 1, 3]
    assert once.ints("k") == once.sort("k", False).ints("k") == [1, 2, 3, 4, 5]
    assert f.head(3).sort("k", True).ints("k") == [5, 4, 2]
    assert f.where_lt("k", 4).sort("k", False).ints("k") == [1, 2, 3]


@pytest.mark.parametrize(
    "call, error, message, note",
    [
        (lambda f: f.sort("k", 1), TypeError, "'int' object is not an instance of 'bool'", "descending"),
        (lambda f: f.sort("k", None), TypeError, "'None' is not an instance of 'bool'", "descending"),
        (lambda f: f.sort(b"k", True), TypeError, "'bytes' object is not an instance of 'str'", "name"),
        (lambda f: f.sort("K", False), ValueError, 'no column "K" (the frame has "k")', None),
        (lambda f: f.sort("k"), TypeError, "Frame.sort() missing 1 required positional argument: 'descending'", None),
        (lambda f: f.sort(descending=True, name="k", x=1), TypeError,
         "Frame.sort() got an unexpected keyword argument 'x'", None),
        (lambda f: f.sort_by(["k"], 1), TypeError, "'int' object is not an instance of 'bool'", "descending"),
        (lambda f: f.sort_by(["k"], "yes"), TypeError, "'str' object is not an instance of 'bool'", "descending"),
        (lambda f: f.sort_by(["k"], [True, None]), TypeError, "'None' is not an instance of 'bool'", "descending"),
        (lambda f: f.sort_by(["k"], {True}), TypeError, "'set' object is not an instance of 'bool'", "descending"),
        (lambda f: f.sort_by("k", True), TypeError, "Can't extract `str` to `Vec`", "names"),
        (lambda f: f.sort_by(["k"], [True, False]), ValueError, "descending has 2 flags for 1 name", None),
        (lambda f: f.sort_by(["k", "k"], False), ValueError, 'column "k" selected twice', None),
        (lambda f: f.sort_by(["K"], False), ValueError, 'no column "K" (the frame has "k")', None),
        (lambda f: f.sort_by(["k"]), TypeError,
         "Frame.sort_by() missing 1 required positional argument: 'descending'", None),
    ],
)
def test_sort_errors(call, error, message, note):
    f = quorvel.Frame()
    f.add_ints("k", [1])
    with pytest.raises(error) as raised:
        call(f)
    assert str(raised.value) == message
    assert getattr(raised.value, "__notes__", None) == ([f"while processing '{note}'"] if note else None)


def test_sort_takes_a_numpy_bool():
    numpy = pytest.importorskip("numpy")
    f = quorvel.Frame()
    f.add_floats("k", [1.5, -1.0])
    assert float_bits(f.sort("k", numpy.bool_(True)).floats("k")) == float_bits([1.5, -1.0])


# sort_by ------------------------------------------------------------------------------------

FLOATS = [0.0, -0.0, math.nan, math.inf, -1.5, 2.0]


def one_key_order(order, column, descending):
    """`order` sorted stably by one column as sort orders it: present values (reversed when
    descending), then NaN, then None, each group in its order."""
    def is_nan(value):
        return isinstance(value, float) and math.isnan(value)

    present = [p for p in order if column[p] is not None and not is_nan(column[p])]
    nans = [p for p in order if is_nan(column[p])]
    nulls = [p for p in order if column[p] is None]
    value = lambda p: column[p].encode() if isinstance(column[p], str) else column[p]  # noqa: E731
    return sorted(present, key=value, reverse=descending) + nans + nulls


@st.composite
def sort_cases(draw):
    rows = draw(st.integers(0, 40))
    column = lambda values: draw(st.lists(st.none() | values, min_size=rows, max_size=rows))  # noqa: E731
    columns = {
        "a": column(st.integers(-2, 2)),
        "b": column(st.sampled_from(FLOATS)),
        "c": column(st.sampled_from(["", "a", "B", "é", "abcdefgh", "abcdefghi"])),
    }
    names = draw(st.permutations(list(columns)))[: draw(st.integers(0, 3))]
    descending = draw(st.booleans() | st.lists(st.booleans(), min_size=len(names), max_size=len(names)))
    return columns, names, descending


def frame_with_nulls(columns):
    """A frame of the columns (None for a null) and a column "position" numbering the rows."""
    pa = pytest.importorskip("pyarrow")
    types = {"a": pa.int64(), "b": pa.float64(), "c": pa.string()}
    rows = len(next(iter(columns.values())))
    arrays = {name: pa.array(values, types[name]) for name, values in columns.items()}
    return quorvel.Frame.from_arrow(pa.table({**arrays, "position": pa.array(range(rows), pa.int64())}))


@settings(max_examples=300, deadline=None)
@given(sort_cases())
def test_sort_by_is_chained_stable_sorts(case):
    columns, names, descending = case
    flags = descending if isinstance(descending, list) else [descending] * len(names)
    order = list(range(len(columns["a"])))
    for name, flag in reversed(list(zip(names, flags))):
        order = one_key_order(order, columns[name], flag)
    f = frame_with_nulls(columns)
    assert f.sort_by(names, descending).ints("position") == order
    chained = f
    for name, flag in reversed(list(zip(names, flags))):
        chained = chained.sort(name, flag)
    assert chained.ints("position") == order


def test_sort_by_takes_a_flag_or_a_sequence_of_flags():
    f = quorvel.read_csv("k,v\nb,1\na,2\nb,3\na,4\n")
    assert f.sort_by(["k", "v"], True).ints("v") == [3, 1, 4, 2]
    assert f.sort_by(("k", "v"), (False, True)).ints("v") == [4, 2, 3, 1]
    assert f.sort_by(names=["v"], descending=[True]).ints("v") == [4, 3, 2, 1]
    assert f.sort_by([], True).ints("v") == [1, 2, 3, 4]
    numpy = pytest.importorskip("numpy")
    assert f.sort_by(["k", "v"], numpy.array([False, True])).ints("v") == [4, 2, 3, 1]
    assert f.sort_by(["k"], numpy.bool_(True)).ints("v") == [1, 3, 2, 4]
