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
