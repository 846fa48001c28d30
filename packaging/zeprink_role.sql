-- The login role of ZEPRINK on PostgreSQL: it can read the tables of schema
-- zardonix and nothing else (the program never writes). Two parts, run by
-- two roles: a role needs CREATEROLE (or to be a superuser) to create
-- another and to change its settings, and only the schema's owner can grant
-- on the schema's tables.

-- 1. As the database's administrator (a superuser, or a role with
--    CREATEROLE that owns the database), connected to the site's database:
CREATE ROLE zeprink LOGIN;
-- Every transaction of the role reads only, whatever a session asks for.
ALTER ROLE zeprink SET default_transaction_read_only = on;
DO $$ BEGIN
  EXECUTE format('GRANT CONNECT ON DATABASE %I TO zeprink', current_database());
END $$;
-- Then its password, without it showing in a file or the shell's history:
-- in psql, \password zeprink

-- 2. As the owner of schema zardonix and its tables:
GRANT USAGE ON SCHEMA zardonix TO zeprink;
GRANT SELECT ON ALL TABLES IN SCHEMA zardonix TO zeprink;
-- Tables the same owner creates later.
ALTER DEFAULT PRIVILEGES IN SCHEMA zardonix GRANT SELECT ON TABLES TO zeprink;
