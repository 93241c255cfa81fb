"""Edges of both connection classes that outside testing found: deep caller
data, re-entrant use during a statement, COMMIT of an aborted transaction, revert
entries of writes that failed, and the collector during a read that waits.

Cases whose faulty behaviour kills or hangs the process run in a child process
with a time limit."""
import gc
import textwrap
import threading
import time

import pytest
from python_child import run_python

from nelvor_data.connections.errors import NelvorConnectionError
from nelvor_data.connections.implementations.current_store import PostgresStateConnection
from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection
from nelvor_utils.models.data_models.address import Address
from reliability_support import driver_module

CHILD_TIMEOUT = 90


def run_child(code):
    """Runs `code` in a new interpreter (the classes connect from POSTGRES_*); returns its stdout."""
    prelude = textwrap.dedent("""
        import signal, sys, time
        from nelvor_data.connections.implementations.current_store import PostgresStateConnection
        from nelvor_data.connections.implementations.ledger_store import PostgresImmutableConnection
        from nelvor_utils.models.data_models.address import Address
    """)
    done = run_python(prelude + textwrap.dedent(code), CHILD_TIMEOUT)
    assert done.returncode == 0, done.stderr[-3000:]
    return done.stdout.splitlines()


# Each store has its own table layout, so each writes its own class.
CLASS_OF = {PostgresStateConnection: "Gadget", PostgresImmutableConnection: "Thing"}


def thing(object_id, object_version="1", cls=PostgresImmutableConnection):
    return Address(class_name=CLASS_OF[cls], class_version="1", object_id=object_id, object_version=object_version)


def gadget(object_id):
    return thing(object_id, cls=PostgresStateConnection)


@pytest.fixture
def thing_tables(database):
    """Per store class, its table (name text, data json), created empty."""
    tables = {}
    for cls, class_name in CLASS_OF.items():
        instance = cls(is_revert_supported=False)
        instance.connect()
        service = instance.table_schema_manager
        tables[cls] = service.resolve_table_name(thing("x", cls=cls))
        instance.execute(f'DROP TABLE IF EXISTS "{tables[cls]}"')
        service.create_table(class_name, "1", {"name": "text", "data": "json"})
        instance.disconnect()
    return tables


def names(connection, table):
    return sorted(row[0] for row in connection.execute(f'SELECT name FROM "{table}"').fetchall())


# --- Deep caller data -------------------------------------------------------

def test_deeply_nested_records_raise_recursion_error_and_write_nothing(thing_tables):
    lines = run_child(f"""
        deep_list, deep_dict = [], {{}}
        for _ in range(50_000):
            deep_list, deep_dict = [deep_list], {{"k": deep_dict}}
        state, ledger = PostgresStateConnection(), PostgresImmutableConnection()
        state.connect(); ledger.connect()
        gadget = Address(class_name="Gadget", class_version="1", object_id="deep")
        thing = Address(class_name="Thing", class_version="1", object_id="deep", object_version="1")
        calls = {{
            "insert": lambda value: state.insert(gadget, {{"name": "n", "data": value}}),
            "put": lambda value: ledger.put(thing, {{"name": "n", "data": value}}),
            "bulk_insert": lambda value: state.bulk_insert([(gadget, {{"name": "n", "data": value}})]),
        }}
        for name, call in calls.items():
            for value in (deep_list, deep_dict):
                for connection in (state, ledger):
                    connection.begin()
                try:
                    call(value)
                    print(name, "accepted")
                except RecursionError:
                    print(name, "RecursionError")
                for connection in (state, ledger):
                    connection.rollback()
        for table in {sorted(thing_tables.values())!r}:
            print(state.execute(f'SELECT count(*) FROM "{{table}}"').fetchone()[0])
    """)
    assert lines == [f"{name} RecursionError" for name in ("insert", "put", "bulk_insert") for _ in "ld"] + ["0", "0"]


# --- Re-entrant use during a statement --------------------------------------

def test_a_signal_handler_using_the_busy_instance_gets_interface_error(database):
    lines = run_child("""
        for cls in (PostgresStateConnection, PostgresImmutableConnection):
            instance = cls()
            instance.connect()
            signal.signal(signal.SIGALRM, lambda signum, frame: instance.execute("SELECT 1"))
            signal.setitimer(signal.ITIMER_REAL, 0.2)
            try:
                instance.execute("SELECT pg_sleep(2)")
            except Exception as error:
                chain = []
                while error is not None:
                    chain.append(type(error).__name__)
                    error = error.__cause__
                print(chain[0], chain[-1])
            signal.signal(signal.SIGALRM, signal.SIG_DFL)
            print(instance.execute("SELECT 5").fetchone()[0])
    """)
    assert lines == ["NelvorConnectionError InterfaceError", "5"] * 2


# --- COMMIT of an aborted transaction ---------------------------------------

def test_commit_after_a_failed_statement_raises_and_leaves_no_level(cls, connection, probe_table):
    driver = driver_module(cls)
    connection.begin()
    connection.execute("INSERT INTO fault_probe VALUES ('lost')")
    with pytest.raises(NelvorConnectionError):
        connection.execute("SELECT 1/0")
    with pytest.raises(NelvorConnectionError, match="rolled back") as raised:
        connection.commit()
    assert isinstance(raised.value.__cause__, driver.DataError)
    assert connection._revert_data == [] and connection._savepoints == []
    assert probe_table() == []
    # The instance goes on: a new transaction commits.
    connection.begin()
    connection.execute("INSERT INTO fault_probe VALUES ('kept')")
    connection.commit()
    assert probe_table() == ["kept"]


