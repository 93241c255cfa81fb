"""The README chart: each implementation's median time relative to the libpq floor.
python -m bench.chart [results.json] [chart.png] redraws it from a results file."""
from __future__ import annotations

import json
import sys
from pathlib import Path
from typing import Dict

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

FLOOR = "libpq floor"
SERIES = (("ours", "ours", "#1f77b4"), ("our driver", "our driver", "#aec7e8"),
          ("psycopg2", "psycopg2", "#ff7f0e"), ("psycopg2 tuned", "psycopg2 tuned", "#ffbb78"),
          ("psycopg3", "psycopg 3 (C)", "#2ca02c"), ("psycopg3 tuned", "psycopg 3 tuned", "#98df8a"),
          ("asyncpg", "asyncpg", "#d62728"), ("asyncpg tuned", "asyncpg tuned", "#ff9896"),
          ("prepared floor", "libpq floor, prepared", "#7f7f7f"), ("streamed floor", "libpq floor, streamed", "#c7c7c7"))


def draw(path: Path, scales: Dict[str, Dict[str, dict]]) -> None:
    """`scales`: scale -> workload key -> {"title", "median_seconds"}, as in results/latest.json."""
    ordered = sorted(scales, key=int)
    figure, axes = plt.subplots(1, len(ordered), figsize=(7 * len(ordered), 7.5), squeeze=False)
    for axis, scale in zip(axes[0], ordered):
        items = [(key, item) for key, item in scales[scale].items() if item["median_seconds"].get(FLOOR)]
        # Only what this results file measured (older ones have no prepared floor).
        series = [entry for entry in SERIES if any(item["median_seconds"].get(entry[0]) for _key, item in items)]
        height = 0.8 / max(len(series), 1)
        for number, (name, label, colour) in enumerate(series):
            positions, values = [], []
            for row, (_key, item) in enumerate(items):
                median = item["median_seconds"].get(name)
                if median is not None:
                    positions.append(row + (number - (len(series) - 1) / 2) * height)
                    values.append(median / item["median_seconds"][FLOOR])
            axis.barh(positions, values, height=height, label=label, color=colour)
        server = [(row, item["median_seconds"]["server"] / item["median_seconds"][FLOOR])
                  for row, (_key, item) in enumerate(items) if item["median_seconds"].get("server")]
        if server:
            axis.scatter([v for _, v in server], [r for r, _ in server], marker="|", s=300, color="black",
                         label="server time", zorder=3)
        axis.axvline(1.0, color="grey", linestyle="--", linewidth=1)
        axis.set_xscale("log")
        axis.set_yticks(range(len(items)), [f"{key} {item['title']}" for key, item in items])
        axis.invert_yaxis()
        axis.set_xlabel("median time / libpq floor (log scale; 1 = floor)")
        axis.set_title(f"scale {scale}")
        axis.grid(axis="x", which="both", alpha=0.3)
    figure.legend(*axes[0][0].get_legend_handles_labels(), loc="lower center", ncol=3, fontsize="small")
    figure.tight_layout(rect=(0, 0.08, 1, 1))
    path.parent.mkdir(parents=True, exist_ok=True)
    figure.savefig(path, dpi=110)
    plt.close(figure)


if __name__ == "__main__":
    here = Path(__file__).resolve().parent / "results"
    source = Path(sys.argv[1]) if len(sys.argv) > 1 else here / "latest.json"
    target = Path(sys.argv[2]) if len(sys.argv) > 2 else source.with_suffix(".png")
    draw(target, json.loads(source.read_text(encoding="utf-8"))["scales"])
