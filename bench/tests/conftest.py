"""The bench's own tests: a real server (POSTGRES_* or a throwaway cluster) and a fresh
database for the session. Run with `python -m pytest bench/tests` (bench extras needed)."""
from __future__ import annotations

import os
import sys
import uuid
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "scripts"))
import embedded_pg  # noqa: E402

from bench import dataset  # noqa: E402
from bench.settings import ServerSettings  # noqa: E402


@pytest.fixture(scope="session")
def server() -> ServerSettings:
    with embedded_pg.embedded_postgres() as env:
        yield ServerSettings(host=env["POSTGRES_HOST"], port=env["POSTGRES_PORT"], user=env["POSTGRES_USER"],
                             password=env.get("POSTGRES_PASSWORD", ""))


@pytest.fixture(scope="session")
def database(server: ServerSettings) -> str:
    name = f"bench_test_{uuid.uuid4().hex[:8]}"
    dataset.ensure_database(server, name)
    yield name
    dataset.drop_database(server, name)


@pytest.fixture(scope="session")
def floor_binary(tmp_path_factory):
    from bench.floor_runner import build_floor
    return build_floor(tmp_path_factory.mktemp("floor"))


@pytest.fixture
def keywords(server: ServerSettings, database: str) -> dict:
    return server.keywords(database)


def pytest_report_header() -> str:
    return f"bench tests; server from POSTGRES_HOST={os.environ.get('POSTGRES_HOST', '(throwaway cluster)')}"
