"""python -m bench.markdown [results.json] [--growth | --headline]: the benchmark's tables from a
results file (bench/README.md holds them; the README the headline)."""
from __future__ import annotations

import argparse
import json
import statistics
import sys
from pathlib import Path

RESULTS = Path(__file__).resolve().parent / "results" / "latest.json"
COLUMNS = (("ours", "ours"), ("our driver", "our driver"), ("psycopg2", "psycopg2"),
           ("psycopg2 tuned", "psycopg2 tuned"), ("psycopg2 named", "psycopg2 named cursor"),
           ("psycopg3", "psycopg 3"), ("psycopg3 tuned", "psycopg 3 tuned"),
           ("psycopg3 prepared", "psycopg 3 prepared, no pipeline"), ("psycopg3 stream", "psycopg 3 stream"),
           ("asyncpg", "asyncpg"), ("asyncpg tuned", "asyncpg tuned"), ("libpq floor", "libpq floor"),
           ("prepared floor", "prepared floor"), ("streamed floor", "streamed floor"), ("server", "server"))
TUNED = ("psycopg2 tuned", "psycopg2 named", "psycopg3 tuned", "psycopg3 prepared", "psycopg3 stream", "asyncpg tuned")
DEFAULTS = ("psycopg2", "psycopg3", "asyncpg")


def _ms(value) -> str:
    return "n/a" if value is None else (f"{value * 1000:.1f}" if value < 10 else f"{value * 1000:.0f}")


def _ratio(value) -> str:
    return "n/a" if value is None else f"{value:.2f}"


def _with_spread(item: dict, name: str) -> str:
    runs = item.get("runs_seconds", {}).get(name)
    median = item["median_seconds"].get(name)
    if median is None:
        return "n/a"
    return f"{_ms(median)} ({_ms(min(runs))}-{_ms(max(runs))})" if runs and len(runs) > 1 else _ms(median)


def _measured(workloads: dict, pairs: tuple) -> list:
    return [(name, title) for name, title in pairs
            if any(item["median_seconds"].get(name) is not None for item in workloads.values())]


def _per_round(item: dict, names) -> list:
    """Per round: ours over the best of `names` in that round."""
    runs = item.get("runs_seconds", {})
    ours = runs.get("ours")
    others = [runs[name] for name in names if runs.get(name) and ours and len(runs[name]) == len(ours)]
    if not ours or not others:
        return []
    return [o / min(other[i] for other in others) for i, o in enumerate(ours)]


def _best(item: dict, names) -> str:
    timed = [(item["median_seconds"][name], name) for name in names if item["median_seconds"].get(name)]
    return min(timed)[1] if timed else ""


def _ratio_cell(ratios: list) -> str:
    if not ratios:
        return "n/a"
    return f"{statistics.median(ratios):.2f} ({min(ratios):.2f}-{max(ratios):.2f})"


def tables(document: dict) -> str:
    out = []
    for scale, workloads in document["scales"].items():
        columns = _measured(workloads, COLUMNS)
        out.append(f"Scale {scale}, median ms of {document['rounds']} interleaved rounds (min-max of the rounds); "
                   "ratios are medians of the per-round ratios (min-max).\n")
        out.append("| Workload | Size | Stmts | " + " | ".join(title for _, title in columns)
                   + " | ours / best default peer | ours / best tuned peer |")
        out.append("|---|---:|---:|" + "---:|" * len(columns) + "---:|---:|")
        for key, item in workloads.items():
            cells = [_with_spread(item, name) for name, _ in columns]
            default, tuned = _best(item, DEFAULTS), _best(item, TUNED)
            out.append(f"| {key} {item['title']} | {item['size']:,} {item['unit']} | {item['statements']} | "
                       + " | ".join(cells)
                       + f" | {_ratio_cell(_per_round(item, DEFAULTS))} | {_ratio_cell(_per_round(item, TUNED))} |")
        out.append("")
    out.append("| Target | Limit | Measured (spread) | |")
    out.append("|---|---:|---:|---|")
    for target in document["targets"]:
        value = "n/a" if target["value"] is None else f"{target['value']:.2f}"
        if target.get("low") is not None:
            value += f" ({target['low']:.2f}-{target['high']:.2f})"
        verdict = _verdict(target)
        out.append(f"| scale {target['scale']} {target['workload']}: {target['what']} | {target['limit']} | "
                   f"{value} | {'**' + verdict + '**' if verdict == 'failed' else verdict} |")
    return "\n".join(out)


