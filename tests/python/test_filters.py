import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorvel
from reference import among, float_bits, passes

OPS = ["eq", "ne", "lt", "le", "gt", "ge"]
EDGE_INTS = [0, 1, -1, 2**53 - 1, 2**53, 2**53 + 1, -(2**53) - 1, 2**63 - 1, 2**63 - 2, -(2**63), -(2**63) + 1]
EDGE_FLOATS = [0.0, -0.0, 0.5, -2.5, 2.0**53, 2.0**53 + 2, 2.0**63, -(2.0**63), 2.0**63 - 1024, -(2.0**63) - 2048,
               math.inf, -math.inf, math.nan, 1e300]

i64s = st.one_of(st.integers(-(2**63), 2**63 - 1), st.sampled_from(EDGE_INTS),
                 st.sampled_from(EDGE_INTS).flatmap(lambda n: st.integers(max(n - 3, -(2**63)), min(n + 3, 2**63 - 1))))
floats = st.one_of(st.floats(), st.sampled_from(EDGE_FLOATS), i64s.map(float))


def frame_of(**columns):
    f = quorvel.Frame()
    for name, values in columns.items():
        kind = {int: f.add_ints, float: f.add_floats, str: f.add_strings}[type(values[0])]
        kind(name, values)
    return f


@settings(max_examples=400, deadline=None)
@given(st.lists(i64s, max_size=20), floats, st.sampled_from(OPS))
def test_integer_cells_compare_exactly_with_floats(cells, value, op):
    f = quorvel.Frame()
    f.add_ints("i", cells)
    assert getattr(f, "where_" + op)("i", value).ints("i") == [c for c in cells if passes(op, c, value)]


@settings(max_examples=300, deadline=None)
@given(st.lists(floats, max_size=20), floats, st.sampled_from(OPS))
def test_float_cells_compare_by_ieee(cells, value, op):
    f = quorvel.Frame()
    f.add_floats("f", cells)
    kept = getattr(f, "where_" + op)("f", value).floats("f")
    assert float_bits(kept) == float_bits([c for c in cells if passes(op, c, value)])


@settings(max_examples=300, deadline=None)
@given(st.lists(i64s, max_size=20), st.lists(floats, max_size=40))
def test_where_among_on_integers(cells, values):
    f = quorvel.Frame()
    f.add_ints("i", cells)
    assert f.where_among("i", values).ints("i") == [c for c in cells if among(c, values)]


@settings(max_examples=300, deadline=None)
@given(st.lists(floats, max_size=20), st.lists(floats, max_size=40))
def test_where_among_on_floats(cells, values):
    f = quorvel.Frame()
    f.add_floats("f", cells)
    assert float_bits(f.where_among("f", values).floats("f")) == float_bits([c for c in cells if among(c, values)])


# é both composed and decomposed: equal to the eye, other bytes.
texts = st.lists(st.sampled_from(["a", "b", "B", "\x00", "é", "e\u0301", "\U0001f600"]), max_size=3).map("".join)


@settings(max_examples=300, deadline=None)
@given(st.lists(texts, max_size=20), st.lists(texts, max_size=40), texts)
def test_where_in_and_where_is_compare_texts_exactly(cells, values, value):
    f = quorvel.Frame()
    f.add_strings("s", cells)
    assert f.where_in("s", values).strings("s") == [c for c in cells if c in values]
    assert f.where_is("s", value).strings("s") == [c for c in cells if c == value]


# Texts of up to 12 bytes, and needles up to 10 that often begin or end one of them: needles
# of at most 8 bytes are compared a word at a time, read across the neighbouring texts, and
# the texts near either end of the column too short for that are compared as they stand.
affix_cells = st.lists(st.text("ab\x00é", max_size=12), max_size=12)


@settings(max_examples=400, deadline=None)
@given(affix_cells, st.data(), st.booleans())
def test_where_starts_and_ends_with_match_python(cells, data, through_a_selection):
    needle = data.draw(st.one_of(st.text("ab\x00é", max_size=10),
                                 st.sampled_from(cells or [""]).flatmap(lambda c: st.sampled_from(
                                     [c[:k] for k in range(len(c) + 1)] + [c[k:] for k in range(len(c) + 1)]))))
    f = quorvel.Frame()
    f.add_strings("s", cells)
    if through_a_selection:
        f, cells = f.sort("s", True), sorted(cells, key=lambda c: c.encode(), reverse=True)
    assert f.where_starts_with("s", needle).strings("s") == [c for c in cells if c.startswith(needle)]
    assert f.where_ends_with("s", needle).strings("s") == [c for c in cells if c.endswith(needle)]


@pytest.mark.parametrize(
    "method, value, kept",
    [
        ("where_gt", 2.0**53, [2**53 + 1]),
        # The int argument becomes the float 2^53 before the engine sees it.
        ("where_eq", 2**53 + 1, []),
        ("where_ge", 2**53 + 1, [2**53 + 1]),
        ("where_eq", True, [1]),
    ],
)
def test_the_value_is_converted_to_a_float_first(method, value, kept):
    f = quorvel.Frame()
    f.add_ints("i", [1, 2, 3, 2**53 + 1])
    assert getattr(f, method)("i", value).ints("i") == kept


