"""Eight threads, each with its own connection, write and read for a bounded time
while pgbench runs a read-write load on the same server. State writers also bump
shared counters in random order, so the server has deadlocks to break: the loser
sees the error, rolls back and retries. Every acknowledged write must be there."""
import os
import random
import shutil
import subprocess
import threading
import time

import pytest

from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_utils.models.data_models.address import Address
from nelvor_utils.query.utils import Q
from reliability_support import store_class
from store_sides import SIDES, metadata_record

THREADS = 8
HOT_COUNTERS = 4
DEADLOCK = "40P01"
PGBENCH_CANDIDATES = ("/usr/lib/postgresql/15/bin/pgbench",)


def pgbench_path() -> str:
    found = shutil.which("pgbench") or next((p for p in PGBENCH_CANDIDATES if os.access(p, os.X_OK)), None)
    if found is None:
        pytest.skip("pgbench not installed")
    return found


def pgbench(pg_env, database, *arguments, **popen):
    argv = [pgbench_path(), "-h", pg_env["POSTGRES_HOST"], "-p", pg_env.get("POSTGRES_PORT", "5432"),
            "-U", pg_env.get("POSTGRES_USER") or "postgres", *arguments, database]
    return subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, env={**os.environ, "PGPASSWORD": pg_env.get("POSTGRES_PASSWORD", "")}, **popen)


class Worker(threading.Thread):
    """Writes its own objects until the deadline; `acknowledged` holds what the
    database confirmed (the commit returned), `hot_commits` the counter bumps."""

    def __init__(self, number: int, kind: str, class_name: str, deadline: float) -> None:
        super().__init__(name=f"load-{number}", daemon=True)
        self.number, self.kind, self.class_name, self.deadline = number, kind, class_name, deadline
        self.acknowledged: dict[str, dict] = {}
        self.hot_commits = 0
        self.deadlocks = 0
        self.reads = 0
        self.failure: BaseException | None = None
        self.random = random.Random(number)

    def address(self, object_id: str, object_version: str = "1") -> Address:
        return Address(class_name=self.class_name, class_version="1", object_id=object_id,
                       object_version=object_version)

    def run(self) -> None:
        connection = store_class(self.kind)()
        try:
            # The server looks for a deadlock after this wait; its default (1 s) would idle the writers.
            connection.connect(options="-c deadlock_timeout=100")
            step = 0
            while time.monotonic() < self.deadline:
                step += 1
                self.write_state(connection, step) if self.kind == "state" else self.write_history(connection, step)
                if step % 5 == 0:
                    self.read_back(connection)
        except BaseException as error:  # noqa: BLE001 - reported by the test
            self.failure = error
        finally:
            if connection._connection is not None:
                connection.disconnect()

    def write_state(self, connection, step: int) -> None:
        object_id = f"w{self.number}-{step}"
        record = {"t": f"inserted by {self.number}", "n": step}
        earlier = f"w{self.number}-{step - 1}" if step % 3 == 0 else None
        connection.begin()
        try:
            connection.insert(self.address(object_id), record)
            connection.begin()  # a savepoint level that is thrown away
            connection.insert(self.address(object_id + "-dropped"), {"n": -1})
            connection.rollback()
            for counter in self.random.sample(range(HOT_COUNTERS), 2):
                connection.execute("UPDATE load_hot SET bumps = bumps + 1 WHERE id = %s", counter)
            if earlier in self.acknowledged:
                connection.update(self.address(earlier), {"n": -step})
            connection.commit()
        except NelvorConnectionError as error:
            if getattr(error.__cause__, "sqlstate", None) != DEADLOCK:
                raise
            self.deadlocks += 1
            while connection._revert_data:
                connection.rollback()
            return
        self.acknowledged[object_id] = record
        if earlier in self.acknowledged:
            self.acknowledged[earlier] = {**self.acknowledged[earlier], "n": -step}
        self.hot_commits += 1

    def write_history(self, connection, step: int) -> None:
        object_id, version = f"w{self.number}", str(step)
        record = {"t": f"version {step} by {self.number}", "n": step}
        connection.begin()
        connection.put(self.address(object_id, version), record)
        connection.put(Address(class_name="metadata", object_id=object_id, object_version=version),
                       {**metadata_record(self.class_name, object_id, version),
                        "prior_version": str(step - 1) if step > 1 else None})
        connection.commit()
        self.acknowledged[f"{object_id}/{version}"] = record

    def read_back(self, connection) -> None:
        """The newest acknowledged write of this thread reads back as written."""
        key, record = next(reversed(self.acknowledged.items()), (None, None))
        if key is None:
            return
        object_id = key.split("/")[0]
        conditions = Q(_address__object_id=object_id)
        if self.kind == "historical":
            conditions &= Q(_address__object_version=key.split("/")[1])
        (found,) = connection.query(self.address(object_id), conditions=conditions)
        assert (found["t"], found["n"]) == (record["t"], record["n"]), (key, found)
        self.reads += 1


