"""join, unique, concat and rename: results against plain Python, and how the calls are taken."""

import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorvel
from conftest import read
from grouping_model import exact, key_identity

pa = pytest.importorskip("pyarrow")

TYPES = {"i": pa.int64(), "f": pa.float64(), "t": pa.string()}
FLOATS = [0.0, -0.0, math.nan, -math.nan, 1.5]
TEXTS = ["", "a", "é", "abcdefghijklmnopqrstuvwxyz"]


def frame_of(columns):
    """A frame of the columns, None for a null; a name's first letter gives its dtype."""
    arrays = {name: pa.array(values, TYPES[name[0]]) for name, values in columns.items()}
    return quorvel.Frame.from_arrow(pa.table(arrays))


def rows_of(frame):
    """The names, then each row as a tuple of cells (floats by their bits)."""
    columns = [read(frame, name) for name in frame.names()]
    return [tuple(frame.names())] + [tuple(exact(column[r]) for column in columns) for r in range(frame.height())]


def model_join(left, right, on, how):
    """The join written plainly: nested loops over the rows, keys equal as grouping finds
    them, a None key matching nothing."""
    def key(columns, row):
        cells = [columns[name][row] for name in on]
        return None if None in cells else tuple(key_identity(cell) for cell in cells)

    added = [name for name in right if name not in on]
    names = list(left) + ([] if how in ("semi", "anti") else added)
    left_rows, right_rows = len(next(iter(left.values()))), len(next(iter(right.values())))

    def row(l, r):
        cells = [left[name][l] if l is not None else right[name][r] if name in on else None for name in left]
        if how not in ("semi", "anti"):
            cells += [right[name][r] if r is not None else None for name in added]
        return tuple(exact(cell) for cell in cells)

    found, matched = [tuple(names)], set()
    for l in range(left_rows):
        matches = [r for r in range(right_rows) if key(left, l) is not None and key(left, l) == key(right, r)]
        matched.update(matches)
        if how in ("inner", "left", "full"):
            found += [row(l, r) for r in matches]
        if (how in ("left", "full", "anti") and not matches) or (how == "semi" and matches):
            found.append(row(l, None))
    if how == "full":
        found += [row(None, r) for r in range(right_rows) if r not in matched]
    return found


@st.composite
def join_cases(draw):
    def columns(rows, value_name):
        cells = lambda values: draw(st.lists(st.none() | values, min_size=rows, max_size=rows))  # noqa: E731
        return {
            "i": cells(st.integers(-1, 2)),
            "f": cells(st.sampled_from(FLOATS)),
            "t": cells(st.sampled_from(TEXTS)),
            value_name: list(range(rows)),
        }

    left = columns(draw(st.integers(1, 25)), "i_left")
    right = columns(draw(st.integers(1, 25)), "i_right")
    on = draw(st.permutations(["i", "f", "t"]))[: draw(st.integers(0, 2))]
    right = {name: values for name, values in right.items() if name in on or name == "i_right"}
    return left, right, on, draw(st.sampled_from(["inner", "left", "full", "semi", "anti"])), draw(st.booleans())


@settings(max_examples=400, deadline=None)
@given(join_cases())
def test_join_matches_a_plain_model(case):
    left, right, on, how, reversed_right = case
    other = frame_of(right)
    if reversed_right:
        # Rows through a selection: other's physical rows are no longer its logical ones.
        other = other.sort("i_right", True)
        right = {name: values[::-1] for name, values in right.items()}
    assert rows_of(frame_of(left).join(other, on, how)) == model_join(left, right, on, how)


def test_a_frame_joins_itself():
    f = frame_of({"i": [1, 2, None, 2], "t": ["a", "b", "c", "b"]})
    assert rows_of(f.join(f, ["i", "t"], "inner")) == [("i", "t"), (1, "a"), (2, "b"), (2, "b"), (2, "b"), (2, "b")]
    assert f.join(f, ["i"], "semi").strings("t") == ["a", "b", "b"]
    assert f.join(f.rename("t", "t2"), ["i"], "left").strings("t2") == ["a", "b", "b", None, "b", "b"]