def test_empty_lists_keep_no_rows_but_every_column():
    f = frame_of(i=[2, 0, 3], f=[-0.0, math.nan, 0.5], s=["b", "B", ""])
    for empty in (f.where_in("s", []), f.where_among("i", ())):
        assert empty.height() == 0 and empty.names() == ["i", "f", "s"] and empty.dtypes() == ["i64", "f64", "str"]


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda f: f.where_eq("s", 1), 'column "s" is str: compare it with where_is or where_in'),
        (lambda f: f.where_ge("s", 1.5), 'column "s" is str: compare it with where_is or where_in'),
        (lambda f: f.where_among("s", [1]), 'column "s" is str: where_in takes its strings'),
        (lambda f: f.where_is("f", "1"), 'column "f" is f64: where_is and where_in take a str column'),
        (lambda f: f.where_in("i", ["1"]), 'column "i" is i64: where_is and where_in take a str column'),
        (lambda f: f.where_lt("x", 1), 'no column "x" (the frame has "i", "f", "s")'),
    ],
)
def test_engine_errors(call, message):
    with pytest.raises(ValueError) as raised:
        call(frame_of(i=[1], f=[1.0], s=["a"]))
    assert raised.value.args == (message,)
    assert not hasattr(raised.value, "__notes__")


@pytest.mark.parametrize("name", ["i", "f", "s", "x", 'q"uote'])
def test_where_is_is_where_in_with_one_text(name):
    f = frame_of(i=[1], f=[1.0], s=["a"])

    def outcome(call):
        try:
            return call().strings(name)
        except ValueError as error:
            return error.args

    assert outcome(lambda: f.where_is(name, "a")) == outcome(lambda: f.where_in(name, ["a"]))


@pytest.mark.parametrize(
    "call, error, message, note",
    [
        (lambda f: f.where_eq("i", "1"), TypeError, None, "value"),
        (lambda f: f.where_gt("i", 10**400), OverflowError, None, "value"),
        (lambda f: f.where_lt(1, 1), TypeError, "'int' object is not an instance of 'str'", "name"),
        (lambda f: f.where_is("s", None), TypeError, "'None' is not an instance of 'str'", "value"),
        (lambda f: f.where_in("s", "a"), TypeError, "Can't extract `str` to `Vec`", "values"),
        (lambda f: f.where_in("s", {"a"}), TypeError, "'set' object is not an instance of 'Sequence'", "values"),
        (lambda f: f.where_among("i", [1, "2"]), TypeError, None, "values"),
        (lambda f: f.where_among("i"), TypeError, "Frame.where_among() missing 1 required positional argument: 'values'",
         None),
    ],
)
def test_argument_errors_come_first(call, error, message, note):
    # The column does not exist for some calls: argument errors are raised before the lookup.
    with pytest.raises(error) as raised:
        call(frame_of(i=[1], s=["a"]))
    if message is not None:
        assert str(raised.value) == message
    assert getattr(raised.value, "__notes__", None) == ([f"while processing '{note}'"] if note else None)


def test_filters_see_only_a_derived_frames_rows():
    f = frame_of(i=[5, 1, 4, 2, 3])
    picked = f.sort("i", True).tail(4)  # 4, 3, 2, 1
    assert picked.where_gt("i", 1.5).ints("i") == [4, 3, 2]
    assert picked.where_gt("i", 1.5).where_among("i", [2, 4]).ints("i") == [4, 2]
    assert f.ints("i") == [5, 1, 4, 2, 3]


def test_null_and_text_filters():
    f = quorvel.read_csv('city,rain\nSan Jose,1.5\n,2\nOslo,\n"",0.5\nSantos,3\n')
    assert f.where_null("rain").strings("city") == ["Oslo"]
    assert f.where_not_null("city").floats("rain") == [1.5, None, 0.5, 3.0]
    assert f.where_null("city").where_not_null("rain").floats("rain") == [2.0]
    assert f.where_starts_with("city", "San").floats("rain") == [1.5, 3.0]
    assert f.where_ends_with("city", "os").strings("city") == ["Santos"]
    assert f.where_contains("city", "os").strings("city") == ["San Jose", "Santos"]  # not Oslo: bytes
    assert f.where_contains("city", "").strings("city") == ["San Jose", "Oslo", "", "Santos"]  # not the null
    assert f.sort("rain", True).where_contains(name="city", text="s").strings("city") == ["Santos", "San Jose", "Oslo"]


@pytest.mark.parametrize(
    "call, error, message, note",
    [
        (lambda f: f.where_null(1), TypeError, "'int' object is not an instance of 'str'", "name"),
        (lambda f: f.where_not_null(), TypeError,
         "Frame.where_not_null() missing 1 required positional argument: 'name'", None),
        (lambda f: f.where_contains("s", None), TypeError, "'None' is not an instance of 'str'", "text"),
        (lambda f: f.where_starts_with("s", ["a"]), TypeError, "'list' object is not an instance of 'str'", "text"),
        (lambda f: f.where_ends_with("s", "a", "b"), TypeError,
         "Frame.where_ends_with() takes 2 positional arguments but 3 were given", None),
        (lambda f: f.where_contains("s", value="a"), TypeError,
         "Frame.where_contains() got an unexpected keyword argument 'value'", None),
        (lambda f: f.where_null("x"), ValueError, 'no column "x" (the frame has "i", "s")', None),
        (lambda f: f.where_ends_with("i", "1"), ValueError,
         'column "i" is i64: where_starts_with, where_ends_with and where_contains take a str column', None),
    ],
)  # fmt: skip
def test_null_and_text_filter_errors(call, error, message, note):
    with pytest.raises(error) as raised:
        call(frame_of(i=[1], s=["a"]))
    assert str(raised.value) == message
    assert getattr(raised.value, "__notes__", None) == ([f"while processing '{note}'"] if note else None)
