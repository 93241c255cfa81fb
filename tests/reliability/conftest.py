"""Fixtures of the reliability tests: both connection classes, instances that are
always disconnected at the end, and a probe table read independently through psql."""
from __future__ import annotations

import contextlib
from collections.abc import Callable, Iterator

import pytest

from reliability_support import STORES, store_class


@pytest.fixture(params=sorted(STORES))
def cls(request) -> type:
    return store_class(request.param)


@pytest.fixture
def open_connection(database) -> Iterator[Callable[..., object]]:
    """open_connection(cls, **connect_kwargs) -> a connected instance, disconnected
    after the test whatever state it was left in."""
    opened = []

    def make(connection_class: type, **kwargs):
        instance = connection_class()
        instance.connect(**kwargs)
        opened.append(instance)
        return instance

    yield make
    for instance in opened:
        if instance._connection is not None:
            with contextlib.suppress(Exception):
                instance.disconnect()


@pytest.fixture
def connection(cls, open_connection):
    return open_connection(cls)


@pytest.fixture
def probe_table(admin_sql) -> Callable[[], list[str]]:
    """A one-column table `fault_probe`, emptied; the returned function lists its
    values as psql sees them (committed data only)."""
    admin_sql("CREATE TABLE IF NOT EXISTS fault_probe (v text)")
    admin_sql("TRUNCATE fault_probe")
    return lambda: sorted(row[0] for row in admin_sql("SELECT v FROM fault_probe"))
