"""The demo: both connection classes against the configured PostgreSQL server.

Run through `bash scripts/demo.sh`, which starts a throwaway server unless
POSTGRES_* name one.
"""
import importlib

TOURS = ("demo.connection_tour", "demo.history_tour", "demo.state_tour")


def main() -> None:
    for name in TOURS:
        try:
            tour = importlib.import_module(name)
        except ModuleNotFoundError as missing:
            if missing.name != name:
                raise
            continue
        print(f"\n=== {tour.TITLE} ===")
        tour.run(print)


if __name__ == "__main__":
    main()
