#!/usr/bin/env bash
# Installs ZEPRINK into an empty prefix, builds the Debian package, and runs
# the installed programs on the demo database with an empty environment and
# a working directory of their own, checking their exit status.
#   bash scripts/install-check.sh [BUILD-DIR]    (default build-install)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-install}
ZEPRINK_TARGETS="zeprink zeprink-config zeprink-show zeprink-explain zeprink-site" bash scripts/build.sh "$dir" \
  -DZEPRINK_TESTS=OFF -DZEPRINK_BENCH=OFF -DCMAKE_BUILD_TYPE=Release
work=$(mktemp -d /tmp/zeprink-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "install-check: $*" >&2; exit 1; }

cmake --install "$dir" --prefix "$prefix" >/dev/null
for file in bin/zeprink bin/zeprink-config bin/zeprink-show bin/zeprink-explain bin/zeprink-site share/man/man1/zeprink.1 share/man/man1/zeprink-config.1 \
            share/zeprink/schema/sqlite.sql share/zeprink/schema/postgresql.sql \
            share/zeprink/schema/demo_data.sql share/doc/zeprink/configuration.txt \
            share/doc/zeprink/zeprink-terminal@.service share/doc/zeprink/zeprink-terminal@.timer \
            share/doc/zeprink/zeprink-site-watch.service; do
  [ -e "$prefix/$file" ] || fail "cmake --install did not install $file"
done

(cd "$dir" && cpack -G DEB >/dev/null) || fail "cpack -G DEB failed"
deb=$(ls "$dir"/zeprink_*.deb | head -n 1)
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/zeprink ./usr/bin/zeprink-config ./usr/share/man/man1/zeprink.1.gz \
            ./usr/share/zeprink/schema/sqlite.sql; do
  grep -q " $file\$" <<<"$contents" || grep -q " ${file%.gz}\$" <<<"$contents" || fail "$deb lacks $file"
done

# A site as an operator sets it up, from the installed files only.
site=$work/site
mkdir -p "$site/files" "$site/site/run"
cat "$prefix/share/zeprink/schema/sqlite.sql" "$prefix/share/zeprink/schema/demo_data.sql" |
  sqlite3 "$site/zardonix.db"
env -i "$prefix/bin/zeprink-config" create "$site/files/morvalent.ini" --login zeprink --pass demo \
  --net8 "sqlite:../../zardonix.db" --db-system ORACLE --schema ZARDONIX
[ "$(stat -c %a "$site/files/morvalent.ini")" = 600 ] || fail "the configuration file is not mode 0600"

run() {  # expected status, program, arguments...
  local expected=$1; shift
  local status=0
  (cd "$site/site/run" && env -i "$@") >"$work/out" 2>"$work/err" || status=$?
  [ "$status" = "$expected" ] || { cat "$work/out" "$work/err" >&2; fail "$* ended with $status, not $expected"; }
}
run 0 "$prefix/bin/zeprink" --version
run 0 "$prefix/bin/zeprink-config" check
run 0 "$prefix/bin/zeprink" IDSTAMM HAUPTEINGANG idstamm.dnl 1
[ -s "$site/site/run/idstamm.dnl" ] || fail "the installed zeprink wrote no DNL file"
run 255 "$prefix/bin/zeprink" IDSTAMM NO-SUCH-TERMINAL idstamm.dnl 1
grep -q '^zeprink: ' "$work/err" || fail "a failed run gave no reason on standard error"
echo "install-check: installed, packaged ($(basename "$deb")) and run from $prefix"