def test_join_takes_its_arguments_by_keyword():
    f = quorvel.read_csv("k,v\n1,a\n2,b\n")
    g = quorvel.read_csv("w,k\nx,2\n")
    assert f.join(how="inner", on=["k"], other=g).strings("w") == ["x"]
    assert f.join(g, ("k",), "anti").strings("v") == ["a"]


class CallsBack:
    """A sequence of names that runs `action` whenever it is read."""

    def __init__(self, action, names):
        self.action, self.names = action, names

    def __len__(self):
        return len(self.names)

    def __getitem__(self, index):
        self.action()
        return self.names[index]


def test_the_other_frame_is_borrowed_for_the_call():
    f = quorvel.read_csv("k,v\n1,a\n")
    g = quorvel.read_csv("k,w\n1,b\n")
    seen = []
    joined = f.join(g, CallsBack(lambda: seen.append(g.width()), ["k"]), "inner")
    assert joined.strings("w") == ["b"] and seen == [2, 2]

    def join_while_adding():
        f.join(g, ["k"], "inner")
        return 1

    with pytest.raises(RuntimeError, match="Already mutably borrowed"):
        g.add_ints("n", CallsBack(join_while_adding, [1]))
    assert g.names() == ["k", "w"]


@pytest.mark.parametrize(
    "call, error, message, note",
    [
        (lambda f: f.join(f.group(["k"]), ["k"], "inner"), TypeError,
         "'Grouped' object is not an instance of 'Frame'", "other"),
        (lambda f: f.join(None, ["k"], "inner"), TypeError, "'None' is not an instance of 'Frame'", "other"),
        (lambda f: f.join(f, "k", "inner"), TypeError, "Can't extract `str` to `Vec`", "on"),
        (lambda f: f.join(f, ["k"], 1), TypeError, "'int' object is not an instance of 'str'", "how"),
        (lambda f: f.join(f, ["k"], "cross"), ValueError,
         'how "cross": give "inner", "left", "full", "semi" or "anti"', None),
        (lambda f: f.join(f, ["k"], "inner"), ValueError, 'the frame has a column "v" already', None),
        (lambda f: f.join(f.select(["v"]), ["k"], "inner"), ValueError,
         'no column "k" (the other frame has "v")', None),
        (lambda f: f.join(f.select(["v"]).rename("v", "k"), ["k"], "semi"), ValueError,
         'column "k" is i64 in this frame and str in the other frame', None),
        (lambda f: f.join(f, ["k"]), TypeError, "Frame.join() missing 1 required positional argument: 'how'", None),
        (lambda f: f.unique("k"), TypeError, "Can't extract `str` to `Vec`", "names"),
        (lambda f: f.unique(["k", "x"]), ValueError, 'no column "x" (the frame has "k", "v")', None),
        (lambda f: f.concat(f.group(["k"])), TypeError, "'Grouped' object is not an instance of 'Frame'", "other"),
        (lambda f: f.concat(f.select(["v", "k"])), ValueError,
         'column 0 is "k" in this frame and "v" in the other frame', None),
        (lambda f: f.rename("k", 2), TypeError, "'int' object is not an instance of 'str'", "new"),
        (lambda f: f.rename("x", "y"), ValueError, 'no column "x" (the frame has "k", "v")', None),
        (lambda f: f.rename("k", "v"), ValueError, 'the frame has a column "v" already', None),
    ],
)
def test_errors(call, error, message, note):
    f = quorvel.read_csv("k,v\n1,a\n")
    with pytest.raises(error) as raised:
        call(f)
    assert str(raised.value) == message
    assert getattr(raised.value, "__notes__", None) == ([f"while processing '{note}'"] if note else None)


def test_unique_concat_and_rename():
    f = quorvel.read_csv("city,year\nOslo,2023\nLima,2024\nOslo,2024\n,2023\n,2024\n")
    assert rows_of(f.unique(["city"])) == [("city", "year"), ("Oslo", 2023), ("Lima", 2024), (None, 2023)]
    assert f.unique([]).height() == 5
    assert rows_of(f.head(1).concat(f.tail(1))) == [("city", "year"), ("Oslo", 2023), (None, 2024)]
    assert f.concat(f).height() == 10
    renamed = f.rename("year", "when")
    assert renamed.names() == ["city", "when"] and f.names() == ["city", "year"]
    assert renamed.ints("when") == f.ints("year")
