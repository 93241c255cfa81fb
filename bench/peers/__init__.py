"""Other PostgreSQL drivers replaying the statements our classes send."""
