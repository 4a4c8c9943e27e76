"""Adding columns, reading them back, the shape queries and their messages."""

import math
import struct

import pytest

import quorvel


def test_new_frame_is_empty():
    f = quorvel.Frame()
    assert (f.height(), f.width(), f.names(), f.dtypes()) == (0, 0, [], [])


def test_columns_keep_their_order_dtype_and_values(frame):
    assert frame.names() == ["i", "f", "s"]
    assert frame.dtypes() == ["i64", "f64", "str"]
    assert (frame.height(), frame.width()) == (3, 3)
    assert frame.ints("i") == [3, 1, 2]
    assert frame.floats("f") == [0.5, -1.5, 2.0]
    assert frame.strings("s") == ["b", "a", "c"]


@pytest.mark.parametrize(
    "value",
    [0.0, -0.0, math.inf, -math.inf, 5e-324, 1.7976931348623157e308, 0.1],
)
def test_floats_keep_their_bits(value):
    f = quorvel.Frame()
    f.add_floats("x", [value])
    [back] = f.floats("x")
    assert struct.pack("<d", back) == struct.pack("<d", value)


def test_nan_payload_is_kept():
    nan = struct.unpack("<d", struct.pack("<Q", 0x7FF8_0000_0000_1234))[0]
    f = quorvel.Frame()
    f.add_floats("x", [nan])
    assert struct.pack("<d", f.floats("x")[0]) == struct.pack("<d", nan)


@pytest.mark.parametrize("value", [0, -1, 2**63 - 1, -(2**63)])
def test_ints_cover_the_64_bit_range(value):
    f = quorvel.Frame()
    f.add_ints("x", [value])
    assert f.ints("x") == [value]


@pytest.mark.parametrize("text", ["", "plain", "é", "日本", "\x00nul", "emoji \U0001F600", "a,b\n\"c\""])
def test_strings_round_trip(text):
    f = quorvel.Frame()
    f.add_strings("x", [text, text])
    assert f.strings("x") == [text, text]


def test_empty_column_then_length_mismatch():
    f = quorvel.Frame()
    f.add_ints("a", [])
    assert (f.width(), f.height()) == (1, 0)
    with pytest.raises(ValueError) as error:
        f.add_floats("b", [1.5])
    assert error.value.args == ('column "b" has 1 values; the frame has 0 rows',)
    assert f.names() == ["a"]


def test_duplicate_name_is_reported_before_a_wrong_length(frame):
    with pytest.raises(ValueError, match='^the frame has a column "s" already$'):
        frame.add_strings("s", ["only one"])
    frame.add_strings("S", ["x", "y", "z"])  # names are case-sensitive
    assert frame.names() == ["i", "f", "s", "S"]


def test_failed_add_leaves_the_frame_unchanged(frame):
    with pytest.raises(ValueError):
        frame.add_ints("n", [1, 2])
    with pytest.raises(TypeError):
        frame.add_ints("n", [1, 2, "3"])
    assert frame.names() == ["i", "f", "s"] and frame.height() == 3


def test_frame_without_columns_takes_any_length(frame):
    bare = frame.select([])
    assert (bare.width(), bare.height()) == (0, 3)
    bare.add_ints("z", [1, 2, 3, 4, 5])
    assert (bare.width(), bare.height()) == (1, 5)


def test_empty_name_is_a_name():
    f = quorvel.Frame()
    f.add_ints("", [1])
    assert f.names() == [""]
    with pytest.raises(ValueError, match='^the frame has a column "" already$'):
        f.add_ints("", [2])


@pytest.mark.parametrize(
    "names, message",
    [
        ([], 'no column "x" (the frame has none)'),
        (["a", "b"], 'no column "x" (the frame has "a", "b")'),
        (["a\"b", "tab\there"], 'no column "x" (the frame has "a\\"b", "tab\\there")'),
    ],
)
def test_lookup_message_lists_the_columns(names, message):
    f = quorvel.Frame()
    for name in names:
        f.add_ints(name, [])
    for read in (f.ints, f.floats, f.strings):
        with pytest.raises(ValueError) as error:
            read("x")
        assert error.value.args == (message,)
        assert not hasattr(error.value, "__notes__")


@pytest.mark.parametrize(
    "name, shown",
    [
        ('a"b', '"a\\"b"'),
        ("back\\slash", '"back\\\\slash"'),
        ("line\nfeed", '"line\\nfeed"'),
        ("\u200b", '"\\u{200b}"'),
        ("e\u0301", '"e\\u{301}"'),
        ("bell\x07", '"bell\\u{7}"'),
        ("it's é", "\"it's é\""),
    ],
)
def test_names_are_quoted_and_escaped_in_messages(name, shown):
    with pytest.raises(ValueError) as error:
        quorvel.Frame().ints(name)
    assert error.value.args == (f"no column {shown} (the frame has none)",)


@pytest.mark.parametrize(
    "read, column, message",
    [
        ("floats", "i", 'column "i" is i64, not f64'),
        ("strings", "i", 'column "i" is i64, not str'),
        ("ints", "f", 'column "f" is f64, not i64'),
        ("strings", "f", 'column "f" is f64, not str'),
        ("ints", "s", 'column "s" is str, not i64'),
        ("floats", "s", 'column "s" is str, not f64'),
    ],
)
def test_reading_another_dtype_fails(frame, read, column, message):
    with pytest.raises(ValueError) as error:
        getattr(frame, read)(column)
    assert error.value.args == (message,)


def test_adding_to_a_derived_frame_leaves_the_source_alone(frame):
    derived = frame.tail(2)
    derived.add_ints("n", [10, 20])
    assert derived.names() == ["i", "f", "s", "n"]
    assert derived.ints("i") == [1, 2] and derived.ints("n") == [10, 20]
    assert frame.names() == ["i", "f", "s"]
    assert frame.ints("i") == [3, 1, 2]


def test_reading_is_repeatable_and_results_are_new_lists(frame):
    first, second = frame.strings("s"), frame.strings("s")
    assert first == second and first is not second
    first.append("mutated")
    assert frame.strings("s") == ["b", "a", "c"]
