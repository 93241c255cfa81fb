"""Our driver's statements, captured and replayed by the peers, the floor and the
server-time probe: same rows, same decoded values, phases kept apart."""
import json

import pytest

from bench.capture import Statement, StatementLog, recording
from bench.floor_runner import FloorPeer
from bench.server_time import ServerTime

SETUP = ["CREATE TEMP TABLE IF NOT EXISTS t_replay (k text PRIMARY KEY, n integer, r real, b boolean, j json)",
         "TRUNCATE t_replay"]


class _Holder:
    """Stands in for a connection class: the driver connection lives in `_connection`."""

    def __init__(self, connection):
        self._connection = connection

    def execute(self, query, *params):
        cursor = self._connection.cursor()
        cursor.execute(query, params)
        return cursor


@pytest.fixture
def captured(keywords):
    from nelvor_data.connections.implementations.current_store import connect
    holder = _Holder(connect(**keywords))
    log = StatementLog()
    with recording(holder, log):
        for text in SETUP:
            holder.execute(text)
        holder.execute("INSERT INTO t_replay VALUES (%s, %s, %s, %s, %s), (%s, %s, %s, %s, %s)",
                       "a", 1, 0.5, True, json.dumps({"x": [1, "é"]}), "b", None, None, False, None)
        log.phase = "timed"
        rows = holder.execute("SELECT k, n, r, b, j FROM t_replay WHERE k >= %s ORDER BY k", "a").fetchall()
        holder.execute("UPDATE t_replay SET n = n + %s WHERE k = %s", 1, "a")
        log.phase = "finish"
        holder.execute("DROP TABLE t_replay")
    return log, rows


def test_capture_keeps_template_values_text_and_phase(captured):
    log, rows = captured
    assert [len(log.setup), len(log.timed), len(log.finish)] == [3, 2, 1]
    select, update = log.timed
    assert select.params == ("a",) and select.rows == 2
    assert b"WHERE k >= 'a'" in select.rendered
    assert update.rows == -1 and update.params == (1, "a")
    assert log.setup[0].params == ()  # execute() without parameters still passes an empty tuple
    assert rows[0][4] == {"x": [1, "é"]}


@pytest.mark.parametrize("peer_name", ["psycopg2", "psycopg3", "asyncpg"])
def test_peers_return_what_ours_returned(peer_name, captured, keywords):
    from bench.peers.asyncpg_peer import AsyncpgPeer
    from bench.peers.psycopg2_peer import Psycopg2Peer
    from bench.peers.psycopg3_peer import Psycopg3Peer
    log, rows = captured
    peer = {"psycopg2": Psycopg2Peer, "psycopg3": Psycopg3Peer, "asyncpg": AsyncpgPeer}[peer_name](keywords)
    try:
        result = peer.run(log)
        assert result.rows == [2, -1]
        assert result.seconds > 0
    finally:
        peer.close()


def test_psycopg3_runs_its_c_implementation():
    from bench.peers.psycopg3_peer import Psycopg3Peer
    assert Psycopg3Peer.implementation() in ("c", "binary")


def test_floor_times_only_the_timed_phase(captured, floor_binary, server, database):
    log, _ = captured
    floor = FloorPeer(floor_binary, server.conninfo(database))
    try:
        result = floor.run(log)
        assert result.rows == [2]  # the SELECT's rows; setup and finish are not counted
        assert 0 < result.seconds < 5
    finally:
        floor.close()


def test_floor_reports_a_failing_statement(floor_binary, server, database):
    log = StatementLog(timed=[Statement("SELEC 1", None, b"SELEC 1", -1)])
    floor = FloorPeer(floor_binary, server.conninfo(database))
    try:
        with pytest.raises(RuntimeError, match="syntax error"):
            floor.run(log)
    finally:
        floor.close()


def test_server_time_explains_writes_inside_the_replayed_transaction(captured, keywords):
    log, _ = captured
    probe = ServerTime(keywords)
    try:
        result = probe.run(log)
        assert 0 < result.seconds < 5
    finally:
        probe.close()
