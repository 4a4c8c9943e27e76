"""Frames handed to Arrow libraries through __arrow_c_stream__: every cell arrives, on any thread."""

import gc
import struct

import duckdb
import pandas
import polars
import pyarrow as pa
import pytest

import quorvel
from conftest import on_other_thread, read

# Nulls in every dtype, NaN, -0.0 and infinities, the empty text and texts beyond ASCII.
CSV = 'i,x,s\n1,1.5,a\n,+nan,""\n-3,-0.0,\n4,,héllo\n5,-inf,日本\n9007199254740993,1e-310,"a,b"\n'


def cells(values):
    """Values with floats as their bits, so that NaN, -0.0 and every digit compare."""
    return [struct.pack("<d", v) if isinstance(v, float) else v for v in values]


def expected(frame):
    return {name: cells(read(frame, name)) for name in frame.names()}


def by_columns(names, rows):
    return {name: cells([row[i] for row in rows]) for i, name in enumerate(names)}


def table_cells(table):
    return {name: cells(column.to_pylist()) for name, column in zip(table.column_names, table.columns)}


def via_duckdb(f):
    relation = duckdb.sql("select * from f")
    return by_columns(relation.columns, relation.fetchall())


CONSUMERS = {
    "pyarrow.table": lambda f: table_cells(pa.table(f)),
    "RecordBatchReader": lambda f: table_cells(pa.RecordBatchReader.from_stream(f).read_all()),
    "polars": lambda f: {name: cells(v) for name, v in polars.DataFrame(f).to_dict(as_series=False).items()},
    "duckdb": via_duckdb,
}

FRAMES = {
    "whole": lambda f: f,
    "sorted": lambda f: f.sort("s", True),
    "filtered": lambda f: f.where_ne("i", 1),
    "tail": lambda f: f.tail(3),
}


@pytest.mark.parametrize("frame", FRAMES)
@pytest.mark.parametrize("consumer", CONSUMERS)
def test_consumers_read_every_cell(consumer, frame):
    f = FRAMES[frame](quorvel.read_csv(CSV))
    assert CONSUMERS[consumer](f) == expected(f)


@pytest.mark.parametrize("frame", FRAMES)
def test_pandas_reads_what_it_reads_from_an_arrow_table_of_the_same_cells(frame):
    f = FRAMES[frame](quorvel.read_csv(CSV))
    same = pa.table(
        {
            "i": pa.array(f.ints("i"), pa.int64()),
            "x": pa.array(f.floats("x"), pa.float64()),
            "s": pa.array(f.strings("s"), pa.large_string()),
        }
    )
    pandas.testing.assert_frame_equal(pandas.DataFrame.from_arrow(f), pandas.DataFrame.from_arrow(same))


def test_schema_is_one_nullable_field_per_column_with_exact_null_counts():
    f = quorvel.read_csv(CSV)
    reader = pa.RecordBatchReader.from_stream(f)
    assert reader.schema == pa.schema([("i", pa.int64()), ("x", pa.float64()), ("s", pa.large_string())])
    assert all(field.nullable for field in reader.schema)
    batch = reader.read_next_batch()
    assert [column.null_count for column in batch.columns] == [1, 1, 1]
    no_nulls = quorvel.read_csv("a,b\n1,x\n2,y\n")
    batch = pa.RecordBatchReader.from_stream(no_nulls).read_next_batch()
    assert [column.null_count for column in batch.columns] == [0, 0]
    assert [column.buffers()[0] for column in batch.columns] == [None, None]


def test_export_outlives_the_frame():
    f = quorvel.read_csv(CSV)
    want = expected(f)
    table = pa.table(f)
    capsule = f.sort("i", False).__arrow_c_stream__()
    del f
    gc.collect()
    assert table_cells(table) == want
    reader = pa.RecordBatchReader._import_from_c_capsule(capsule)
    assert reader.read_all().num_rows == 6


