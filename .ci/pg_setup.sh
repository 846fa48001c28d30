#!/usr/bin/env bash
# Starts the local PostgreSQL 15 cluster for the tests and prepares what they
# connect to: the role zeprink (password zeprink_pw, may create databases),
# the database zeprink_test owned by it, and the service zeprink_test in the
# libpq service file ($PGSERVICEFILE, else ~/.pg_service.conf).
# Installs nothing; exits non-zero with a message when the server does not
# come up.
#
# Standard output carries only the environment for the tests, as shell
# commands:  eval "$(bash .ci/pg_setup.sh)"  (messages go to standard error).
set -euo pipefail
exec 3>&1 1>&2

PG_VERSION=15
PG_CLUSTER=main
ROLE=${ZEPRINK_PG_USER:-zeprink}
ROLE_PASSWORD=${ZEPRINK_PG_PASSWORD:-zeprink_pw}
DATABASE=zeprink_test
SERVICE=zeprink_test
SERVICE_FILE=${PGSERVICEFILE:-$HOME/.pg_service.conf}

# Also makes the caller's eval fail (its status would hide ours).
fail() {
  echo "pg_setup: $*" >&2
  echo false >&3
  exit 1
}
# A command that fails outside fail() ends the script through set -e; the
# caller's eval must fail then too, not run the tests without a server.
trap 'echo "pg_setup: failed at line $LINENO" >&2; echo false >&3' ERR

command -v pg_ctlcluster >/dev/null || fail "pg_ctlcluster not found (package postgresql-$PG_VERSION missing)"

if ! pg_lsclusters -h 2>/dev/null | awk -v v="$PG_VERSION" -v c="$PG_CLUSTER" '$1==v && $2==c {found=1} END {exit !found}'; then
  echo "pg_setup: creating cluster $PG_VERSION/$PG_CLUSTER"
  pg_createcluster "$PG_VERSION" "$PG_CLUSTER" </dev/null 3>&- || fail "pg_createcluster $PG_VERSION $PG_CLUSTER failed"
fi

status=$(pg_lsclusters -h | awk -v v="$PG_VERSION" -v c="$PG_CLUSTER" '$1==v && $2==c {print $4}')
if [ "$status" != "online" ]; then
  # The server lives on after this script: it must not hold any of our
  # descriptors open. Holding the caller's $( ) pipe (descriptor 3) would keep
  # the caller waiting for the end of our output forever, and holding a log
  # pipe of the caller's would do the same to whoever reads that log.
  start_log=$(mktemp)
  pg_ctlcluster "$PG_VERSION" "$PG_CLUSTER" start </dev/null >"$start_log" 2>&1 3>&- || {
    cat "$start_log" >&2; rm -f "$start_log"
    tail -n 20 "/var/log/postgresql/postgresql-$PG_VERSION-$PG_CLUSTER.log" >&2 || true
    fail "the PostgreSQL cluster $PG_VERSION/$PG_CLUSTER did not start"
  }
  cat "$start_log" >&2; rm -f "$start_log"
fi

PORT=$(pg_lsclusters -h | awk -v v="$PG_VERSION" -v c="$PG_CLUSTER" '$1==v && $2==c {print $3}')
[ -n "$PORT" ] || fail "no port for cluster $PG_VERSION/$PG_CLUSTER"

# The server accepts connections a moment after pg_ctlcluster returns.
ready=0
for _ in $(seq 1 30); do
  if pg_isready -q -h 127.0.0.1 -p "$PORT"; then ready=1; break; fi
  sleep 1
done
[ "$ready" = 1 ] || fail "the server on port $PORT does not accept connections"

as_postgres() {
  runuser -u postgres -- psql -X -q -v ON_ERROR_STOP=1 -p "$PORT" "$@"
}

as_postgres -d postgres -v role="$ROLE" -v pw="$ROLE_PASSWORD" <<'SQL' || fail "creating role failed"
SELECT format('CREATE ROLE %I LOGIN', :'role')
 WHERE NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = :'role') \gexec
ALTER ROLE :"role" LOGIN CREATEDB PASSWORD :'pw';
SQL

as_postgres -d postgres -v role="$ROLE" -v db="$DATABASE" <<'SQL' || fail "creating database failed"
SELECT format('CREATE DATABASE %I OWNER %I ENCODING %L LC_COLLATE %L LC_CTYPE %L TEMPLATE template0',
              :'db', :'role', 'UTF8', 'C', 'C')
 WHERE NOT EXISTS (SELECT 1 FROM pg_database WHERE datname = :'db') \gexec
SQL

# Databases of earlier test runs that ended before dropping theirs.
# A test database is named zx_t_<pid>_<n> after the test process that made
# it; only those whose process has ended are dropped, so a test run that is
# still going on (another session's) keeps its databases.
as_postgres -d postgres -At -c "SELECT datname FROM pg_database WHERE datname LIKE 'zx\_t\_%'" |
  while read -r stale; do
    pid=${stale#zx_t_}
    pid=${pid%%_*}
    if [[ "$pid" =~ ^[0-9]+$ ]] && kill -0 "$pid" 2>/dev/null; then continue; fi
    as_postgres -d postgres -c "DROP DATABASE IF EXISTS \"$stale\" WITH (FORCE)" || true
  done

# Rewrite only our own section of the service file, keep the others.
mkdir -p "$(dirname "$SERVICE_FILE")"
touch "$SERVICE_FILE"
tmp=$(mktemp)
awk -v s="[$SERVICE]" '
  /^[[:space:]]*\[/ { skip = ($0 == s) }
  !skip { print }
' "$SERVICE_FILE" >"$tmp"
cat >>"$tmp" <<CONF
[$SERVICE]
host=127.0.0.1
port=$PORT
dbname=$DATABASE
CONF
mv "$tmp" "$SERVICE_FILE"

# The tests' own check: a password login over TCP through the service.
PGPASSWORD="$ROLE_PASSWORD" PGSERVICEFILE="$SERVICE_FILE" \
  psql -X -q -At "service=$SERVICE user=$ROLE" -c 'select 1' >/dev/null \
  || fail "cannot log in as $ROLE through service $SERVICE ($SERVICE_FILE)"

echo "pg_setup: PostgreSQL $PG_VERSION/$PG_CLUSTER on port $PORT, service $SERVICE in $SERVICE_FILE"
printf 'export PGSERVICEFILE=%q ZEPRINK_PG_SERVICE=%q ZEPRINK_PG_USER=%q ZEPRINK_PG_PASSWORD=%q\n' \
  "$SERVICE_FILE" "$SERVICE" "$ROLE" "$ROLE_PASSWORD" >&3
