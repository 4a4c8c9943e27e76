"""Frame.from_arrow: Arrow data from any producer becomes a frame, exactly, or a clear error."""

import math
import struct

import duckdb
import pandas
import polars
import pyarrow as pa
import pytest
from hypothesis import given
from hypothesis import strategies as st

import quorvel
from conftest import read


def bits(values):
    return [struct.pack("<d", v) if isinstance(v, float) else v for v in values]


def columns_of(frame):
    return {name: (dtype, bits(read(frame, name))) for name, dtype in zip(frame.names(), frame.dtypes())}


TEXTS = ["a", None, "", "héllo wörld, longer than twelve bytes", "日本"]

# (Arrow array, dtype, cells)
CONVERSIONS = {
    **{
        str(t): (pa.array([1, None, 127, -128 if t.startswith("int") else 0], t), "i64", [1, None, 127, -128 if t.startswith("int") else 0])
        for t in ["int8", "int16", "int32", "int64", "uint8", "uint16", "uint32", "uint64"]
    },
    "uint32 max": (pa.array([2**32 - 1], pa.uint32()), "i64", [2**32 - 1]),
    "uint64 max that fits": (pa.array([2**63 - 1, None], pa.uint64()), "i64", [2**63 - 1, None]),
    "int64 ends": (pa.array([-(2**63), 2**63 - 1], pa.int64()), "i64", [-(2**63), 2**63 - 1]),
    "float16": (pa.array([1.5, None, -0.0, 65504.0, 2.0**-24, math.inf], pa.float16()), "f64", [1.5, None, -0.0, 65504.0, 2.0**-24, math.inf]),
    "float32": (pa.array([0.1, None, math.nan], pa.float32()), "f64", [float(struct.unpack("<f", struct.pack("<f", 0.1))[0]), None, math.nan]),
    "float64": (pa.array([0.1, None, -0.0, 5e-324, -math.inf]), "f64", [0.1, None, -0.0, 5e-324, -math.inf]),
    "utf8": (pa.array(TEXTS, pa.string()), "str", TEXTS),
    "large_utf8": (pa.array(TEXTS, pa.large_string()), "str", TEXTS),
    "utf8_view": (pa.array(TEXTS, pa.string_view()), "str", TEXTS),
    "dictionary int8": (pa.array(TEXTS).dictionary_encode(), "str", TEXTS),
    "dictionary uint64 large": (
        pa.DictionaryArray.from_arrays(pa.array([2, None, 0, 2], pa.uint64()), pa.array(["x", "", "yz"], pa.large_string())),
        "str",
        ["yz", None, "x", "yz"],
    ),
    "dictionary with a null entry": (
        pa.DictionaryArray.from_arrays(pa.array([0, 1, 0], pa.int32()), pa.array([None, "b"])),
        "str",
        [None, "b", None],
    ),
    "null": (pa.nulls(3), "i64", [None, None, None]),
}


@pytest.mark.parametrize("case", CONVERSIONS)
def test_arrow_types_convert_to_dtypes(case):
    array, dtype, cells = CONVERSIONS[case]
    f = quorvel.Frame.from_arrow(pa.table({"c": array}))
    assert columns_of(f) == {"c": (dtype, bits(cells))}
    # The same through slices with non-zero offsets, and over several chunks.
    sliced = pa.table({"c": array}).slice(1)
    assert columns_of(quorvel.Frame.from_arrow(sliced)) == {"c": (dtype, bits(cells[1:]))}
    chunked = pa.concat_tables([pa.table({"c": array}).slice(1), pa.table({"c": array}).slice(0, 1)])
    assert columns_of(quorvel.Frame.from_arrow(chunked)) == {"c": (dtype, bits(cells[1:] + cells[:1]))}


def test_unknown_null_counts_and_absent_bitmaps_are_read():
    base = pa.array([5, None, 7, None, 9], pa.int64())
    unknown = pa.Array.from_buffers(pa.int64(), 5, base.buffers(), null_count=-1)
    no_bitmap = pa.Array.from_buffers(pa.int64(), 3, [None, pa.py_buffer(struct.pack("<3q", 1, 2, 3))])
    f = quorvel.Frame.from_arrow(pa.table({"a": unknown}))
    assert f.ints("a") == [5, None, 7, None, 9]
    assert quorvel.Frame.from_arrow(pa.table({"b": no_bitmap})).ints("b") == [1, 2, 3]


def test_top_level_nulls_of_a_struct_array_make_null_rows():
    rows = pa.StructArray.from_arrays([pa.array([1, 2, 3]), pa.array(["a", "b", "c"])], names=["n", "t"], mask=pa.array([False, True, False]))
    f = quorvel.Frame.from_arrow(pa.RecordBatch.from_struct_array(rows))
    assert (f.ints("n"), f.strings("t")) == ([1, None, 3], ["a", None, "c"])


