"""The benchmark's command-line options (standard library only, so that --help answers at once)."""
from __future__ import annotations

import argparse
import sys
from pathlib import Path
from typing import List

ROOT = Path(__file__).resolve().parents[1]
RESULTS = Path(__file__).resolve().parent / "results"
DESCRIPTION = """Build the dataset, run every workload on our classes, the peers and the libpq floor
(plain and prepared), print the table and the targets, write the results file and the chart.
The server is the one POSTGRES_* name (bench/run.sh starts a throwaway one)."""


def arguments(argv: List[str]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(prog="python -m bench", description=DESCRIPTION)
    parser.add_argument("--scale", default="1", help="comma-separated dataset scales (1 = 20,000 objects x 5 "
                        "versions and 100,000 state rows; 10 = ten times that). Default 1")
    parser.add_argument("--rounds", type=int, default=7, help="interleaved rounds per workload (default 7)")
    parser.add_argument("--only", default="", help="comma-separated workload keys, e.g. H1,S4")
    parser.add_argument("--database-prefix", default="bench", help="databases are PREFIX_sSCALE")
    parser.add_argument("--output", type=Path, default=RESULTS / "latest.json",
                        help="results file (default bench/results/latest.json)")
    parser.add_argument("--chart", type=Path, default=RESULTS / "latest.png",
                        help="chart file (default bench/results/latest.png)")
    parser.add_argument("--floor-build-dir", type=Path, default=ROOT / "build" / "bench",
                        help="where the libpq floor program is built (default build/bench)")
    options = parser.parse_args(argv)
    options.scales = sorted({int(part) for part in options.scale.split(",") if part.strip()})
    options.keys = {part.strip().upper() for part in options.only.split(",") if part.strip()}
    if options.rounds < 1 or not options.scales or min(options.scales) < 1:
        parser.error("rounds and scales must be positive")
    return options


if __name__ == "__main__":
    arguments(sys.argv[1:])
