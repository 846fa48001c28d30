#!/usr/bin/env bash
# Builds the schema zardonix on a PostgreSQL server from schema/postgresql.sql
# and loads the demo data set (schema/demo_data.sql, the same file the
# embedded database loads).
#
# Usage: tools/pg_load_demo.sh [--replace] CONNECTION
#   CONNECTION  what psql connects with: "service=zeprink_test user=zeprink",
#               a postgresql:// URI, or a database name. The password comes
#               from PGPASSWORD, ~/.pgpass or a prompt.
#   --replace   drop an existing schema zardonix (and all its tables) first;
#               without it an existing schema makes the load fail.
#
# The demo file is read as Windows-1252 text, the bytes the program works
# with. Then point the configuration at the server: NET8 the service name
# (or URI), SCHEMA ZARDONIX, LOGIN/PASS a role with USAGE on the schema and
# SELECT on its tables.
set -euo pipefail

replace=0
if [ "${1:-}" = "--replace" ]; then
  replace=1
  shift
fi
if [ $# -ne 1 ]; then
  sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
  exit 2
fi
connection=$1
# The schema files: beside the script where it is installed
# (share/zeprink/schema/), in the tree's schema/ where it is run from there.
here=$(cd "$(dirname "$0")" && pwd)
schema_dir=$here/schema
[ -d "$schema_dir" ] || schema_dir=$here/../schema
schema_file=$schema_dir/postgresql.sql
demo_file=$schema_dir/demo_data.sql
for f in "$schema_file" "$demo_file"; do
  [ -r "$f" ] || { echo "pg_load_demo: $f not found" >&2; exit 1; }
done

{
  echo "SET client_min_messages = warning;"
  if [ "$replace" = 1 ]; then echo "DROP SCHEMA IF EXISTS zardonix CASCADE;"; fi
  cat "$schema_file"
  echo
  echo "SET search_path TO zardonix;"
  cat "$demo_file"
  echo
} | PGCLIENTENCODING=WIN1252 psql -X -q -v ON_ERROR_STOP=1 "$connection" >/dev/null || {
  echo "pg_load_demo: loading failed (an existing schema zardonix needs --replace)" >&2
  exit 1
}

echo "pg_load_demo: schema zardonix with the demo data loaded"
