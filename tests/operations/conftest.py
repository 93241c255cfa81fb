"""Fixtures of the operations tests: extra clusters, and the connection variables
that point both classes at one of them."""
from __future__ import annotations

import os
import sys
from collections.abc import Iterator, Mapping

import pytest

sys.path.insert(0, os.path.dirname(__file__))

from clusters import clusters  # noqa: E402

FIELDS = ("HOST", "PORT", "USER", "PASSWORD", "DATABASE")
# Variables libpq reads itself; the session's ones must not leak into another server's test.
LIBPQ_VARIABLES = ("PGHOST", "PGPORT", "PGUSER", "PGPASSWORD", "PGDATABASE", "PGTARGETSESSIONATTRS",
                   "PGSSLMODE", "PGSSLROOTCERT", "PGCONNECT_TIMEOUT", "PGHOSTADDR")


@pytest.fixture(scope="module")
def make_cluster() -> Iterator:
    """make_cluster() -> a new cluster folder (not initialised); all removed after the module."""
    with clusters() as make:
        yield make


@pytest.fixture
def point_classes(monkeypatch: pytest.MonkeyPatch):
    """point_classes({"HOST": ..., ...}, PGSSLMODE=...) sets POSTGRES_* and POSTGRES_STATE_*
    to the same values (others removed) and the given libpq variables, for one test."""
    def point(values: Mapping[str, str], **libpq: str) -> None:
        for variable in LIBPQ_VARIABLES:
            monkeypatch.delenv(variable, raising=False)
        for group in ("POSTGRES_", "POSTGRES_STATE_"):
            for field in FIELDS:
                if values.get(field):
                    monkeypatch.setenv(group + field, values[field])
                else:
                    monkeypatch.delenv(group + field, raising=False)
        for variable, value in libpq.items():
            monkeypatch.setenv(variable, value)

    return point
