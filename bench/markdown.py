"""python -m bench.markdown [results.json] [--growth]: the README tables from a results file."""
from __future__ import annotations

import argparse
import json
import sys
from pathlib import Path

RESULTS = Path(__file__).resolve().parent / "results" / "latest.json"
COLUMNS = (("ours", "ours"), ("psycopg2", "psycopg2"), ("psycopg3", "psycopg 3"), ("asyncpg", "asyncpg"),
           ("libpq floor", "libpq floor"), ("prepared floor", "prepared floor"), ("server", "server"))
# Ratio columns after the medians; a results file from before an implementation existed has no column for it.
RATIOS = (("libpq floor", "ours / floor"), ("prepared floor", "ours / prepared floor"))


def _ms(value) -> str:
    return "n/a" if value is None else (f"{value * 1000:.1f}" if value < 10 else f"{value * 1000:.0f}")


def _ratio(value) -> str:
    return "n/a" if value is None else f"{value:.2f}"


def _measured(workloads: dict, pairs: tuple) -> list:
    return [(name, title) for name, title in pairs
            if any(item["median_seconds"].get(name) is not None for item in workloads.values())]


def tables(document: dict) -> str:
    out = []
    for scale, workloads in document["scales"].items():
        columns, ratio_columns = _measured(workloads, COLUMNS), _measured(workloads, RATIOS)
        out.append(f"Scale {scale}, median ms of {document['rounds']} interleaved rounds; "
                   "ratios are medians of the per-round ratios (ours / other).\n")
        out.append("| Workload | Size | Stmts | " + " | ".join(title for _, title in columns + ratio_columns)
                   + " | ours / best peer |")
        out.append("|---|---:|---:|" + "---:|" * (len(columns) + len(ratio_columns)) + "---:|")
        for key, item in workloads.items():
            medians, ratios = item["median_seconds"], item["ratio_ours_to"]
            peers = [(medians[name], name) for name in ("psycopg2", "psycopg3", "asyncpg") if medians.get(name)]
            best = min(peers)[1] if peers else None
            cells = [_ms(medians.get(name)) for name, _ in columns] + [_ratio(ratios.get(name))
                                                                        for name, _ in ratio_columns]
            best_text = f"{_ratio(ratios.get(best))} ({best})" if best else "n/a"
            out.append(f"| {key} {item['title']} | {item['size']:,} {item['unit']} | {item['statements']} | "
                       + " | ".join(cells) + f" | {best_text} |")
        out.append("")
    marks = {True: "holds", False: "**fails**", None: "n/a"}
    out.append("| Target | Limit | Measured | |")
    out.append("|---|---:|---:|---|")
    for target in document["targets"]:
        value = "n/a" if target["value"] is None else f"{target['value']:.2f}"
        out.append(f"| scale {target['scale']} {target['workload']}: {target['what']} | {target['limit']} | "
                   f"{value} | {marks[target['holds']]} |")
    return "\n".join(out)


def growth_table(document: dict) -> str:
    """Per workload: how our time grew from the smallest to the largest scale, and where the
    largest scale stands against the floor and the peers."""
    scales = sorted(document["scales"], key=int)
    low, high = document["scales"][scales[0]], document["scales"][scales[-1]]
    out = [f"| Workload at scale {scales[-1]} | ours ms | ours {scales[-1]}x / {scales[0]}x | ours / floor | "
           "ours / psycopg2 | ours / psycopg 3 | ours / asyncpg |", "|---|---:|---:|---:|---:|---:|---:|"]
    for key, item in high.items():
        ours, base = item["median_seconds"].get("ours"), low.get(key, {}).get("median_seconds", {}).get("ours")
        growth = ours / base if ours and base else None
        ratios = item["ratio_ours_to"]
        out.append(f"| {key} {item['title']} ({item['size']:,} {item['unit']}) | {_ms(ours)} | {_ratio(growth)} | "
                   + " | ".join(_ratio(ratios.get(name)) for name in ("libpq floor", "psycopg2", "psycopg3", "asyncpg"))
                   + " |")
    return "\n".join(out)


def main(argv: list) -> None:
    parser = argparse.ArgumentParser(prog="python -m bench.markdown",
                                     description="Print the README's benchmark tables from a results file.")
    parser.add_argument("results", nargs="?", type=Path, default=RESULTS,
                        help="results file (default bench/results/latest.json)")
    parser.add_argument("--growth", action="store_true",
                        help="the growth table from the smallest to the largest scale of the file")
    options = parser.parse_args(argv)
    document = json.loads(options.results.read_text(encoding="utf-8"))
    print(growth_table(document) if options.growth else tables(document))


if __name__ == "__main__":
    main(sys.argv[1:])
