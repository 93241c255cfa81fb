"""Fixtures of the reliability tests: both connection classes, a connected instance
(through the suite's open_connection), and a probe table read independently through psql."""
from __future__ import annotations

from collections.abc import Callable

import pytest

from reliability_support import STORES, store_class


@pytest.fixture(params=sorted(STORES))
def cls(request) -> type:
    return store_class(request.param)


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
