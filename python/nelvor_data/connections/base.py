"""Contracts of the storage connections; the concrete classes implement the operations."""
from abc import ABC, abstractmethod


class _ConnectionBase(ABC):
    @abstractmethod
    def connect(self, dsn=None, **kwargs): ...

    @abstractmethod
    def disconnect(self): ...

    @abstractmethod
    def execute(self, query, *args): ...

    @abstractmethod
    def begin(self): ...

    @abstractmethod
    def commit(self): ...

    @abstractmethod
    def rollback(self): ...

    @abstractmethod
    def query(self, address, query_specifier=None, conditions=None, pagination=None, order_by=None): ...

    @abstractmethod
    def count(self, address, conditions=None): ...

    @abstractmethod
    def revert(self): ...

    def prepare_connection(self):
        """Hook run after connecting; a store that needs internal tables overrides it."""

    def on_transaction_complete(self):
        """Hook run when the framework's transaction has succeeded."""


class HistoricalConnectionBase(_ConnectionBase):
    """A store that keeps every version of an object and never updates in place."""

    @abstractmethod
    def put(self, address, data): ...

    @abstractmethod
    def bulk_put(self, data): ...


class StateConnectionBase(_ConnectionBase):
    """A store that keeps the current state of each object, one row per object."""

    @abstractmethod
    def insert(self, address, data): ...

    @abstractmethod
    def update(self, address, data): ...

    @abstractmethod
    def delete(self, address): ...

    @abstractmethod
    def bulk_insert(self, data): ...

    @abstractmethod
    def bulk_update(self, data): ...

    @abstractmethod
    def bulk_delete(self, addresses): ...
