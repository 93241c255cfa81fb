"""The libpq floor (bench/floor/floor.cpp): built with g++ against libpq, run once
per round as its own process over the texts our driver rendered, or, as the prepared
floor, with the statements that had parameters prepared."""
from __future__ import annotations

import os
import shutil
import subprocess
import tempfile
from pathlib import Path
from bench.capture import StatementLog
from bench.floor_statements import write_statement_file
from bench.peers.base import RunResult, require_many_row_read

SOURCE = Path(__file__).resolve().parent / "floor" / "floor.cpp"


def pg_config(flag: str) -> str:
    return subprocess.run(["pg_config", flag], check=True, capture_output=True, text=True).stdout.strip()


def build_floor(build_dir: Path) -> Path:
    """Compile the floor program unless an up-to-date binary exists; returns its path."""
    binary = build_dir / "floor"
    if binary.exists() and binary.stat().st_mtime >= SOURCE.stat().st_mtime:
        return binary
    build_dir.mkdir(parents=True, exist_ok=True)
    compiler = os.environ.get("CXX") or shutil.which("g++") or "c++"
    subprocess.run([compiler, "-O2", "-std=c++20", "-o", str(binary), str(SOURCE),
                    f"-I{pg_config('--includedir')}", f"-L{pg_config('--libdir')}", "-lpq"], check=True)
    return binary


class FloorPeer:
    """Runs one workload's statements through the floor program."""

    name = "libpq floor"
    prepared = False

    def __init__(self, binary: Path, conninfo: str) -> None:
        self._binary = binary
        # Our driver talks UTF-8 whatever the server's default.
        self._conninfo = f"{conninfo} client_encoding=UTF8"
        self._directory = tempfile.TemporaryDirectory(prefix="nelvor-bench-floor-")
        # Keyed by the log's id; the log is kept so that the id stays its own.
        self._files: dict[int, tuple[StatementLog, Path]] = {}

    def _file_for(self, log: StatementLog) -> Path:
        known = self._files.get(id(log))
        if known is None:
            path = Path(self._directory.name) / f"statements-{len(self._files)}.bin"
            write_statement_file(log, path, with_parameters=self.prepared)
            known = self._files[id(log)] = (log, path)
        return known[1]

    mode: list = []

    def run(self, log: StatementLog) -> RunResult:
        mode = self.mode
        done = subprocess.run([str(self._binary), *mode, self._conninfo, str(self._file_for(log))],
                              capture_output=True, text=True)
        if done.returncode != 0:
            raise RuntimeError(f"floor failed: {done.stderr.strip()}")
        fields = dict(item.split("=", 1) for item in done.stdout.split())
        unprepared = int(fields.get("unprepared", 0)) if self.prepared else 0
        notes = [f"{unprepared} statement text(s) refused by PREPARE ran as sent"] if unprepared else []
        return RunResult(float(fields["seconds"]), [int(fields["rows"])], notes)

    def describe(self) -> str:
        return ("libpq floor (C++, warm connection, PQexec of the rendered text, a bare BEGIN pipelined with the "
                "next statement, every cell touched)")

    def recover(self, log: StatementLog) -> None:
        """The floor's connection ends with its process, and with it any open transaction."""

    def forget(self, log: StatementLog) -> None:
        known = self._files.pop(id(log), None)
        if known is not None:
            known[1].unlink(missing_ok=True)

    def close(self) -> None:
        self._directory.cleanup()


class PreparedFloorPeer(FloorPeer):
    """The floor with each parameterised statement prepared, as our driver does with statements that repeat."""

    name = "prepared floor"
    prepared = True
    mode = ["--prepared"]

    def describe(self) -> str:
        return ("prepared libpq floor (C++, warm connection, each $n text prepared before the timed pass, then "
                "PQsendQueryPrepared with untyped text parameters, a bare BEGIN pipelined with the next statement; "
                "every cell touched)")


class StreamedFloorPeer(PreparedFloorPeer):
    """The prepared floor reading rows one at a time as they arrive (single-row mode)."""

    name = "streamed floor"
    mode = ["--stream"]

    def run(self, log: StatementLog) -> RunResult:
        require_many_row_read(log, self.name)
        return super().run(log)

    def describe(self) -> str:
        return "streamed libpq floor (the prepared floor in single-row mode: rows touched as they arrive)"