SOURCE = quorvel.read_csv('i,x,s\n1,1.5,a\n,+nan,""\n-3,-0.0,\n4,,héllo\n')
PRODUCERS = {
    "Table": lambda: pa.table(SOURCE),
    "RecordBatch": lambda: pa.table(SOURCE).to_batches()[0],
    "RecordBatchReader": lambda: pa.RecordBatchReader.from_stream(SOURCE),
    "polars": lambda: polars.DataFrame(SOURCE),
    "pandas": lambda: pandas.DataFrame({"i": [1, 2], "x": [0.5, None], "s": ["a", None]}),
    "duckdb": lambda: duckdb.sql("select * from SOURCE"),
    "Frame": lambda: SOURCE,
    "Frame with a selection": lambda: SOURCE.sort("i", True),
}


@pytest.mark.parametrize("producer", PRODUCERS)
def test_every_producer_is_read(producer):
    data = PRODUCERS[producer]()
    f = quorvel.Frame.from_arrow(data)
    if producer == "pandas":
        # pandas hands its missing floats over as nulls.
        assert columns_of(f) == {"i": ("i64", [1, 2]), "x": ("f64", bits([0.5, None])), "s": ("str", ["a", None])}
    else:
        source = SOURCE.sort("i", True) if producer == "Frame with a selection" else SOURCE
        assert columns_of(f) == columns_of(source)


def frames():
    """Frames of any shape, each column of one dtype with nulls, any float bits and any text."""
    floats = st.floats(allow_nan=True, allow_infinity=True) | st.integers(0, 2**64 - 1).map(
        lambda n: struct.unpack("<d", struct.pack("<Q", n))[0]
    )
    column = st.sampled_from(["i64", "f64", "str"]).flatmap(
        lambda dtype: st.tuples(
            st.just(dtype),
            st.lists(
                st.none() | {"i64": st.integers(-(2**63), 2**63 - 1), "f64": floats, "str": st.text()}[dtype], max_size=30
            ),
        )
    )
    return st.lists(column, min_size=1, max_size=4)


@given(frames(), st.booleans())
def test_round_trips_are_exact(columns, cut):
    height = min(len(cells) for _, cells in columns)
    arrow_types = {"i64": pa.int64(), "f64": pa.float64(), "str": pa.large_string()}
    # Python code cannot add nulls to a frame: they come in through Arrow itself.
    table = pa.table({f"c{i}": pa.array(cells[:height], arrow_types[dtype]) for i, (dtype, cells) in enumerate(columns)})
    f = quorvel.Frame.from_arrow(table)
    assert columns_of(f) == {f"c{i}": (dtype, bits(cells[:height])) for i, (dtype, cells) in enumerate(columns)}
    if cut:
        f = f.tail(-1)  # a row selection
    expected = columns_of(f)
    assert columns_of(quorvel.Frame.from_arrow(pa.table(f))) == expected
    assert columns_of(quorvel.Frame.from_arrow(f)) == expected
    assert columns_of(quorvel.Frame.from_arrow(polars.DataFrame(f))) == expected


@pytest.mark.parametrize(
    "array, type_name",
    [
        (pa.array([True]), "bool"),
        (pa.array([1], pa.date32()), "date32"),
        (pa.array([1], pa.timestamp("us", tz="UTC")), "timestamp[us, tz=UTC]"),
        (pa.array([1], pa.decimal128(10, 2)), "decimal128(10, 2)"),
        (pa.array([[1]]), "list"),
        (pa.array([{"a": 1}]), "struct"),
        (pa.array([b"x"]), "binary"),
        (pa.array([1]).dictionary_encode(), "dictionary<values=int64, indices=int32>"),
    ],
)
def test_other_types_are_refused_naming_the_column_and_type(array, type_name):
    table = pa.table({"ok": pa.array([1]), "odd \u200b": array})
    with pytest.raises(TypeError) as caught:
        quorvel.Frame.from_arrow(table)
    assert str(caught.value) == f'column "odd \\u{{200b}}" has Arrow type {type_name}; only integer, float, text and null columns convert'
    assert caught.value.__notes__ == ["while processing 'data'"]


def utf8_with(offsets, data, validity=None, length=None):
    length = len(offsets) - 1 if length is None else length
    return pa.Array.from_buffers(pa.string(), length, [validity, pa.py_buffer(struct.pack(f"<{len(offsets)}i", *offsets)), pa.py_buffer(data)])


