"""Benchmarks of the two connection classes against psycopg2, psycopg 3, asyncpg and a
libpq floor; run with `bash bench/run.sh` (see README, section Benchmarks)."""
