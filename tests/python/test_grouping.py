import math
import struct

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import grouping_model as model
import quorvel
from conftest import make_frame, read

# A NaN with other bits than math.nan: a different key.
OTHER_NAN = struct.unpack("<d", struct.pack("<Q", 0x7FF8000000000001))[0]


def test_groups_come_in_order_of_first_appearance():
    g = make_frame(k=["b", "a", "b", "c", "a"]).group(["k"])
    assert g.groups() == 3
    assert (g.count().strings("k"), g.count().ints("count")) == (["b", "a", "c"], [2, 2, 1])


def test_grouping_follows_the_rows_of_a_sliced_frame():
    f = make_frame(k=["a", "b", "a", "c", "b"], v=[1, 2, 3, 4, 5])
    tail = f.tail(3).group(["k"]).sum("v")
    assert (tail.strings("k"), tail.ints("v")) == (["a", "c", "b"], [3, 4, 5])
    assert f.head(4).select(["v", "k"]).group(names=["k", "v"]).count().names() == ["k", "v", "count"]


def test_a_grouping_is_a_snapshot_of_its_frame():
    f = make_frame(k=[1, 2, 1])
    g = f.group(["k"])
    f.add_ints("later", [7, 8, 9])
    with pytest.raises(ValueError) as error:
        g.sum("later")
    assert error.value.args == ('no column "later" (the frame has "k")',)


@pytest.mark.parametrize(
    "names, error, message",
    [
        (["a", "a"], ValueError, 'column "a" selected twice'),
        (["a", "x", "a"], ValueError, 'no column "x" (the frame has "a", "b")'),
        ("a", TypeError, "Can't extract `str` to `Vec`"),
        ({"a"}, TypeError, "'set' object is not an instance of 'Sequence'"),
        (["a", None], TypeError, "'None' is not an instance of 'str'"),
    ],
)
def test_key_names_are_checked(names, error, message):
    with pytest.raises(error) as raised:
        make_frame(a=[1], b=[2.0]).group(names)
    assert str(raised.value) == message
    assert getattr(raised.value, "__notes__", None) == (["while processing 'names'"] if error is TypeError else None)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda f: f.group(), "Frame.group() missing 1 required positional argument: 'names'"),
        (lambda f: f.group([], keys=[]), "Frame.group() got an unexpected keyword argument 'keys'"),
        (lambda f: f.group([]).max("a", "b"), "Grouped.max() takes 1 positional arguments but 2 were given"),
        (lambda f: f.group([]).min(5), "'int' object is not an instance of 'str'"),
    ],
)
def test_arguments_are_matched_and_converted(call, message):
    with pytest.raises(TypeError) as raised:
        call(make_frame(a=[1]))
    assert str(raised.value) == message


def test_grouped_class():
    with pytest.raises(TypeError):
        quorvel.Grouped()
    with pytest.raises(TypeError):
        type("Sub", (quorvel.Grouped,), {})
    signatures = dict.fromkeys(["groups", "count", "describe", "free"], "($self)")
    signatures |= dict.fromkeys(["sum", "mean", "min", "max"], "($self, name)")
    assert {name: getattr(quorvel.Grouped, name).__text_signature__ for name in signatures} == signatures
    assert quorvel.Frame.group.__text_signature__ == "($self, names)"


# Keys drawn from few values, so that groups repeat; floats include both zeros and NaNs of
# two bit patterns.
int_keys = st.sampled_from([0, 1, -1, 2**63 - 1, -(2**63)])
float_keys = st.sampled_from([0.0, -0.0, 1.5, math.inf, -math.inf, math.nan, OTHER_NAN])
text_keys = st.sampled_from(["", "a", "ab", "é", "a\x00", "ab" * 13])


@st.composite
def keyed_frames(draw):
    height = draw(st.integers(0, 40))
    kinds = draw(st.lists(st.sampled_from([int_keys, float_keys, text_keys]), max_size=3))
    columns = {f"k{i}": draw(st.lists(kind, min_size=height, max_size=height)) for i, kind in enumerate(kinds)}
    keys = draw(st.permutations(list(columns)))
    columns["row"] = list(range(height))  # gives the frame its height when there are no keys
    return columns, keys, height


@settings(max_examples=300, deadline=None)
@given(keyed_frames())
def test_groups_match_a_dict_of_keys(case):
    columns, keys, height = case
    expected = model.groups(columns, keys, height)
    g = make_frame(**columns).group(keys)
    assert g.groups() == len(expected)
    counted = g.count()
    assert counted.names() == [*keys, "count"]
    assert counted.ints("count") == [len(rows) for rows in expected]
    for key in keys:  # each group shows its first row's key, the sign of a zero included
        first_rows = [columns[key][rows[0]] for rows in expected]
        assert [model.exact(v) for v in read(counted, key)] == [model.exact(v) for v in first_rows]
