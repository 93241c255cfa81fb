"""Placeholder demo: shows which PostgreSQL server it was given."""
import os


def main() -> None:
    for prefix in ("POSTGRES", "POSTGRES_STATE"):
        server = {key: os.environ.get(f"{prefix}_{key}", "") for key in ("HOST", "PORT", "USER", "DATABASE")}
        print(f"{prefix}_*: {server['USER']}@{server['HOST']}:{server['PORT']}/{server['DATABASE']}")


if __name__ == "__main__":
    main()
