#!/usr/bin/env bash
# Checks the installation as a site gets it:
#  1. a build of the two programs alone (as the README's recipe builds them)
#     installs into an empty prefix: those two with their manual pages;
#  2. a build of every program installs everything; each installed program
#     answers --help and --version, each manual page opens (man -l);
#  3. the Debian package installs on an empty root (dpkg --root -i), its
#     programs run from there, and dpkg -r leaves nothing of it behind;
#  4. the installed programs run on the demo database with an empty
#     environment and a working directory of their own.
#   bash scripts/install-check.sh [BUILD-DIR]    (default build-install)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-install}
work=$(mktemp -d /tmp/zeprink-install-XXXXXX)
trap 'rm -rf "$work"' EXIT

fail() { echo "install-check: $*" >&2; exit 1; }
programs="zeprink zeprink-config zeprink-show zeprink-explain zeprink-site"
release=(-DZEPRINK_TESTS=OFF -DZEPRINK_BENCH=OFF -DCMAKE_BUILD_TYPE=Release)

# 1. The programs of the README's recipe only, in a build of their own.
ZEPRINK_TARGETS="zeprink zeprink-config" bash scripts/build.sh "$dir-programs" "${release[@]}" >/dev/null
cmake --install "$dir-programs" --prefix "$work/two" >"$work/log" 2>&1 ||
  { cat "$work/log" >&2; fail "cmake --install of a build of zeprink and zeprink-config failed"; }
[ "$(ls "$work/two/bin")" = "$(printf 'zeprink\nzeprink-config')" ] ||
  fail "a build of zeprink and zeprink-config installed: $(ls "$work/two/bin" | tr '\n' ' ')"
[ "$(ls "$work/two/share/man/man1")" = "$(printf 'zeprink-config.1\nzeprink.1')" ] ||
  fail "a build of zeprink and zeprink-config installed the pages: $(ls "$work/two/share/man/man1" | tr '\n' ' ')"

# 2. Every program.
ZEPRINK_TARGETS="$programs" bash scripts/build.sh "$dir" "${release[@]}" >/dev/null
prefix=$work/prefix
cmake --install "$dir" --prefix "$prefix" >/dev/null
for file in share/zeprink/schema/sqlite.sql share/zeprink/schema/postgresql.sql \
            share/zeprink/schema/demo_data.sql share/zeprink/schema/demo_site.jobs \
            share/zeprink/pg_load_demo.sh share/doc/zeprink/configuration.txt \
            share/doc/zeprink/copyright share/doc/zeprink/docs/tools.md \
            share/doc/zeprink/zeprink-terminal@.service share/doc/zeprink/zeprink-terminal@.timer \
            share/doc/zeprink/zeprink-site-watch.service; do
  [ -e "$prefix/$file" ] || fail "cmake --install did not install $file"
done

# Each program: --help and --version on standard output with status 0; its
# manual page opens and names it.
check_programs() {  # BINDIR MANDIR
  local bindir=$1 mandir=$2 program option page
  for program in $programs; do
    [ -x "$bindir/$program" ] || fail "$bindir/$program is not installed"
    for option in --help --version; do
      env -i "$bindir/$program" "$option" >"$work/out" 2>"$work/err" ||
        fail "$program $option ended with $?"
      [ -s "$work/out" ] && [ ! -s "$work/err" ] ||
        fail "$program $option: no text on standard output, or some on standard error"
    done
    grep -q "^$program " "$work/out" || fail "$program --version does not begin with its name"
    page=$(ls "$mandir/$program.1"* 2>/dev/null | head -n 1)
    [ -n "$page" ] || fail "no manual page for $program in $mandir"
    MANWIDTH=80 man -l "$page" 2>"$work/err" | grep -q "$program" ||
      fail "man -l $page does not show the page: $(cat "$work/err")"
  done
}
check_programs "$prefix/bin" "$prefix/share/man/man1"

# 3. The package, on an empty root of its own: installed, run, removed.
(cd "$dir" && cpack -G DEB >/dev/null) || fail "cpack -G DEB failed"
deb=$(ls "$dir"/zeprink_*.deb | head -n 1)
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
# The root holds no libraries: the dependencies are the machine's.
dpkg --root="$root" --force-depends --force-script-chrootless -i "$deb" >"$work/log" 2>&1 ||
  { cat "$work/log" >&2; fail "dpkg -i $deb failed"; }
check_programs "$root/usr/bin" "$root/usr/share/man/man1"
for program in $programs; do
  # A stripped program has no symbol table left.
  ! readelf -S "$root/usr/bin/$program" | grep -q '\.symtab' || fail "$program in the package is not stripped"
done
[ -s "$root/usr/share/doc/zeprink/copyright" ] || fail "the package has no copyright file"
[ -x "$root/usr/share/zeprink/pg_load_demo.sh" ] || fail "the package has no demo loader"
dpkg --root="$root" --force-depends -r zeprink >"$work/log" 2>&1 ||
  { cat "$work/log" >&2; fail "dpkg -r zeprink failed"; }
left=$(find "$root" -path "$root/var" -prune -o -type f -print)
[ -z "$left" ] || fail "dpkg -r left: $left"

# 4. A site as an operator sets it up, from the installed files only.
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
run 0 "$prefix/bin/zeprink-config" check
run 0 "$prefix/bin/zeprink" IDSTAMM HAUPTEINGANG idstamm.dnl 1
[ -s "$site/site/run/idstamm.dnl" ] || fail "the installed zeprink wrote no DNL file"
run 255 "$prefix/bin/zeprink" IDSTAMM NO-SUCH-TERMINAL idstamm.dnl 1
grep -q '^zeprink: ' "$work/err" || fail "a failed run gave no reason on standard error"
mkdir -p "$site/site/run/site"
run 0 "$prefix/bin/zeprink-site" "$prefix/share/zeprink/schema/demo_site.jobs" --quiet
run 0 "$prefix/bin/zeprink-show" "$site/site/run/idstamm.dnl"
echo "install-check: installed, packaged ($(basename "$deb")), installed on an empty root and removed, run from $prefix"
