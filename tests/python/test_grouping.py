import math
import struct
import threading

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
    counted = g.count()
    assert counted.strings("k") == ["b", "a", "c"]
    assert counted.ints("count") == [2, 2, 1]


@pytest.mark.parametrize(
    "keys, expected_keys, counts",
    [
        ([0.0, -0.0, 1.0, -0.0], [0.0, 1.0], [3, 1]),
        ([-0.0, 0.0], [-0.0], [2]),  # the first row's sign
        ([math.nan, OTHER_NAN, math.nan], [math.nan, OTHER_NAN], [2, 1]),
    ],
)
def test_float_keys_equal_as_numbers_or_by_bits(keys, expected_keys, counts):
    counted = make_frame(k=keys).group(["k"]).count()
    assert [model.float_bits(v) for v in counted.floats("k")] == [model.float_bits(v) for v in expected_keys]
    assert counted.ints("count") == counts


def test_no_keys_make_one_group_of_all_rows_or_none():
    f = make_frame(x=[5, 6, 7])
    assert f.group([]).groups() == 1
    assert f.group([]).count().ints("count") == [3]
    assert f.head(0).group([]).groups() == 0
    assert quorvel.Frame().group([]).groups() == 0


def test_grouping_follows_the_rows_of_a_sliced_frame():
    f = make_frame(k=["a", "b", "a", "c", "b"], v=[1, 2, 3, 4, 5])
    tail = f.tail(3).group(["k"]).sum("v")
    assert tail.strings("k") == ["a", "c", "b"]
    assert tail.ints("v") == [3, 4, 5]
    picked = f.head(4).select(["v", "k"]).group(["k", "v"]).count()
    assert picked.names() == ["k", "v", "count"]
    assert picked.ints("v") == [1, 2, 3, 4]


def test_a_grouping_is_a_snapshot_of_its_frame():
    f = make_frame(k=[1, 2, 1])
    g = f.group(["k"])
    f.add_ints("later", [7, 8, 9])
    with pytest.raises(ValueError) as error:
        g.sum("later")
    assert error.value.args == ('no column "later" (the frame has "k")',)
    assert f.width() == 2 and g.count().ints("count") == [2, 1]


@pytest.mark.parametrize(
    "names, error, message, note",
    [
        (["a", "a"], ValueError, 'column "a" selected twice', None),
        (["a", "x", "a"], ValueError, 'no column "x" (the frame has "a", "b")', None),
        (["A"], ValueError, 'no column "A" (the frame has "a", "b")', None),
        ("a", TypeError, "Can't extract `str` to `Vec`", "while processing 'names'"),
        (5, TypeError, "'int' object is not an instance of 'Sequence'", "while processing 'names'"),
        ({"a"}, TypeError, "'set' object is not an instance of 'Sequence'", "while processing 'names'"),
        (["a", None], TypeError, "'None' is not an instance of 'str'", "while processing 'names'"),
    ],
)
def test_key_names_are_checked(names, error, message, note):
    f = make_frame(a=[1], b=[2.0])
    with pytest.raises(error) as raised:
        f.group(names)
    assert str(raised.value) == message
    assert getattr(raised.value, "__notes__", [None]) == [note]


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda f: f.group(), "Frame.group() missing 1 required positional argument: 'names'"),
        (lambda f: f.group([], []), "Frame.group() takes 1 positional arguments but 2 were given"),
        (lambda f: f.group(keys=[]), "Frame.group() got an unexpected keyword argument 'keys'"),
        (lambda f: f.group([], names=[]), "Frame.group() got multiple values for argument 'names'"),
        (lambda f: f.group([]).sum(), "Grouped.sum() missing 1 required positional argument: 'name'"),
        (lambda f: f.group([]).max("a", "b"), "Grouped.max() takes 1 positional arguments but 2 were given"),
    ],
)
def test_arguments_are_matched_to_parameters(call, message):
    with pytest.raises(TypeError) as raised:
        call(make_frame(a=[1]))
    assert str(raised.value) == message


def test_keyword_arguments():
    g = make_frame(a=[1, 1], b=[2, 3]).group(names=["a"])
    assert g.sum(name="b").ints("b") == [5]


def test_grouped_class():
    with pytest.raises(TypeError):
        quorvel.Grouped()
    with pytest.raises(TypeError):
        type("Sub", (quorvel.Grouped,), {})
    assert quorvel.Grouped.__module__ == "builtins"
    assert quorvel.Frame.group.__text_signature__ == "($self, names)"
    signatures = {
        "groups": "($self)",
        "count": "($self)",
        "sum": "($self, name)",
        "mean": "($self, name)",
        "min": "($self, name)",
        "max": "($self, name)",
        "describe": "($self)",
        "free": "($self)",
    }
    assert {name: getattr(quorvel.Grouped, name).__text_signature__ for name in signatures} == signatures
    g = make_frame(a=[1]).group(["a"])
    assert g.free() is None and g.groups() == 1


def test_a_grouping_belongs_to_its_thread():
    g = make_frame(a=[1]).group(["a"])
    caught = []
    thread = threading.Thread(target=lambda: caught.append(_raised(g.count)))
    thread.start()
    thread.join()
    assert type(caught[0]).__name__ == "PanicException"
    assert "quorvel::api::Grouped is unsendable, but sent to another thread" in str(caught[0])


def _raised(call):
    try:
        call()
    except BaseException as error:  # PanicException derives from BaseException
        return error
    return None


# Keys drawn from few values, so that groups repeat; floats include both zeros and NaNs of
# two bit patterns.
int_keys = st.sampled_from([0, 1, -1, 2**63 - 1, -(2**63)])
float_keys = st.sampled_from([0.0, -0.0, 1.5, math.inf, -math.inf, math.nan, OTHER_NAN])
text_keys = st.sampled_from(["", "a", "ab", "é", "a\x00", "ab" * 13])


@st.composite
def keyed_frames(draw):
    height = draw(st.integers(0, 40))
    kinds = draw(st.lists(st.sampled_from([int_keys, float_keys, text_keys]), min_size=0, max_size=3))
    columns = {f"k{i}": draw(st.lists(kind, min_size=height, max_size=height)) for i, kind in enumerate(kinds)}
    keys = draw(st.permutations(list(columns)))
    columns["row"] = list(range(height))  # gives the frame its height when there are no keys
    return columns, keys, height


@settings(max_examples=300, deadline=None)
@given(keyed_frames())
def test_groups_match_a_dict_of_keys(case):
    columns, keys, height = case
    f = make_frame(**columns)
    expected = model.groups(columns, keys, height)
    g = f.group(keys)
    assert g.groups() == len(expected)
    counted = g.count()
    assert counted.names() == [*keys, "count"]
    assert counted.ints("count") == [len(rows) for rows in expected]
    for key in keys:
        first_values = [columns[key][rows[0]] for rows in expected]
        got = read(counted, key)
        if counted.dtypes()[counted.names().index(key)] == "f64":
            assert [model.float_bits(v) for v in got] == [model.float_bits(v) for v in first_values]
        else:
            assert got == first_values
