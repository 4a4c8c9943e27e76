import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorvel
from reference import float_bits, passes, sort_order


def five_rows():
    f = quorvel.Frame()
    f.add_ints("i", [10, 11, 12, 13, 14])
    f.add_strings("s", ["a", "b", "c", "d", "e"])
    return f


@pytest.mark.parametrize(
    "method, n, kept",
    [
        ("head", 2, [10, 11]),
        ("head", -2, [10, 11, 12]),
        ("head", True, [10]),
        ("head", -(2**63), []),
        ("tail", -2, [12, 13, 14]),
        ("tail", 2**63 - 1, [10, 11, 12, 13, 14]),
    ],
)
def test_head_and_tail_keep_the_right_rows(method, n, kept):
    f = five_rows()
    part = getattr(f, method)(n)
    assert part.ints("i") == kept
    assert part.height() == len(kept)
    assert part.names() == ["i", "s"] and part.dtypes() == ["i64", "str"]
    assert part is not f
    assert f.height() == 5


def test_slices_compose():
    f = five_rows()
    assert f.head(4).tail(2).ints("i") == [12, 13]
    assert f.tail(-1).head(-1).strings("s") == ["b", "c", "d"]


@pytest.mark.parametrize(
    "names, outcome",
    [
        (["s", "i"], ["s", "i"]),
        ([], []),
        (("i",), ["i"]),
        (["i", "s", "i"], 'column "i" selected twice'),
        (["i", "x", "i"], 'no column "x" (the frame has "i", "s")'),
    ],
)
def test_select(names, outcome):
    f = five_rows()
    if isinstance(outcome, str):
        with pytest.raises(ValueError) as raised:
            f.select(names)
        assert raised.value.args == (outcome,)
    else:
        picked = f.select(names)
        assert picked.names() == outcome
        assert picked.height() == 5


def test_adding_to_a_derived_frame_leaves_the_source_alone():
    f = five_rows()
    first, second = f.head(3), f.head(3)
    first.add_floats("x", [0.5, 1.5, 2.5])
    assert first.names() == ["i", "s", "x"] and first.ints("i") == [10, 11, 12]
    assert f.names() == second.names() == ["i", "s"]
    assert second.ints("i") == [10, 11, 12] and f.ints("i") == [10, 11, 12, 13, 14]


@pytest.mark.parametrize(
    "call, error, message, note",
    [
        (lambda f: f.head("3"), TypeError, None, "while processing 'n'"),
        (lambda f: f.tail(2**64), OverflowError, None, "while processing 'n'"),
        (lambda f: f.head(1, 2), TypeError, "Frame.head() takes 1 positional arguments but 2 were given", None),
        (lambda f: f.head(1, n=1), TypeError, "Frame.head() got multiple values for argument 'n'", None),
        (lambda f: f.tail(m=1), TypeError, "Frame.tail() got an unexpected keyword argument 'm'", None),
        (lambda f: f.select("is"), TypeError, "Can't extract `str` to `Vec`", "while processing 'names'"),
    ],
)
def test_argument_errors(call, error, message, note):
    with pytest.raises(error) as raised:
        call(five_rows())
    if message is not None:
        assert str(raised.value) == message
    assert getattr(raised.value, "__notes__", None) == ([note] if note else None)


def test_row_methods_are_listed_in_table_order_with_signatures():
    order = [name for name in quorvel.Frame.__dict__ if not name.startswith("__")]
    expected = ["add_floats", "add_ints", "add_strings", "add_date_part", "height", "width", "names", "dtypes",
                "select", "head", "tail", "sort", "where_eq", "where_ne", "where_lt", "where_le", "where_gt",
                "where_ge", "where_among", "where_is", "where_in"]
    assert [name for name in order if name in expected] == expected
    assert order.index("where_in") < order.index("floats")
    assert quorvel.Frame.sort.__text_signature__ == "($self, name, descending)"
    assert quorvel.Frame.add_date_part.__text_signature__ == "($self, name, source, part)"
    assert quorvel.Frame.where_among.__text_signature__ == "($self, name, values)"


# Random chains of row operations give the same rows as the same chain on Python lists.
ROW = st.tuples(
    st.integers(-5, 5),
    st.floats(allow_nan=True, allow_infinity=True, width=16),
    st.sampled_from(["a", "b", "B", "", "é", "ab"]),
)
STEP = st.one_of(
    st.tuples(st.just("head"), st.integers(-8, 8)),
    st.tuples(st.just("tail"), st.integers(-8, 8)),
    st.tuples(st.just("where"), st.sampled_from(["eq", "ne", "lt", "le", "gt", "ge"]), st.sampled_from(["i", "f"]),
              st.sampled_from([0, 1.5, -2, float("nan"), float("inf")])),
    st.tuples(st.just("in"), st.lists(st.sampled_from(["a", "b", "é", "x"]), max_size=3)),
    st.tuples(st.just("sort"), st.sampled_from(["i", "f", "s"]), st.booleans()),
)
COLUMN = {"i": 0, "f": 1, "s": 2}


def apply_to_rows(rows, step):
    kind = step[0]
    if kind in ("head", "tail"):
        n = step[1]
        k = min(n, len(rows)) if n >= 0 else max(len(rows) + n, 0)
        return rows[:k] if kind == "head" else rows[len(rows) - k:]
    if kind == "where":
        _, op, column, value = step
        return [row for row in rows if passes(op, row[COLUMN[column]], value)]
    if kind == "in":
        return [row for row in rows if row[2] in step[1]]
    _, column, descending = step
    return [rows[p] for p in sort_order([row[COLUMN[column]] for row in rows], descending)]


def apply_to_frame(frame, step):
    kind = step[0]
    if kind in ("head", "tail"):
        return getattr(frame, kind)(step[1])
    if kind == "where":
        _, op, column, value = step
        return getattr(frame, "where_" + op)(column, value)
    if kind == "in":
        return frame.where_in("s", step[1])
    return frame.sort(step[1], step[2])


@settings(max_examples=300, deadline=None)
@given(st.lists(ROW, max_size=12), st.lists(STEP, max_size=6))
def test_chains_of_row_operations_match_lists(rows, steps):
    frame = quorvel.Frame()
    frame.add_ints("i", [row[0] for row in rows])
    frame.add_floats("f", [row[1] for row in rows])
    frame.add_strings("s", [row[2] for row in rows])
    for step in steps:
        rows = apply_to_rows(rows, step)
        frame = apply_to_frame(frame, step)
        assert frame.ints("i") == [row[0] for row in rows], step
    assert float_bits(frame.floats("f")) == float_bits([row[1] for row in rows])
    assert frame.strings("s") == [row[2] for row in rows]
