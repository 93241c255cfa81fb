"""Records are built while a select's rows arrive. Whatever way the rows come
(streamed or read whole, through the driver or through a wrapper put in its
place), the records are the same, in the same order; a record that cannot be
built fails the read with its own error and leaves the instance usable."""
from __future__ import annotations

import pytest

from nelvor_data.connections.errors import NelvorConnectionError
from store_sides import SIDES

ROWS = 3000  # several batches of streamed rows


class PassThroughConnection:
    """A Python object in the driver connection's place, as a recorder or a pool would be."""

    def __init__(self, connection) -> None:
        self._connection = connection
        self.statements = 0

    def cursor(self):
        self.statements += 1
        return self._connection.cursor()

    def __getattr__(self, name):
        return getattr(self._connection, name)


@pytest.fixture(scope="module", params=sorted(SIDES))
def side(request, database):
    opened = SIDES[request.param](f"Arrive{request.param}", is_revert_supported=False)
    connection = opened.connection
    connection.begin()
    for number in range(ROWS):
        opened.write(f"o{number:05d}", {"t": f"text {number}", "i": number, "j": {"n": number, "l": [number]}})
    connection.commit()
    yield opened
    opened.close()


def values(records):
    return [(record["t"], record["i"], record["j"]) for record in records]


def test_records_are_the_same_however_the_rows_come(side):
    driver = side.connection._connection
    expected = [(f"text {n}", n, {"n": n, "l": [n]}) for n in range(ROWS)]
    for stream in (True, False):
        driver.stream_rows = stream
        for _ in range(3):  # the driver's own choice may change between runs
            assert sorted(values(side.query()), key=lambda v: v[1]) == expected
    driver.stream_rows = True
    wrapper = PassThroughConnection(driver)
    side.connection._connection = wrapper
    try:
        assert sorted(values(side.query()), key=lambda v: v[1]) == expected
        assert wrapper.statements >= 1
    finally:
        side.connection._connection = driver


@pytest.mark.parametrize("in_transaction", [False, True], ids=["autocommit", "transaction"])
def test_a_record_that_cannot_be_built_fails_the_read_with_its_own_error(side, in_transaction):
    connection = side.connection
    real = connection._process_result
    seen = []

    def failing(table_name, row, description):
        seen.append(row["i"])
        if len(seen) == 100:
            raise LookupError("record 100 cannot be built")
        return real(table_name, row, description)

    connection._process_result = failing
    if in_transaction:
        connection.begin()
    try:
        with pytest.raises(LookupError, match="record 100") as raised:
            side.query()
        assert not isinstance(raised.value, NelvorConnectionError)
        assert len(seen) == 100  # no record is built after the failing one
    finally:
        del connection._process_result
    # The select itself succeeded: the transaction goes on and the instance reads again.
    assert len(side.query()) == ROWS
    if in_transaction:
        connection.commit()
