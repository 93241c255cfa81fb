import importlib

import pytest

STORES = {
    "historical": ("nelvor_data.connections.implementations.ledger_store", "PostgresImmutableConnection", "POSTGRES_"),
    "state": ("nelvor_data.connections.implementations.current_store", "PostgresStateConnection", "POSTGRES_STATE_"),
}


@pytest.fixture(params=sorted(STORES))
def store(request):
    """(module, connection class, environment prefix) of each connection class in turn."""
    module_path, class_name, prefix = STORES[request.param]
    module = importlib.import_module(module_path)
    return module, getattr(module, class_name), prefix


@pytest.fixture
def connection(store, database):
    _, cls, _ = store
    instance = cls()
    instance.connect()
    yield instance
    if instance._connection is not None:
        instance.disconnect()