def test_commit_of_a_nested_level_merged_into_an_aborted_transaction_raises(cls, connection, probe_table):
    connection.begin()
    connection.begin()
    with pytest.raises(NelvorConnectionError):
        connection.execute("INSERT INTO fault_probe VALUES (1/0)")
    connection.commit()  # merges into the outer level: nothing is sent
    with pytest.raises(NelvorConnectionError, match="rolled back"):
        connection.commit()
    assert connection._revert_data == [] and connection._savepoints == []
    assert probe_table() == []


def test_rolling_back_the_failed_level_then_committing_the_outer_one_stores(cls, connection, probe_table):
    connection.begin()
    connection.execute("INSERT INTO fault_probe VALUES ('outer')")
    connection.begin()
    with pytest.raises(NelvorConnectionError):
        connection.execute("INSERT INTO fault_probe VALUES (1/0)")
    connection.rollback()
    connection.commit()
    assert probe_table() == ["outer"]
    assert connection._revert_data == [] and connection._savepoints == []


# --- Revert entries of writes that failed -----------------------------------

UNENCODABLE = object()  # no literal exists for it: the write fails before reaching the server


def test_state_writes_that_fail_record_no_revert_entry(thing_tables):
    state = PostgresStateConnection()
    state.connect()
    try:
        state.begin()
        state.insert(gadget("a"), {"name": "before"})
        state.commit()
        state.begin()
        for write in (lambda: state.insert(gadget("a"), {"name": UNENCODABLE}),
                      lambda: state.update(gadget("a"), {"name": UNENCODABLE}),
                      lambda: state.bulk_insert([(gadget("b"), {"name": "fine"}), (gadget("c"), {"name": UNENCODABLE})])):
            with pytest.raises(NelvorConnectionError):
                write()
        assert state._revert_data == [[]]
        state.revert()  # undoes nothing: the record that was there stays
        state.execute("COMMIT")
        assert names(state, thing_tables[PostgresStateConnection]) == ["before"]
        # A bulk write that succeeds records all its entries.
        state.begin()
        state.bulk_insert([(gadget("b"), {"name": "b"}), (gadget("c"), {"name": "c"})])
        assert len(state._revert_data[-1]) == 2
        state.rollback()
    finally:
        state.disconnect()


def test_ledger_put_that_fails_records_no_revert_entry(thing_tables):
    ledger = PostgresImmutableConnection()
    ledger.connect()
    try:
        ledger.begin()
        ledger.put(thing("a", "1"), {"name": "v1"})
        ledger.commit()
        ledger.begin()
        with pytest.raises(NelvorConnectionError):
            ledger.put(thing("a", "1"), {"name": UNENCODABLE})
        with pytest.raises(NelvorConnectionError):
            ledger.bulk_put([(thing("b", "1"), {"name": UNENCODABLE})])
        assert ledger._revert_data == [[]]
        ledger.revert()  # must not delete version 1 written before
        ledger.execute("COMMIT")
        assert names(ledger, thing_tables[PostgresImmutableConnection]) == ["v1"]
    finally:
        ledger.disconnect()


def test_with_revert_on_and_no_level_writes_fail_before_writing(thing_tables):
    state, ledger = PostgresStateConnection(), PostgresImmutableConnection()
    state.connect()
    ledger.connect()
    try:
        for write in (lambda: state.insert(gadget("z"), {"name": "z"}),
                      lambda: state.bulk_insert([(gadget("z"), {"name": "z"})]),
                      lambda: ledger.put(thing("z"), {"name": "z"}),
                      lambda: ledger.bulk_put([(thing("z"), {"name": "z"})])):
            with pytest.raises(IndexError):
                write()
        assert names(state, thing_tables[PostgresStateConnection]) == [] and names(ledger, thing_tables[PostgresImmutableConnection]) == []
    finally:
        state.disconnect()
        ledger.disconnect()


# --- The collector during a read that waits ---------------------------------

def test_a_read_waiting_for_the_server_lets_the_collector_run(thing_tables):
    state, blocker = PostgresStateConnection(is_revert_supported=False), PostgresStateConnection()
    state.connect()
    blocker.connect()
    seen = []

    def other_thread():
        time.sleep(0.4)
        seen.append(gc.isenabled())
        gc.disable()  # another thread's choice: it must stand after the read

    try:
        state.insert(gadget("a"), {"name": "a"})
        blocker.execute("BEGIN")
        blocker.execute(f'LOCK TABLE "{thing_tables[PostgresStateConnection]}" IN ACCESS EXCLUSIVE MODE')
        thread = threading.Thread(target=other_thread)
        thread.start()
        threading.Timer(1.0, lambda: blocker.execute("ROLLBACK")).start()
        assert gc.isenabled()
        records = state.query(gadget(None))
        thread.join()
        assert len(records) == 1 and seen == [True]
        assert not gc.isenabled()
    finally:
        gc.enable()
        state.disconnect()
        blocker.disconnect()
