"""Grouping workloads: one key column, three aggregations on the same groups.

Keys are drawn at random, so groups are met in no particular order; every contender keeps
groups in order of first appearance where it can (pandas sort=False, polars
maintain_order=True); DuckDB has no such option and returns its own order.
"""

import numpy

import quorvel
from compare import Workload, peer


def columns(rows):
    rng = numpy.random.default_rng(5)
    int_keys = rng.integers(-(2**62), 2**62, 1_000)
    text_keys = numpy.array([f"station-{i * 7919 % 100_003:05d}-{'x' * (i % 9)}" for i in range(200)], dtype=object)
    return {
        "k_int": int_keys[rng.integers(0, len(int_keys), rows)],
        "k_str": text_keys[rng.integers(0, len(text_keys), rows)],
        "x": rng.normal(50.0, 20.0, rows),
        "n": rng.integers(-1_000_000, 1_000_000, rows),
    }


def quorvel_frame(data):
    frame = quorvel.Frame()
    frame.add_ints("k_int", data["k_int"].tolist())
    frame.add_strings("k_str", data["k_str"].tolist())
    frame.add_floats("x", data["x"].tolist())
    frame.add_ints("n", data["n"].tolist())
    return frame


def int_key_contenders(frame, pandas_frame, polars_frame, duckdb_connection, pl):
    def ours():
        grouped = frame.group(["k_int"])
        return grouped.sum("x"), grouped.mean("x"), grouped.count()

    contenders = {"quorvel": ours}
    if pandas_frame is not None:

        def pandas_run():
            grouped = pandas_frame.groupby("k_int", sort=False)
            return grouped["x"].sum(), grouped["x"].mean(), grouped.size()

        contenders["pandas"] = pandas_run
    if polars_frame is not None:
        aggregations = [pl.col("x").sum().alias("sum"), pl.col("x").mean().alias("mean"), pl.len()]
        contenders["polars"] = lambda: polars_frame.group_by("k_int", maintain_order=True).agg(aggregations)
    if duckdb_connection is not None:
        query = "SELECT k_int, sum(x), avg(x), count(*) FROM t GROUP BY k_int"
        contenders["duckdb"] = lambda: duckdb_connection.execute(query).fetchnumpy()
    return contenders


def text_key_contenders(frame, pandas_frame, polars_frame, duckdb_connection, pl):
    def ours():
        grouped = frame.group(["k_str"])
        return grouped.sum("n"), grouped.min("n"), grouped.max("n")

    contenders = {"quorvel": ours}
    if pandas_frame is not None:

        def pandas_run():
            grouped = pandas_frame.groupby("k_str", sort=False)["n"]
            return grouped.sum(), grouped.min(), grouped.max()

        contenders["pandas"] = pandas_run
    if polars_frame is not None:
        aggregations = [pl.col("n").sum().alias("sum"), pl.col("n").min().alias("min"), pl.col("n").max().alias("max")]
        contenders["polars"] = lambda: polars_frame.group_by("k_str", maintain_order=True).agg(aggregations)
    if duckdb_connection is not None:
        query = "SELECT k_str, sum(n), min(n), max(n) FROM t GROUP BY k_str"
        contenders["duckdb"] = lambda: duckdb_connection.execute(query).fetchnumpy()
    return contenders


def workloads(rows):
    data = columns(rows)
    frame = quorvel_frame(data)
    pd, pl, duckdb = peer("pandas"), peer("polars"), peer("duckdb")
    pandas_frame = pd.DataFrame(data) if pd else None
    polars_frame = pl.DataFrame({name: list(values) if values.dtype == object else values for name, values in data.items()}) if pl else None
    duckdb_connection = None
    if duckdb and pandas_frame is not None:
        duckdb_connection = duckdb.connect()
        duckdb_connection.execute("SET threads=1")
        duckdb_connection.register("source", pandas_frame)
        duckdb_connection.execute("CREATE TABLE t AS SELECT * FROM source")
    peers = (frame, pandas_frame, polars_frame, duckdb_connection, pl)
    return [
        Workload("group by i64 key (1,000 groups): sum, mean, count", int_key_contenders(*peers)),
        Workload("group by str key (200 groups): sum, min, max", text_key_contenders(*peers)),
    ]
