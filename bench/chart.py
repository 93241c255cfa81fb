"""The README chart: each implementation's median time relative to the libpq floor."""
from __future__ import annotations

from pathlib import Path
from typing import Dict, List

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from bench.runner import OURS, WorkloadResult  # noqa: E402
from bench.targets import FLOOR  # noqa: E402

SERIES = ((OURS, "ours", "#1f77b4"), ("psycopg2", "psycopg2", "#ff7f0e"),
          ("psycopg3", "psycopg 3 (C)", "#2ca02c"), ("asyncpg", "asyncpg", "#d62728"))


def draw(path: Path, results: Dict[int, List[WorkloadResult]]) -> None:
    scales = sorted(results)
    figure, axes = plt.subplots(1, len(scales), figsize=(7 * len(scales), 7.5), squeeze=False)
    for axis, scale in zip(axes[0], scales):
        outcomes = [o for o in results[scale] if o.median(FLOOR)]
        labels = [f"{o.workload.key} {o.workload.title}" for o in outcomes]
        height = 0.8 / len(SERIES)
        for number, (name, label, colour) in enumerate(SERIES):
            positions, values = [], []
            for row, outcome in enumerate(outcomes):
                median = outcome.median(name)
                if median is not None:
                    positions.append(row + (number - (len(SERIES) - 1) / 2) * height)
                    values.append(median / outcome.median(FLOOR))
            axis.barh(positions, values, height=height, label=label, color=colour)
        server = [(row, o.median("server") / o.median(FLOOR)) for row, o in enumerate(outcomes)
                  if o.median("server")]
        if server:
            axis.scatter([v for _, v in server], [r for r, _ in server], marker="|", s=300, color="black",
                         label="server time", zorder=3)
        axis.axvline(1.0, color="grey", linestyle="--", linewidth=1)
        axis.set_xscale("log")
        axis.set_yticks(range(len(outcomes)), labels)
        axis.invert_yaxis()
        axis.set_xlabel("median time / libpq floor (log scale; 1 = floor)")
        axis.set_title(f"scale {scale}")
        axis.grid(axis="x", which="both", alpha=0.3)
    axes[0][0].legend(loc="upper center", bbox_to_anchor=(0.5, -0.08), ncol=5, fontsize="small")
    figure.tight_layout()
    path.parent.mkdir(parents=True, exist_ok=True)
    figure.savefig(path, dpi=110)
    plt.close(figure)