@pytest.mark.parametrize("rows", [0, 1, 65536, 65537, 150_000])
def test_a_selection_is_gathered_in_batches_as_the_consumer_reads(rows):
    f = quorvel.Frame()
    f.add_ints("n", range(rows))
    f.add_strings("t", [str(n % 97) for n in range(rows)])
    reversed_ = f.sort("n", True)
    batches = list(pa.RecordBatchReader.from_stream(reversed_))
    assert sum(b.num_rows for b in batches) == rows
    assert all(b.num_rows <= 65536 for b in batches)
    assert [n for b in batches for n in b.column("n").to_pylist()] == list(range(rows - 1, -1, -1))
    # Without a selection the columns go out as they are, in one batch.
    assert len(list(pa.RecordBatchReader.from_stream(f))) == (1 if rows else 0)


def test_a_frame_without_columns_keeps_its_rows():
    f = quorvel.read_csv("a\n1\n2\n3\n").select([])
    table = pa.table(f)
    assert (table.num_rows, table.num_columns) == (3, 0)


def import_stream(capsule):
    return pa.RecordBatchReader._import_from_c_capsule(capsule).read_all()


def requested(*fields):
    return pa.schema(list(fields)).__arrow_c_schema__()


def test_requested_schema_honours_utf8_and_otherwise_gives_the_defaults():
    f = quorvel.read_csv(CSV).sort("i", True)
    asked = requested(("i", pa.int32()), ("x", pa.float32()), ("s", pa.string()))
    table = import_stream(f.__arrow_c_stream__(asked))
    assert table.schema == pa.schema([("i", pa.int64()), ("x", pa.float64()), ("s", pa.string())])
    assert cells(table.column("s").to_pylist()) == cells(f.strings("s"))
    assert import_stream(f.__arrow_c_stream__(requested_schema=None)).schema.field("s").type == pa.large_string()


@pytest.mark.parametrize(
    "fields, message",
    [
        ([("i", pa.int64())], "the requested schema has 1 fields; the frame has 3 columns"),
        (
            [("i", pa.int64()), ("y", pa.float64()), ("s", pa.string())],
            'the requested schema names field 1 "y"; the frame\'s column is "x"',
        ),
    ],
)
def test_requested_schema_with_other_fields_is_refused(fields, message):
    f = quorvel.read_csv(CSV)
    with pytest.raises(ValueError) as caught:
        f.__arrow_c_stream__(requested(*fields))
    assert str(caught.value) == message


def test_requested_schema_must_be_a_schema_capsule():
    with pytest.raises(TypeError, match="'int' object is not an instance of 'PyCapsule'") as caught:
        quorvel.read_csv(CSV).__arrow_c_stream__(3)
    assert caught.value.__notes__ == ["while processing 'requested_schema'"]


def test_a_name_arrow_cannot_hold_is_refused():
    f = quorvel.Frame()
    f.add_ints("a\0b", [1])
    with pytest.raises(ValueError, match=r'column "a\\0b" has a NUL character in its name'):
        pa.table(f)


def test_other_threads_may_export_and_read_the_stream():
    f = quorvel.read_csv(CSV)
    want = expected(f)
    sorted_ = f.sort("i", False)
    outcome = on_other_thread(lambda: pa.table(sorted_))
    assert table_cells(outcome["value"]) == expected(sorted_)
    # A stream made here, read and released there after the frame is gone.
    capsule = f.__arrow_c_stream__()
    del f
    gc.collect()
    outcome = on_other_thread(lambda: import_stream(capsule))
    assert table_cells(outcome["value"]) == want
    # The frame's other methods are still bound to their thread.
    g = quorvel.read_csv(CSV)
    assert "unsendable" in str(on_other_thread(g.height)["error"])


def test_duckdb_queries_a_frame_again_and_again():
    f = quorvel.read_csv("k,v\n" + "".join(f"k{n % 5},{n}\n" for n in range(1000)))
    g = f.where_gt("v", 499)
    for _ in range(60):
        assert duckdb.sql("select sum(v), count(*) from f").fetchall() == [(499500, 1000)]
        assert duckdb.sql("select k, sum(v) from g group by k order by k").fetchall() == [
            (f"k{k}", sum(n for n in range(500, 1000) if n % 5 == k)) for k in range(5)
        ]
