"""python -m bench: build the dataset, run every workload on our classes, the peers and
the libpq floor (plain and prepared), print the table and the targets, write
results/latest.json and the chart.
The server is the one POSTGRES_* name (bench/run.sh starts a throwaway one)."""
from __future__ import annotations

import argparse
import datetime
import os
import platform
import subprocess
import sys
from pathlib import Path
from typing import Any, Dict, List

from bench import chart, dataset, report, targets
from bench.floor_runner import FloorPeer, PreparedFloorPeer, StreamedFloorPeer, build_floor
from bench.historical_workloads import historical_workloads
from bench.options import arguments
from bench.peers.asyncpg_peer import AsyncpgPeer
from bench.peers.our_driver_peer import OurDriverPeer
from bench.peers.psycopg2_peer import Psycopg2Peer
from bench.peers.psycopg3_peer import Psycopg3Peer
from bench.peers.tuned import tuned_peers
from bench.records import Shape
from bench.runner import WorkloadResult, run_all
from bench.server_time import ServerTime
from bench.settings import ServerSettings
from bench.state_workloads import state_workloads
from bench.stores import Stores

ROOT = Path(__file__).resolve().parents[1]
RESULTS = Path(__file__).resolve().parent / "results"


def source_revision() -> str:
    """The commit the measured build came from (with "+changes" when the tree differs)."""
    try:
        head = subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short", "HEAD"], capture_output=True,
                              text=True, check=True).stdout.strip()
        dirty = subprocess.run(["git", "-C", str(ROOT), "status", "--porcelain", "--untracked-files=no"],
                               capture_output=True, text=True, check=True).stdout.strip()
        return head + ("+changes" if dirty else "")
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


def server_facts(settings: ServerSettings, database: str) -> Dict[str, Any]:
    import psycopg2
    connection = psycopg2.connect(**settings.keywords(database))
    try:
        with connection.cursor() as cursor:
            cursor.execute("SELECT current_setting('server_version'), current_setting('jit'), "
                           "current_setting('work_mem'), current_setting('shared_buffers'), "
                           "current_setting('fsync'), current_setting('synchronous_commit')")
            names = ("version", "jit", "work_mem", "shared_buffers", "fsync", "synchronous_commit")
            return dict(zip(names, cursor.fetchone()))
    finally:
        connection.close()


def run_scale(settings: ServerSettings, scale: int, options: argparse.Namespace, floor_binary: Path,
              meta: Dict[str, Any]) -> List[WorkloadResult]:
    database = f"{options.database_prefix}_s{scale}"
    shape = Shape(scale)
    dataset.build(settings, database, shape)
    meta.setdefault("server", server_facts(settings, database))
    keywords = settings.keywords(database)
    conninfo = settings.conninfo(database)
    peers = [OurDriverPeer(keywords), Psycopg2Peer(keywords), Psycopg3Peer(keywords), AsyncpgPeer(keywords),
             *tuned_peers(keywords), FloorPeer(floor_binary, conninfo), PreparedFloorPeer(floor_binary, conninfo),
             StreamedFloorPeer(floor_binary, conninfo), ServerTime(keywords)]
    meta.setdefault("implementations", {peer.name: peer.describe() for peer in peers})
    stores = Stores(settings, database)
    vacuum = dataset.Vacuum(settings, database, stores)
    workloads = [w for w in historical_workloads(shape) + state_workloads(shape)
                 if not options.keys or w.key in options.keys]
    print(f"scale {scale}: {len(workloads)} workloads, {options.rounds} rounds", flush=True)
    try:
        return run_all(workloads, lambda w: stores.get(w.store, w.revert), peers, options.rounds,
                       say=lambda text: print(text, flush=True), tidy=vacuum)
    finally:
        vacuum.close()
        stores.close()
        for peer in peers:
            peer.close()


def main(argv: List[str]) -> int:
    options = arguments(argv)
    settings = ServerSettings.from_environment()
    floor_binary = build_floor(options.floor_build_dir)
    started = datetime.datetime.now(datetime.timezone.utc)
    meta: Dict[str, Any] = {
        "generated_at": started.isoformat(timespec="seconds"),
        "command": "bash bench/run.sh " + " ".join(argv),
        "rounds": options.rounds,
        "revision": source_revision(),
        "machine": {"cpus": os.cpu_count(), "python": platform.python_version(), "platform": platform.platform(),
                    "load_average_at_start": os.getloadavg()},
    }
    results = {scale: run_scale(settings, scale, options, floor_binary, meta) for scale in options.scales}
    meta["machine"]["load_average_at_end"] = os.getloadavg()
    meta["duration_seconds"] = round((datetime.datetime.now(datetime.timezone.utc) - started).total_seconds())
    checked = targets.check(results)
    print()
    for scale, outcomes in sorted(results.items()):
        print(report.table(scale, outcomes))
        print()
    print(report.targets_text(checked))
    report.write_json(options.output, meta, results, checked)
    chart.draw(options.chart, {str(scale): {outcome.workload.key: report.outcome_dict(outcome) for outcome in outcomes}
                               for scale, outcomes in results.items()})
    print(f"\nwrote {options.output} and {options.chart}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
