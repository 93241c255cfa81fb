"""Our classes as one of the benchmarked implementations: the workload's own calls,
with only the operation timed."""
from __future__ import annotations

import time
from typing import Any, Tuple

from bench.capture import StatementLog, recording
from bench.peers.base import RunResult, quiet_heap
from bench.workload import Workload


def _result_size(result: Any) -> int:
    if isinstance(result, list):
        return len(result)
    return -1


class Ours:
    name = "ours"

    def __init__(self, connection: Any, workload: Workload) -> None:
        self._connection = connection
        self._workload = workload

    def run(self, _log: StatementLog) -> RunResult:
        workload, connection = self._workload, self._connection
        workload.prepare(connection)
        quiet_heap()
        started = time.perf_counter()
        result = workload.operation(connection)
        seconds = time.perf_counter() - started
        size = _result_size(result)
        del result
        workload.finish(connection)
        return RunResult(seconds, [size])

    def capture(self) -> Tuple[StatementLog, int]:
        """Run the workload once with every statement recorded; returns the log and the
        size of the operation's result (-1 when it returns no list)."""
        workload, connection = self._workload, self._connection
        log = StatementLog()
        with recording(connection, log):
            log.phase = "setup"
            workload.prepare(connection)
            log.phase = "timed"
            result = workload.operation(connection)
            log.phase = "finish"
            workload.finish(connection)
        return log, _result_size(result)
