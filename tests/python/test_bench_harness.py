"""The peer benchmark's own workings, on tiny data: a long-lived worker runs every workload in
the fixed order, reads first; a fresh one runs only its own; drift past 10% is flagged."""

import json
import os
import pathlib
import subprocess
import sys

import pytest

pytest.importorskip("numpy")  # the grouping workloads make their columns with it

BENCH = pathlib.Path(__file__).resolve().parents[2] / "bench"
sys.path.insert(0, str(BENCH))
import compare  # noqa: E402

ROWS = 500


def worker_lines(*extra):
    command = [sys.executable, str(BENCH / "compare.py"), "--worker", "quorvel", "--threads", "1"]
    command += ["--rows", str(ROWS), "--repeat", "2", *extra]
    # The module under test is the one this suite imports, wherever that came from.
    paths = os.pathsep.join(filter(None, [os.path.dirname(compare.__file__), os.environ.get("PYTHONPATH")]))
    finished = subprocess.run(command, capture_output=True, text=True, env=dict(os.environ, PYTHONPATH=paths))
    assert finished.returncode == 0, finished.stderr
    return [json.loads(line) for line in finished.stdout.splitlines()]


def test_a_long_lived_worker_runs_every_workload_in_order_reads_first():
    expected = [workload.name for _, workload in compare.all_workloads(ROWS) if "quorvel" in workload.setups]
    lines = worker_lines()
    assert [line["workload"] for line in lines] == expected
    assert [name.split(" ")[0] for name in expected[:2]] == ["read_csv", "read_csv"]
    for line in lines:
        assert len(line["times"]) == 2 and all(t > 0 for t in line["times"])
        assert line["median"] == sum(line["times"]) / 2


def test_a_fresh_worker_runs_its_workload_alone():
    assert [line["workload"] for line in worker_lines("--workload", "sort by f64")] == ["sort by f64"]


@pytest.mark.parametrize(
    "long, fresh, flagged",
    [(100, 100, False), (109, 100, False), (111, 100, True), (91, 100, False), (89, 100, True), (300, 100, True)],
)
def test_drift_is_flagged_past_a_tenth_either_way(long, fresh, flagged):
    ratio, is_flagged = compare.drift(long, fresh)
    assert ratio == long / fresh
    assert is_flagged == flagged
