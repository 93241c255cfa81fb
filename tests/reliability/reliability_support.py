"""Helpers shared by the reliability tests."""
from __future__ import annotations

import contextlib
import importlib
import signal
import time
from collections.abc import Callable, Iterator

STORES = {
    "historical": ("nelvor_data.connections.implementations.ledger_store", "PostgresImmutableConnection"),
    "state": ("nelvor_data.connections.implementations.current_store", "PostgresStateConnection"),
}


def store_class(kind: str) -> type:
    module_path, class_name = STORES[kind]
    return getattr(importlib.import_module(module_path), class_name)


def driver_module(cls: type):
    """The module holding a class also exposes its driver's error classes."""
    return importlib.import_module(cls.__module__)


def wait_until(predicate: Callable[[], bool], timeout: float = 10.0, what: str = "condition") -> None:
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.05)


def _raise_keyboard_interrupt(signum, frame):
    raise KeyboardInterrupt


@contextlib.contextmanager
def keyboard_interrupt_after(seconds: float) -> Iterator[None]:
    """Raises KeyboardInterrupt in the main thread after `seconds`, as Ctrl-C would,
    through SIGALRM so that the test runner's own SIGINT handling stays out of it."""
    previous = signal.signal(signal.SIGALRM, _raise_keyboard_interrupt)
    try:
        signal.setitimer(signal.ITIMER_REAL, seconds)
        yield
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
