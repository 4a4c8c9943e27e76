"""What a bench/workloads_*.py module gives bench/compare.py, and how it reaches a peer.

A module's `workloads(rows)` returns its `Workload`s in the order they run, without making
any data: each library's setup makes what it needs when the workload's turn comes, in the
process that times it, so that a long-lived process meets the allocations and frees of the
workloads before it, as a program would.
"""

import importlib
import os
import pathlib
import tempfile
from dataclasses import dataclass, field
from typing import Callable

# setup(threads) prepares the data and returns the call to time.
Setup = Callable[[int], Callable[[], object]]


@dataclass
class Workload:
    name: str
    setups: dict[str, Setup] = field(default_factory=dict)
    # The bytes a run reads or writes, for MB/s; made on demand, in the process that reports.
    size_bytes: Callable[[], int] | None = None


def peer(module_name, threads=1):
    """The peer module set to `threads` threads, or None when it is not installed. polars
    reads its thread count from POLARS_MAX_THREADS when first imported: compare.py sets it
    for each process it starts."""
    try:
        module = importlib.import_module(module_name)
    except ImportError:
        return None
    if module_name == "pyarrow":
        module.set_cpu_count(threads)
        module.set_io_thread_count(threads)
    return module


def cached_text(name, make):
    """make(), kept as a file in the folder named by QUORVEL_BENCH_DATA when it is set, so that
    the processes of one run make each text once."""
    folder = os.environ.get("QUORVEL_BENCH_DATA")
    if not folder:
        return make()
    path = pathlib.Path(folder) / f"{name}.txt"
    if path.exists():
        return path.read_text()
    text = make()
    # Written aside and renamed, so that no process reads a half-written file.
    with tempfile.NamedTemporaryFile("w", dir=folder, delete=False) as file:
        file.write(text)
    os.replace(file.name, path)
    return text