def _verdict(target: dict) -> str:
    if target["value"] is None:
        return "n/a"
    if "low" not in target:  # results from before the spread was judged
        return {True: "held", False: "failed", None: "n/a"}[target["holds"]]
    return {True: "held", False: "failed", None: "unclear"}[target["holds"]]


def headline(document: dict) -> str:
    """Per workload at the smallest scale: ours against the best tuned peer, saying where we lose."""
    scale = sorted(document["scales"], key=int)[0]
    out = ["| Workload | ours ms | best tuned peer ms | ours / best tuned peer (spread) | |",
           "|---|---:|---:|---:|---|"]
    for key, item in document["scales"][scale].items():
        tuned = _best(item, TUNED)
        ratios = _per_round(item, TUNED)
        if not tuned or not ratios:
            continue
        verdict = ("we lose" if min(ratios) > 1 else "we win" if max(ratios) < 1
                   else "level (the rounds disagree)")
        out.append(f"| {key} {item['title']} | {_ms(item['median_seconds'].get('ours'))} | "
                   f"{_ms(item['median_seconds'][tuned])} ({tuned}) | {_ratio_cell(ratios)} | {verdict} |")
    return "\n".join(out)


def growth_table(document: dict) -> str:
    """Per workload: how our time grew from the smallest to the largest scale, and where the
    largest scale stands against the floor and the best peers."""
    scales = sorted(document["scales"], key=int)
    low, high = document["scales"][scales[0]], document["scales"][scales[-1]]
    out = [f"| Workload at scale {scales[-1]} | ours ms | ours {scales[-1]}x / {scales[0]}x (spread) | "
           "ours / prepared floor | ours / best default peer | ours / best tuned peer |",
           "|---|---:|---:|---:|---:|---:|"]
    for key, item in high.items():
        runs, base_runs = item.get("runs_seconds", {}).get("ours"), low.get(key, {}).get("runs_seconds", {}).get("ours")
        ours, base = item["median_seconds"].get("ours"), low.get(key, {}).get("median_seconds", {}).get("ours")
        growth = "n/a"
        if ours and base:
            growth = f"{ours / base:.2f}"
            if runs and base_runs:
                growth += f" ({min(runs) / max(base_runs):.2f}-{max(runs) / min(base_runs):.2f})"
        out.append(f"| {key} {item['title']} ({item['size']:,} {item['unit']}) | {_ms(ours)} | {growth} | "
                   f"{_ratio(item['ratio_ours_to'].get('prepared floor'))} | "
                   f"{_ratio_cell(_per_round(item, DEFAULTS))} | {_ratio_cell(_per_round(item, TUNED))} |")
    return "\n".join(out)


def main(argv: list) -> None:
    parser = argparse.ArgumentParser(prog="python -m bench.markdown",
                                     description="Print the benchmark's tables from a results file.")
    parser.add_argument("results", nargs="?", type=Path, default=RESULTS,
                        help="results file (default bench/results/latest.json)")
    shown = parser.add_mutually_exclusive_group()
    shown.add_argument("--growth", action="store_true",
                       help="the growth table from the smallest to the largest scale of the file")
    shown.add_argument("--headline", action="store_true",
                       help="the short table of ours against the best tuned peer, for the README")
    options = parser.parse_args(argv)
    document = json.loads(options.results.read_text(encoding="utf-8"))
    print(growth_table(document) if options.growth else headline(document) if options.headline else tables(document))


if __name__ == "__main__":
    main(sys.argv[1:])
