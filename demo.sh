#!/usr/bin/env bash
# Sets everything up, builds ZEPRINK, creates the embedded demo database and
# runs all five DNL functions on it, showing each file's records; then runs
# the whole demo site in one run (schema/demo_site.jobs).
#
# The demo site lives in demo/: demo/files/morvalent.ini (written with
# zeprink-config), demo/zardonix.db, and the working directory demo/site/run
# where the DNL files are written.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup-machine.sh demo
# The programs only: no tests, no benchmarks, none of their libraries.
ZEPRINK_TARGETS="zeprink zeprink-config zeprink-site" bash scripts/build.sh build-demo \
  -DZEPRINK_TESTS=OFF -DZEPRINK_BENCH=OFF
top=$PWD
bin=$top/build-demo

rm -rf demo
mkdir -p demo/files demo/site/run
cat schema/sqlite.sql schema/demo_data.sql | sqlite3 demo/zardonix.db
"$bin/zeprink-config" create demo/files/morvalent.ini --login zeprink --pass demo \
  --net8 "sqlite:../../zardonix.db" --db-system ORACLE --schema ZARDONIX >/dev/null

# Shows a file of fixed-length records one record per line, and a file of
# lines as it is; Windows-1252 bytes are shown as the characters they stand for.
show() {
  local file=$1 width=$2
  local size
  size=$(stat -c %s "$file")
  if [ "$width" = lines ]; then
    echo "--- $file: $size bytes, $(grep -c $'\r$' "$file" || true) lines (CR LF) ---"
    tr -d '\r' <"$file" | iconv -f WINDOWS-1252 -t UTF-8
  else
    echo "--- $file: $size bytes, $((size / width)) records of $width bytes ---"
    fold -b -w "$width" "$file" | iconv -f WINDOWS-1252 -t UTF-8 | sed 's/^/|/; s/$/|/'
    echo
  fi
}

cd demo/site/run
run() {
  local function=$1 terminal=$2 file=$3 width=$4
  echo
  echo "=== zeprink $function $terminal $file 1"
  status=0
  "$bin/zeprink" "$function" "$terminal" "$file" 1 | iconv -f WINDOWS-1252 -t UTF-8 || status=$?
  echo "(exit status ${PIPESTATUS[0]})"
  show "$file" "$width"
}
run IDSTAMM  HAUPTEINGANG idstamm.dnl  lines
run MGDNL17P HAUPTEINGANG mgdnl17p.dnl 85
run MGDNL18P HAUPTEINGANG mgdnl18p.dnl 173
run MGDNL31P WERKSTOR2    mgdnl31p.dnl 48
run MGDNL60P KANTINE      mgdnl60p.dnl 45

# The whole site in one run, every file from one state of the database.
echo
echo "=== zeprink-site schema/demo_site.jobs"
mkdir -p site
"$bin/zeprink-site" "$top/schema/demo_site.jobs" --quiet | iconv -f WINDOWS-1252 -t UTF-8
echo "(exit status ${PIPESTATUS[0]})"
for file in site/*.dnl; do echo "$(stat -c %s "$file") bytes  $file"; done
cmp -s idstamm.dnl site/idstamm-haupteingang.dnl && echo "site/idstamm-haupteingang.dnl equals the single run's idstamm.dnl"
echo
echo "The DNL files are in $top/demo/site/run."
