#!/usr/bin/env bash
# A PostgreSQL 15 server of the tests' own, so that a test run touches
# nothing of the machine's: a cluster that initdb makes in DIR, reachable
# only through a unix socket in DIR (no TCP port), with the role zeprink
# (password zeprink_pw, may create databases), the database zeprink_test and
# the service zeprink_test in DIR/pg_service.conf. The machine's own
# cluster, its roles and ~/.pg_service.conf stay as they are.
#
#   eval "$(bash .ci/pg_private.sh start DIR)"   start; prints the tests' environment
#   bash .ci/pg_private.sh stop DIR              stop the server and remove DIR
#
# The server programs come from /usr/lib/postgresql/15/bin or the folder
# ZEPRINK_PG_BINDIR names. Run as root, the server runs as the user postgres
# (it refuses to run as root). Standard output carries only the environment,
# as shell commands; messages go to standard error. A failed start makes the
# caller's eval fail too.
set -euo pipefail
exec 3>&1 1>&2

action=${1:-}
dir=${2:-}
[ -n "$dir" ] && { [ "$action" = start ] || [ "$action" = stop ]; } ||
  { echo "usage: pg_private.sh start|stop DIR" >&2; echo false >&3; exit 2; }
bin=${ZEPRINK_PG_BINDIR:-/usr/lib/postgresql/15/bin}
ROLE=zeprink
ROLE_PASSWORD=zeprink_pw
DATABASE=zeprink_test
SERVICE=zeprink_test
PORT=5432  # names the socket file in DIR; no TCP port is opened

fail() {
  echo "pg_private: $*" >&2
  echo false >&3
  exit 1
}
trap 'echo "pg_private: failed at line $LINENO" >&2; echo false >&3' ERR

as_server() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

if [ "$action" = stop ]; then
  if [ -f "$dir/data/postmaster.pid" ]; then
    as_server "$bin/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
  exit 0
fi

for program in initdb pg_ctl psql; do
  [ -x "$bin/$program" ] || fail "$bin/$program not found (package postgresql-15)"
done
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
[ "$(id -u)" != 0 ] || chown postgres: "$dir" || fail "cannot hand $dir to the user postgres"

as_server "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C --no-sync \
  --no-instructions >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; fail "initdb failed"; }
cat >>"$dir/data/postgresql.conf" <<CONF
listen_addresses = ''
unix_socket_directories = '$dir'
port = $PORT
fsync = off
synchronous_commit = off
full_page_writes = off
shared_buffers = 32MB
max_connections = 100
CONF
# The administrator (this script) without a password; the tests' login with
# its password, so that a wrong one is refused as on a real server.
cat >"$dir/data/pg_hba.conf" <<CONF
local all postgres trust
local all all scram-sha-256
CONF

# The server lives on after this script: it must not hold the caller's
# $( ) pipe (descriptor 3) open, or the caller would wait for ever.
as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start </dev/null >/dev/null 2>&1 3>&- ||
  { tail -n 20 "$dir/server.log" >&2 || true; fail "the server in $dir did not start"; }

as_server "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$PORT" -U postgres -d postgres \
  -v role="$ROLE" -v pw="$ROLE_PASSWORD" -v db="$DATABASE" <<'SQL' || fail "creating role and database failed"
CREATE ROLE :"role" LOGIN CREATEDB PASSWORD :'pw';
CREATE DATABASE :"db" OWNER :"role" ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0;
SQL

cat >"$dir/pg_service.conf" <<CONF
[$SERVICE]
host=$dir
port=$PORT
dbname=$DATABASE
CONF

PGPASSWORD="$ROLE_PASSWORD" PGSERVICEFILE="$dir/pg_service.conf" \
  "$bin/psql" -X -q -At "service=$SERVICE user=$ROLE" -c 'select 1' >/dev/null ||
  fail "cannot log in as $ROLE through service $SERVICE"

echo "pg_private: PostgreSQL server of the tests in $dir (socket only), service $SERVICE"
printf 'export PGSERVICEFILE=%q ZEPRINK_PG_SERVICE=%q ZEPRINK_PG_USER=%q ZEPRINK_PG_PASSWORD=%q\n' \
  "$dir/pg_service.conf" "$SERVICE" "$ROLE" "$ROLE_PASSWORD" >&3
