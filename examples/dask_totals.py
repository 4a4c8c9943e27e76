"""Totals, counts and means by key of a CSV file, computed block by block on a Dask cluster.

    python3 examples/dask_totals.py FILE.csv KEY VALUE [--workers N] [--blocksize BYTES]

The file is cut into blocks at line ends with dask.bytes.read_bytes, and the header line is
put in front of every block after the first. Each task parses its block with
quorvel.read_csv, groups and sums it, and returns an Arrow table. The client reads the parts
back with quorvel.Frame.from_arrow and combines them: counts and integer totals are exact,
float totals are compensated sums of the blocks' compensated sums, and each mean is its total
over its number of values, nulls skipped, as Grouped.mean computes it.

Frames never leave the task that made them: a frame belongs to the thread that made it, and
Dask moves results between threads and processes. Arrow tables travel well.

The file must not break lines inside quoted fields (blocks are cut at every line end), and
the key column must read as the same dtype in every block: quote texts that look like numbers.
"""

# Annotations stay text: Dask pickles each task's function with them, and the Frame class,
# which lives in the extension module, does not pickle.
from __future__ import annotations

# Dask's functions carry no type annotations, and dask.bytes does not mark read_bytes as exported.
# mypy: disable-error-code="no-untyped-call, attr-defined"

import argparse
import math
from collections.abc import Sequence

import pyarrow as pa  # type: ignore[import-untyped]
import dask.bytes
from dask.delayed import delayed
from distributed import Client, LocalCluster

import quorvel


Cell = int | float | str | None


def column(frame: quorvel.Frame, name: str) -> Sequence[Cell]:
    """A column as a list, whatever its dtype."""
    dtype = frame.dtypes()[frame.names().index(name)]
    if dtype == "i64":
        return frame.ints(name)
    return frame.floats(name) if dtype == "f64" else frame.strings(name)


def block_totals(block: bytes, header: bytes | None, key: str, value: str) -> pa.Table:
    """Per key of one block: the total of `value`, the rows and the values counted."""
    text = block if header is None else header + b"\n" + block
    f = quorvel.read_csv(text.decode("utf-8"))
    count = "len" if key == "count" else "count"  # count() yields "len" beside a key "count"
    by_key = f.group([key])
    totals = by_key.sum(value)
    # The values that compare: neither null nor NaN. A NaN makes its group's total NaN
    # anyway, so the mean comes out right without counting it (see combine).
    valued = f.where_ge(value, -math.inf).group([key]).count()
    values = dict(zip(column(valued, key), valued.ints(count)))
    table = pa.table(totals).rename_columns([key, "total"])
    table = table.append_column("rows", pa.array(by_key.count().ints(count), pa.int64()))
    return table.append_column("values", pa.array([values.get(k, 0) for k in column(totals, key)], pa.int64()))


def combine(parts: list[pa.Table], key: str) -> quorvel.Frame:
    """One row per key, in order of first appearance in the file: rows, total and mean."""
    # A block whose values are all integers totals as int64 where another has float64.
    f = quorvel.Frame.from_arrow(pa.concat_tables(parts, promote_options="permissive"))
    by_key = f.group([key])
    totals = by_key.sum("total")
    means: list[float | None] = []
    for total, values in zip(column(totals, "total"), by_key.sum("values").ints("values")):
        assert isinstance(total, (int, float)) and values is not None
        # No values: a null mean, unless the group had a NaN, which made its total NaN.
        means.append(total / values if values else (total if math.isnan(total) else None))
    result = pa.table(by_key.sum("rows")).append_column("total", pa.table(totals).column("total"))
    return quorvel.Frame.from_arrow(result.append_column("mean", pa.array(means, pa.float64())))


def totals_by_key(path: str, key: str, value: str, client: Client, blocksize: int | str = "64 MiB") -> quorvel.Frame:
    sample, blocks = dask.bytes.read_bytes(path, delimiter=b"\n", blocksize=blocksize, sample=2**20)
    if b"\n" not in sample:
        raise ValueError(f"{path}: no whole header line in its first MiB")
    header = sample.split(b"\n", 1)[0]
    tasks = [delayed(block_totals)(block, None if i == 0 else header, key, value) for i, block in enumerate(blocks[0])]
    parts = client.compute(tasks, sync=True)
    return combine(parts, key)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0] if __doc__ else None)
    parser.add_argument("path")
    parser.add_argument("key")
    parser.add_argument("value")
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--blocksize", default="64 MiB")
    args = parser.parse_args()
    with LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True) as cluster, Client(cluster) as client:
        print(totals_by_key(args.path, args.key, args.value, client, args.blocksize).to_csv(), end="")


if __name__ == "__main__":
    main()
