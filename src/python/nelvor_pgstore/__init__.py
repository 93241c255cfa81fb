"""Python-level parts shared by the PostgreSQL store's two extension modules:
the DB-API exception classes, type objects and constructors. Each module
re-exports them, so an ``except`` clause or a type comparison written against
one module holds for the other."""