@pytest.mark.parametrize(
    "table, message",
    [
        (
            pa.concat_tables([pa.table({"t": pa.array(["ok", "fine"])}), pa.table({"t": utf8_with([0, 1, 3], b"a\xc3\xa9")}), pa.table({"t": utf8_with([0, 1, 2], b"\xc3\xa9")})]),
            'column "t", row 4: the text is not UTF-8',
        ),
        (pa.table({"t": utf8_with([0, 2, 1], b"ab")}), 'column "t", row 1: the offsets decrease'),
        (pa.table({"u": pa.array([0, 2**64 - 1], pa.uint64())}), 'column "u", row 1: 18446744073709551615 does not fit i64'),
        (
            pa.table({"d": pa.DictionaryArray.from_arrays(pa.array([0, 3], pa.int8()), pa.array(["x", "y"]), safe=False)}),
            'column "d", row 1: a dictionary index out of range (the dictionary has 2 values)',
        ),
        (
            pa.table({"d": pa.DictionaryArray.from_arrays(pa.array([0], pa.int8()), utf8_with([0, 1], b"\xff"), safe=False)}),
            'the dictionary of column "d", row 0: the text is not UTF-8',
        ),
        (
            pa.table({"v": pa.Array.from_buffers(pa.string_view(), 1, [None, pa.py_buffer(struct.pack("<iiii", 20, 0, 0, 5)), pa.py_buffer(b"x" * 24)])}),
            'column "v", row 0: a text view points outside its buffers',
        ),
    ],
)
def test_malformed_data_is_refused_naming_column_and_row(table, message):
    with pytest.raises(ValueError) as caught:
        quorvel.Frame.from_arrow(table)
    assert str(caught.value) == message
    assert caught.value.__notes__ == ["while processing 'data'"]


def python_reader_that_fails():
    schema = pa.schema([("a", pa.int64())])

    def batches():
        yield pa.record_batch([pa.array([1, 2])], schema=schema)
        raise RuntimeError("the disk went away")

    return pa.RecordBatchReader.from_batches(schema, batches())


@pytest.mark.parametrize(
    "producer, words",
    [
        (python_reader_that_fails, "the disk went away"),
        (lambda: duckdb.sql("select case when i > 3000 then error('boom') else i end from range(9000) t(i)"), "boom"),
    ],
)
def test_a_failing_producer_gives_its_message(producer, words):
    with pytest.raises(ValueError, match=f"^the Arrow stream failed: .*{words}") as caught:
        quorvel.Frame.from_arrow(producer())
    assert caught.value.__notes__ == ["while processing 'data'"]


def test_a_producer_that_breaks_its_own_schema_is_caught():
    schema = pa.schema([("a", pa.int64())])
    batches = [pa.record_batch([pa.array([1, 2])], schema=schema), pa.record_batch([pa.array(["x"])], names=["a"])]
    # pyarrow passes the second batch on unchecked: a text array where int64 was promised.
    with pytest.raises(ValueError, match='^column "a": the array has 3 buffers; its type has 2'):
        quorvel.Frame.from_arrow(pa.RecordBatchReader.from_batches(schema, iter(batches)))


@pytest.mark.parametrize(
    "data, error, message",
    [
        (3, TypeError, "'int' object has no __arrow_c_stream__ or __arrow_c_array__ method"),
        (pa.array([1, 2]), TypeError, "Arrow data of type int64 is not a table (a struct of columns)"),
        (quorvel.read_csv("a\n1\n").group(["a"]), TypeError, "'Grouped' object has no __arrow_c_stream__ or __arrow_c_array__ method"),
    ],
)
def test_data_that_is_no_table_is_refused(data, error, message):
    with pytest.raises(error) as caught:
        quorvel.Frame.from_arrow(data)
    assert str(caught.value) == message
    assert caught.value.__notes__ == ["while processing 'data'"]


def test_repeated_names_give_the_repeated_column_error():
    table = pa.table([pa.array([1]), pa.array([2])], names=["a", "a"])
    with pytest.raises(ValueError) as caught:
        quorvel.Frame.from_arrow(table)
    assert caught.value.args == ('the frame has a column "a" already',)
    assert not hasattr(caught.value, "__notes__")


def test_from_arrow_is_a_class_method_that_makes_a_frame():
    f = quorvel.Frame.from_arrow(data=pa.table({"a": [1]}))
    assert type(f) is quorvel.Frame and f.ints("a") == [1]
    assert quorvel.Frame().from_arrow(pa.table({"b": [2.5]})).floats("b") == [2.5]
    with pytest.raises(TypeError, match=r"Frame.from_arrow\(\) missing 1 required positional argument: 'data'"):
        quorvel.Frame.from_arrow()
