"""The Dask example: totals computed block by block on a cluster equal one read of the file."""

import os
import pathlib
import random
import struct
import sys

import pytest
from distributed import Client, LocalCluster

import quorvel
from conftest import read

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


@pytest.fixture
def dask_totals(monkeypatch):
    """The example as a module that the cluster's worker processes can import too."""
    monkeypatch.syspath_prepend(str(EXAMPLES))
    monkeypatch.setenv("PYTHONPATH", os.pathsep.join([str(EXAMPLES), *sys.path]))
    import dask_totals

    return dask_totals


def bits(values):
    return [struct.pack("<d", v) if isinstance(v, float) else v for v in values]


def test_totals_on_a_cluster_equal_one_read_of_the_whole_file(dask_totals, tmp_path):
    rng = random.Random(7)
    lines = ["city,n,rain,nan"]
    for _ in range(3000):
        city = rng.choice(["Oslo", "Lima", "Pune", '"Quito, EC"', "Åre", ""])
        # Eighths add up exactly, so the blocks' totals must match one pass to the bit.
        rain = "" if rng.random() < 0.1 else str(rng.randrange(0, 400) / 8)
        nan = rng.choice(["", "1.5", "+nan"]) if city == "Lima" else ""
        lines.append(f"{city},{rng.randrange(-1000, 1000)},{rain},{nan}")
    text = "\n".join(lines) + "\n"
    path = tmp_path / "rain.csv"
    path.write_text(text, encoding="utf-8")
    whole = quorvel.read_csv(text)
    by_city = whole.group(["city"])
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster:
        with Client(cluster) as client:
            for value in ("n", "rain", "nan"):
                got = dask_totals.totals_by_key(str(path), "city", value, client, blocksize=5000)
                assert got.strings("city") == by_city.count().strings("city")
                assert got.ints("rows") == by_city.count().ints("count")
                assert bits(read(got, "total")) == bits(read(by_city.sum(value), value))
                assert bits(got.floats("mean")) == bits(by_city.mean(value).floats(value))
