"""Where the benchmark databases live: the server named by POSTGRES_* (set by
scripts/embedded_pg.py when it starts a throwaway cluster)."""
from __future__ import annotations

import os
from dataclasses import dataclass
from typing import Dict


@dataclass(frozen=True)
class ServerSettings:
    host: str
    port: str
    user: str
    password: str

    @classmethod
    def from_environment(cls) -> "ServerSettings":
        return cls(host=os.environ.get("POSTGRES_HOST", "127.0.0.1"),
                   port=os.environ.get("POSTGRES_PORT", "5432"),
                   user=os.environ.get("POSTGRES_USER", "postgres"),
                   password=os.environ.get("POSTGRES_PASSWORD", ""))

    def keywords(self, database: str) -> Dict[str, str]:
        """libpq keywords (as psycopg2, psycopg 3 and our classes take them)."""
        words = {"host": self.host, "port": self.port, "user": self.user, "dbname": database}
        if self.password:
            words["password"] = self.password
        return words

    def class_keywords(self, database: str) -> Dict[str, str]:
        """Keywords of our classes' connect(): `database` instead of `dbname`."""
        words = self.keywords(database)
        words["database"] = words.pop("dbname")
        return words

    def conninfo(self, database: str) -> str:
        def quoted(value: str) -> str:
            return "'" + value.replace("\\", "\\\\").replace("'", "\\'") + "'"
        return " ".join(f"{key}={quoted(value)}" for key, value in self.keywords(database).items())
