"""The figures of one run of bench/compare.py: saved as JSON, drawn as a PNG with matplotlib.

A run is a dict: `measured` (date and time), `machine` (CPU model, core count, load average
before and after), `rows`, `repeat`, `statistic`, `versions` (of each library) and
`workloads`, each with its `family` (the workloads_*.py module it came from), `name`,
`size_bytes`, `seconds` (the long-lived medians) and `fresh_seconds` (the fresh-process ones),
each by player: a library's name, with " (2 threads)" after it for two threads. Runs saved
before there were medians and thread counts have best-of-K `seconds` by library alone, and no
`statistic`; they are drawn as they were measured.

The PNG has one horizontal bar chart per family: each workload's time per player on a log
scale, labelled with the time and, for a peer, how many times quorvel's time it took; a
library at two threads has its colour, hatched.
"""

import datetime
import json
import os
import pathlib
import platform

# One colour per library, the same in every chart.
COLOURS = {
    "quorvel": "#d62728",
    "pandas": "#1f77b4",
    "polars": "#2ca02c",
    "pyarrow": "#9467bd",
    "duckdb": "#ff7f0e",
}
FAMILY_TITLES = {"csv": "CSV text in and out", "groups": "Grouping and aggregation", "rows": "Filter, sort, date parts"}


def cpu_model():
    """The processor's model name as /proc/cpuinfo gives it, else what platform knows."""
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or platform.machine()


def machine():
    """What the figures depend on: the processor, its cores and how busy the machine is."""
    return {"cpu": cpu_model(), "cores": os.cpu_count(), "load_before": list(os.getloadavg())}


def new_run(rows, repeat):
    return {
        "measured": datetime.datetime.now().isoformat(timespec="minutes"),
        "machine": machine(),
        "rows": rows,
        "repeat": repeat,
        "statistic": "median of long-lived runs",
        "versions": {},
        "workloads": [],
    }


def save(run, path):
    run["machine"]["load_after"] = list(os.getloadavg())
    pathlib.Path(path).write_text(json.dumps(run, indent=1) + "\n")


def load(path):
    return json.loads(pathlib.Path(path).read_text())


def title(run):
    m = run["machine"]
    if run.get("statistic") == "median of long-lived runs":
        how = (
            f"{run['rows']:,} rows, median of {run['repeat']} runs, each library's workloads in one process,\n"
            "one thread each and two for polars, pyarrow and DuckDB"
        )
    else:
        how = f"one thread each, {run['rows']:,} rows, best of {run['repeat']} runs"
    return (
        f"quorvel and its peers, {how}\n"
        f"{run['measured'].replace('T', ' ')} on {m['cpu']}, {m['cores']} cores "
        f"(load average {m['load_before'][0]:.1f} before, {m['load_after'][0]:.1f} after)"
    )


def milliseconds(seconds):
    ms = seconds * 1000
    return f"{ms:.2f} ms" if ms < 1 else f"{ms:.1f} ms" if ms < 100 else f"{ms:,.0f} ms"


def bar_label(library, seconds, ours):
    if library == "quorvel" or not ours:
        return milliseconds(seconds)
    ratio = seconds / ours
    return f"{milliseconds(seconds)}  ({ratio:.1f}×)" if ratio < 10 else f"{milliseconds(seconds)}  ({ratio:.0f}×)"


def draw_family(axes, family, workloads):
    """One horizontal bar per library and workload, the workloads top to bottom in run order."""
    labels, positions = [], []
    longest = max(seconds for workload in workloads for seconds in workload["seconds"].values())
    y = 0.0
    for workload in workloads:
        times = workload["seconds"]
        ours = times.get("quorvel")
        count = len(times)
        for index, (player, seconds) in enumerate(times.items()):
            position = y + index
            library = player.split(" ")[0]
            axes.barh(
                position, seconds * 1000, height=0.8, color=COLOURS.get(library, "grey"), label=player,
                hatch="////" if player != library else None, edgecolor="white" if player != library else None,
            )
            axes.text(seconds * 1000 * 1.05, position, bar_label(player, seconds, ours), va="center", fontsize=7)
        labels.append(workload["name"])
        positions.append(y + (count - 1) / 2)
        y += count + 1.2
    axes.set_yticks(positions, labels, fontsize=8)
    axes.invert_yaxis()
    axes.set_xscale("log")
    axes.xaxis.set_major_formatter(lambda value, _: f"{value:g}")
    # Room on the right for the label of the longest bar.
    axes.set_xlim(right=longest * 1000 * 4)
    axes.set_xlabel("milliseconds, log scale (shorter is faster)", fontsize=8)
    axes.set_title(FAMILY_TITLES.get(family, family), fontsize=10, loc="left")
    axes.grid(axis="x", which="major", alpha=0.3)


def legend_text(player, versions):
    """"polars 1.2.3 (2 threads)" for "polars (2 threads)"."""
    library, _, threads = player.partition(" ")
    return " ".join(part for part in (library, versions.get(library, ""), threads) if part)


def draw(run, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    families = {}
    for workload in run["workloads"]:
        families.setdefault(workload["family"], []).append(workload)
    bars = [sum(len(w["seconds"]) + 1.2 for w in workloads) for workloads in families.values()]
    # Inches above the charts: the title's lines, then the legend's rows.
    title_height, legend_height = 0.15 + 0.19 * (title(run).count("\n") + 1), 0.4
    height = 0.8 + title_height + legend_height + 0.22 * sum(bars)
    figure, axes_list = plt.subplots(
        len(families), 1, figsize=(11, height), gridspec_kw={"height_ratios": bars}, squeeze=False
    )
    for axes, (family, workloads) in zip(axes_list[:, 0], families.items()):
        draw_family(axes, family, workloads)

    libraries = {}
    for axes in axes_list[:, 0]:
        for handle, label in zip(*axes.get_legend_handles_labels()):
            libraries.setdefault(label, handle)
    versions = run.get("versions", {})
    figure.legend(
        libraries.values(),
        [legend_text(player, versions) for player in libraries],
        loc="upper left",
        bbox_to_anchor=(0.01, 1 - title_height / height),
        ncols=min(len(libraries), 4),
        fontsize=8,
        frameon=False,
    )
    figure.suptitle(title(run), fontsize=10, x=0.01, y=1 - 0.1 / height, ha="left", va="top")
    figure.text(
        0.01, 0.005, "(N×): the peer's time over quorvel's; above 1, quorvel is faster.", fontsize=8, color="dimgrey"
    )
    # (The rectangle is what the axes and their titles may fill; tight_layout pads it.)
    figure.tight_layout(rect=(0, 0.02, 1, 1 - (title_height + legend_height - 0.45) / height))
    figure.savefig(path, dpi=110)
    plt.close(figure)
