import math
import pathlib
import struct

import pytest
from hypothesis import given, settings, strategies as st

import quorvel
from conftest import python_memory_growth

DATA = pathlib.Path(__file__).resolve().parent.parent / "data"


def columns(frame):
    read = {"i64": frame.ints, "f64": frame.floats, "str": frame.strings}
    return {name: (dtype, read[dtype](name)) for name, dtype in zip(frame.names(), frame.dtypes())}


def same_cells(a, b):
    """Equal cell lists, floats compared bit for bit (so -0.0 differs from 0.0)."""
    pack = lambda x: struct.pack("<d", x) if isinstance(x, float) else x
    return [pack(x) for x in a] == [pack(x) for x in b]


def test_method_surface():
    assert quorvel.Frame.to_csv.__text_signature__ == "($self)"
    methods = [name for name in vars(quorvel.Frame) if not name.startswith("_")]
    assert methods[methods.index("strings") + 1] == "to_csv"
    with pytest.raises(TypeError):
        quorvel.Frame().to_csv(1)


def test_shapes_without_columns_or_rows(frame):
    assert quorvel.Frame().to_csv() == "\n"
    assert frame.select([]).to_csv() == "\n\n\n\n"
    assert frame.head(0).to_csv() == "i,f,s\n"


def test_cells_of_each_dtype(frame):
    frame.add_strings("t", ["12", "", "say \"hi\""])
    assert frame.to_csv() == 'i,f,s,t\n3,0.5,b,"12"\n1,-1.5,a,""\n2,2.0,c,"say ""hi"""\n'
    assert frame.tail(2).to_csv() == 'i,f,s,t\n1,-1.5,a,""\n2,2.0,c,"say ""hi"""\n'


def test_nulls_read_from_csv_are_written_as_nothing():
    text = 'a,b,c\n1,,x\n,2.5,\n3,,""\n'
    assert quorvel.read_csv(text).to_csv() == text


def test_non_ascii_text_comes_back_whole():
    frame = quorvel.Frame()
    frame.add_strings("名前", ["Zürich", "\u3000東京", "😀,", "\ufeff"])
    assert frame.to_csv() == '名前\nZürich\n"\u3000東京"\n"😀,"\n\ufeff\n'


@pytest.mark.parametrize("name", ["titanic", "penguins"])
def test_datasets_read_back_the_same(name):
    frame = quorvel.read_csv((DATA / f"{name}.csv").read_text())
    back = quorvel.read_csv(frame.to_csv())
    assert back.dtypes() == frame.dtypes()
    for (name_a, (dtype_a, a)), (name_b, (dtype_b, b)) in zip(columns(frame).items(), columns(back).items()):
        assert (name_a, dtype_a) == (name_b, dtype_b)
        assert same_cells(a, b), name_a


def test_writing_does_not_leak(frame):
    assert python_memory_growth(frame.to_csv) < 10_000


# Doubles drawn from their bit patterns reach subnormals, huge exponents and every sign.
doubles = st.one_of(
    st.integers(0, 2**64 - 1).map(lambda bits: struct.unpack("<d", struct.pack("<Q", bits))[0]),
    st.integers(0, 2**52).map(lambda m: m * 5e-324),                    # subnormals and the smallest normals
    st.integers(-330, 310).map(lambda e: float(f"1e{e}")),             # powers of ten
    st.integers(-1000, 1000).map(lambda d: float(2**53 + d)),          # integers near 2^53
    st.floats(min_value=1e-6, max_value=1e17),
)


@settings(max_examples=2000, deadline=None)
@given(st.lists(doubles, min_size=1, max_size=8))
def test_floats_are_written_as_python_repr(values):
    frame = quorvel.Frame()
    frame.add_floats("x", values)
    frame.add_ints("i", range(len(values)))
    lines = frame.to_csv().split("\n")
    assert [line.split(",")[0] for line in lines[1:-1]] == [repr(v) for v in values]


names = st.text(st.characters(blacklist_categories=("Cs",)), max_size=6)
texts = st.text(st.characters(blacklist_categories=("Cs",)), max_size=8) | st.sampled_from(
    ["1", "-0", ".5", "+inf", "-nan", "inf", "nan", " 1", "1 ", "", "a,b", '"', "\r\n", "\u2028", "1e5"]
)
column_values = st.one_of(
    st.tuples(st.just("i64"), st.lists(st.integers(-(2**63), 2**63 - 1), min_size=1, max_size=6)),
    st.tuples(st.just("f64"), st.lists(doubles | st.sampled_from([math.nan, math.inf]), min_size=1, max_size=6)),
    st.tuples(st.just("str"), st.lists(texts, min_size=1, max_size=6)),
)


@settings(max_examples=500, deadline=None)
@given(st.lists(st.tuples(names, column_values), min_size=1, max_size=5, unique_by=lambda c: c[0]), st.data())
def test_frames_read_back_the_same(named_columns, data):
    height = min(len(values) for _, (_, values) in named_columns)
    height = data.draw(st.integers(0, height))
    frame = quorvel.Frame()
    add = {"i64": frame.add_ints, "f64": frame.add_floats, "str": frame.add_strings}
    for name, (dtype, values) in named_columns:
        add[dtype](name, values[:height])
    back = quorvel.read_csv(frame.to_csv())

    # The documented differences: a leading U+FEFF of the first name is taken for a byte-order
    # mark, a column of no rows reads back as i64, and nan or inf make an f64 column str.
    expected_names = frame.names()
    expected_names[0] = expected_names[0].removeprefix("\ufeff")
    assert back.names() == expected_names
    assert back.height() == height
    for (name, (dtype, values)), (back_dtype, back_values) in zip(named_columns, columns(back).values()):
        values = values[:height]
        if height == 0:
            assert back_dtype == "i64"
        elif dtype == "f64" and any(math.isnan(v) or v == math.inf for v in values):
            assert (back_dtype, back_values) == ("str", [repr(v) for v in values])
        else:
            assert back_dtype == dtype
            assert same_cells(back_values, values), name
