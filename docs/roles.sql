-- Least-privilege roles for the nelvor storage classes.
--
--   nelvor_owner  owns the tables: the schema service runs as it (prepare_connection,
--                 table_schema_manager.create_table), e.g. in a deployment step.
--   nelvor_app    what the application connects as: reads, writes and revert
--                 (query, count, put, bulk_put, insert, update, delete, bulk_insert,
--                 bulk_update, bulk_delete, revert), and no DDL.
--
-- Run once as a superuser, connected to the application's database:
--   psql -v ON_ERROR_STOP=1 -d nelvor -f docs/roles.sql
-- then give each role a password with psql's \password ROLE (sent as a SCRAM hash,
-- so the password is never in a statement or a server log).

CREATE ROLE nelvor_owner LOGIN;
CREATE ROLE nelvor_app LOGIN;

-- Only the owner creates objects in the schema (PUBLIC lost CREATE on public in
-- PostgreSQL 15; the REVOKE makes older servers the same).
REVOKE CREATE ON SCHEMA public FROM PUBLIC;
GRANT USAGE, CREATE ON SCHEMA public TO nelvor_owner;
GRANT USAGE ON SCHEMA public TO nelvor_app;

-- Row rights on every table the owner creates from now on ...
ALTER DEFAULT PRIVILEGES FOR ROLE nelvor_owner IN SCHEMA public
    GRANT SELECT, INSERT, UPDATE, DELETE ON TABLES TO nelvor_app;
-- ... and on the tables already there (hand those to the owner too:
-- ALTER TABLE name OWNER TO nelvor_owner).
GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO nelvor_app;

-- The historical class never updates a row (put inserts, revert deletes). Where a
-- database holds only history, UPDATE can be withheld as well:
--   REVOKE UPDATE ON ALL TABLES IN SCHEMA public FROM nelvor_app;
--   ALTER DEFAULT PRIVILEGES FOR ROLE nelvor_owner IN SCHEMA public
--       REVOKE UPDATE ON TABLES FROM nelvor_app;