@pytest.fixture
def tables(database, admin_sql):
    """{kind: (class name, table name)} of a fresh table per connection class."""
    names = {}
    for kind, side_class in SIDES.items():
        side = side_class(f"Load{kind}")
        names[kind] = (side.class_name, side.table)
        side.close()
    admin_sql("DROP TABLE IF EXISTS load_hot; CREATE TABLE load_hot (id int PRIMARY KEY, bumps int NOT NULL);"
              f"INSERT INTO load_hot SELECT g, 0 FROM generate_series(0, {HOT_COUNTERS - 1}) g")
    return names


def test_threads_and_pgbench_lose_no_acknowledged_write(tables, database, pg_env, admin_sql, soak):
    duration = 120 if soak else 20
    init = pgbench(pg_env, database, "-i", "-s", "1", "-q")
    assert init.wait(timeout=120) == 0, init.stdout.read()
    bench = pgbench(pg_env, database, "-c", "4", "-j", "2", "-T", str(duration), "-n")
    deadline = time.monotonic() + duration
    workers = [Worker(n, kind, tables[kind][0], deadline) for n, kind in
               ((n, "state" if n % 2 == 0 else "historical") for n in range(THREADS))]
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join(timeout=duration + 60)
    bench_output, _ = bench.communicate(timeout=duration + 60)

    assert [w.name for w in workers if w.is_alive()] == [], "threads still running: a wait that never ended"
    assert [(w.name, repr(w.failure)) for w in workers if w.failure] == []
    assert bench.returncode == 0, bench_output
    assert "number of failed transactions: 0" in bench_output, bench_output

    state = [w for w in workers if w.kind == "state"]
    history = [w for w in workers if w.kind == "historical"]
    expected_state = {oid: (r["t"], r["n"]) for w in state for oid, r in w.acknowledged.items()}
    stored_state = {oid: (t, int(n)) for oid, t, n in
                    admin_sql(f'SELECT partition_key, t, n FROM "{tables["state"][1]}"')}
    assert stored_state == expected_state  # dropped savepoint rows absent, updates applied
    expected_history = {key: (r["t"], r["n"]) for w in history for key, r in w.acknowledged.items()}
    stored_history = {f"{oid}/{version}": (t, int(n)) for oid, version, t, n in admin_sql(
        f'SELECT partition_key, range_key, t, n FROM "{tables["historical"][1]}"')}
    assert stored_history == expected_history
    (bumps,), = admin_sql("SELECT sum(bumps) FROM load_hot")
    assert int(bumps) == 2 * sum(w.hot_commits for w in state)
    assert all(w.reads > 0 for w in workers)
    print(f"\nload: {len(expected_state)} state and {len(expected_history)} historical writes acknowledged, "
          f"{sum(w.deadlocks for w in state)} deadlocks broken and retried, "
          f"{sum(w.reads for w in workers)} reads checked; pgbench: "
          + next((line for line in bench_output.splitlines() if line.startswith("tps")), "?"))


@pytest.mark.parametrize("kind", sorted(SIDES))
def test_waiting_statements_run_in_parallel(kind, database):
    """Each thread's connection waits on the server without holding the GIL."""
    rounds, threads, pause = 4, 4, 0.5
    connections = [store_class(kind)() for _ in range(threads)]
    for connection in connections:
        connection.connect()

    def sleep_rounds(connection):
        for _ in range(rounds):
            connection.execute("SELECT pg_sleep(%s)", pause)

    workers = [threading.Thread(target=sleep_rounds, args=(c,)) for c in connections]
    started = time.monotonic()
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join(timeout=60)
    elapsed = time.monotonic() - started
    for connection in connections:
        connection.disconnect()
    serial = rounds * threads * pause
    assert elapsed < serial / 2, f"{elapsed:.2f}s for {serial:.0f}s of sleeping"
