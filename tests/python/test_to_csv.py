import math
import pathlib
import struct

import pytest
from hypothesis import given, settings, strategies as st

import quorvel
from conftest import python_memory_growth
from test_read_csv import DATA, columns


def same_cells(a, b):
    """Equal cell lists, floats bit for bit (so -0.0 is not 0.0)."""
    pack = lambda x: struct.pack("<d", x) if isinstance(x, float) else x
    return [pack(x) for x in a] == [pack(x) for x in b]


def test_method(frame):
    with pytest.raises(TypeError):
        frame.to_csv(1)
    assert quorvel.Frame().to_csv() == "\n"
    assert frame.tail(2).to_csv() == "i,f,s\n1,-1.5,a\n2,2.0,c\n"


def test_text_beyond_ascii():
    frame = quorvel.Frame()
    frame.add_strings("名前", ["Zürich", "\u3000東京", "😀,", "\ufeff"])
    assert frame.to_csv() == '名前\nZürich\n"\u3000東京"\n"😀,"\n\ufeff\n'


def test_a_first_name_beginning_with_a_byte_order_mark_reads_back():
    # The reader drops U+FEFF at the start of a text as a byte-order mark, so the writer quotes
    # it; unquoted, a name of U+FEFF alone would leave a blank header line, and the first data
    # line would become the header.
    frame = quorvel.Frame()
    frame.add_ints("\ufeff", [1, 2])
    frame.add_ints("\ufeffb", [3, 4])
    assert frame.to_csv() == '"\ufeff",\ufeffb\n1,3\n2,4\n'
    back = quorvel.read_csv(frame.to_csv())
    assert back.names() == ["\ufeff", "\ufeffb"]
    assert back.ints("\ufeff") == [1, 2]


@pytest.mark.parametrize("name", ["titanic", "penguins"])
def test_datasets_read_back_the_same(name):
    frame = quorvel.read_csv((DATA / f"{name}.csv").read_text())
    back = quorvel.read_csv(frame.to_csv())
    for (dtype, cells), (back_dtype, back_cells) in zip(columns(frame).values(), columns(back).values()):
        assert dtype == back_dtype and same_cells(cells, back_cells)


def test_writing_does_not_leak(frame):
    assert python_memory_growth(frame.to_csv) < 10_000


# Doubles from bit patterns reach subnormals, huge exponents and both signs.
doubles = st.one_of(
    st.integers(0, 2**64 - 1).map(lambda bits: struct.unpack("<d", struct.pack("<Q", bits))[0]),
    st.integers(0, 2**52).map(lambda m: m * 5e-324),
    st.integers(-330, 310).map(lambda e: float(f"1e{e}")),
    st.integers(-1000, 1000).map(lambda d: float(2**53 + d)),
    st.floats(min_value=1e-6, max_value=1e17),
)


@settings(max_examples=2000, deadline=None)
@given(st.lists(doubles, min_size=1, max_size=8))
def test_floats_are_written_as_python_repr(values):
    frame = quorvel.Frame()
    frame.add_floats("x", values)
    assert frame.to_csv() == "x\n" + "".join(repr(v) + "\n" for v in values)


@pytest.mark.parametrize("distinct", [1_000, 1_000_000])
def test_long_float_columns_are_written_as_python_repr(distinct):
    """Long columns whose values repeat, or not, through a selection of their rows."""
    values = [(i * 7919 % distinct) / 8 - 1000.5 for i in range(300_000)] + [-0.0, 0.0, math.inf, 1e300, 2.5e-7]
    frame = quorvel.Frame()
    frame.add_floats("x", values)
    assert frame.to_csv() == "x\n" + "".join(repr(v) + "\n" for v in values)
    tail = frame.tail(280_000)
    assert tail.to_csv() == "x\n" + "".join(repr(v) + "\n" for v in values[-280_000:])


names = st.text(st.characters(blacklist_categories=("Cs",)), max_size=6)
texts = st.text(st.characters(blacklist_categories=("Cs",)), max_size=20) | st.sampled_from(
    ["1", "-0", ".5", "+inf", "-nan", "inf", " 1", "1 ", "", "a,b", '"', "\r\n", "\u2028x", "1e5"]
)
typed_values = st.one_of(
    st.tuples(st.just("i64"), st.lists(st.integers(-(2**63), 2**63 - 1), min_size=1, max_size=6)),
    st.tuples(st.just("f64"), st.lists(doubles | st.sampled_from([math.nan, math.inf]), min_size=1, max_size=6)),
    st.tuples(st.just("str"), st.lists(texts, min_size=1, max_size=6)),
)


@settings(max_examples=500, deadline=None)
@given(st.lists(st.tuples(names, typed_values), min_size=1, max_size=5, unique_by=lambda c: c[0]), st.data())
def test_frames_read_back_the_same(named_columns, data):
    height = data.draw(st.integers(0, min(len(values) for _, (_, values) in named_columns)))
    frame = quorvel.Frame()
    add = {"i64": frame.add_ints, "f64": frame.add_floats, "str": frame.add_strings}
    for name, (dtype, values) in named_columns:
        add[dtype](name, values[:height])
    back = quorvel.read_csv(frame.to_csv())

    # The documented differences: a first name's leading U+FEFF is taken for a byte-order
    # mark, a column without rows reads back as i64, and nan or inf make an f64 column str.
    names = frame.names()
    names[0] = names[0].removeprefix("\ufeff")
    assert (back.names(), back.height()) == (names, height)
    for (dtype, values), (back_dtype, back_values) in zip((v for _, v in named_columns), columns(back).values()):
        values = values[:height]
        if height == 0:
            assert back_dtype == "i64"
        elif dtype == "f64" and any(math.isnan(v) or v == math.inf for v in values):
            assert (back_dtype, back_values) == ("str", [repr(v) for v in values])
        else:
            assert back_dtype == dtype and same_cells(back_values, values)
